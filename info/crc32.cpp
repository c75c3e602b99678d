#include "info/crc32.h"

namespace {

// Table k holds the CRC of a byte followed by k zero bytes, so eight bytes
// are folded in one step ("slicing by eight"): a dump of several GiB is
// checked in seconds, not minutes. Table 0 is the classic byte table.
struct Crc32Tables {
    uint32_t entries[8][256];
    constexpr Crc32Tables() : entries()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t value = i;
            for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
            entries[0][i] = value;
        }
        for (int k = 1; k < 8; ++k) {
            for (uint32_t i = 0; i < 256; ++i) {
                uint32_t previous = entries[k - 1][i];
                entries[k][i] = entries[0][previous & 0xFF] ^ (previous >> 8);
            }
        }
    }
};

// Built by the compiler: no start-up order to worry about.
constexpr Crc32Tables kTables;

uint32_t FoldByte(uint32_t crc, unsigned char byte) { return kTables.entries[0][(crc ^ byte) & 0xFF] ^ (crc >> 8); }

}  // namespace

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    const auto& t = kTables.entries;
    while (length >= 8) {
        // Bytes are combined one by one: the result does not depend on the
        // machine's byte order or on the data's alignment.
        uint32_t low = crc ^ (static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                              static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
        crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
        bytes += 8;
        length -= 8;
    }
    while (length-- > 0) crc = FoldByte(crc, *bytes++);
    return crc;
}
