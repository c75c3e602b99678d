#include "info/crc32.h"

namespace {

struct Crc32Table {
    uint32_t entries[256];
    constexpr Crc32Table() : entries()
    {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t value = i;
            for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
            entries[i] = value;
        }
    }
};

// Built by the compiler: no start-up order to worry about.
constexpr Crc32Table kTable;

}  // namespace

uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < length; ++i) crc = kTable.entries[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}
