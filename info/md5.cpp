#include "info/md5.h"

#include <cstring>

namespace {

inline uint32_t RotateLeft(uint32_t value, int shift) { return (value << shift) | (value >> (32 - shift)); }

inline uint32_t LoadLittle(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreLittle(unsigned char* p, uint32_t value)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

// Per-step shift amounts and the sine-derived constants of RFC 1321.
const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                        5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

}  // namespace

void Md5Digest::Reset()
{
    state_[0] = 0x67452301;
    state_[1] = 0xefcdab89;
    state_[2] = 0x98badcfe;
    state_[3] = 0x10325476;
    bitCount_ = 0;
    memset(buffer_, 0, sizeof buffer_);
    memset(digest_, 0, sizeof digest_);
    hex_[0] = '\0';
}

void Md5Digest::Transform(const unsigned char block[64])
{
    uint32_t words[16];
    for (int i = 0; i < 16; ++i) words[i] = LoadLittle(block + 4 * i);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int step = 0; step < 64; ++step) {
        uint32_t f;
        int index;
        if (step < 16) {
            f = (b & c) | (~b & d);
            index = step;
        } else if (step < 32) {
            f = (d & b) | (~d & c);
            index = (5 * step + 1) % 16;
        } else if (step < 48) {
            f = b ^ c ^ d;
            index = (3 * step + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            index = (7 * step) % 16;
        }
        uint32_t next = b + RotateLeft(a + f + kSine[step] + words[index], kShift[step]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md5Digest::Update(const void* data, size_t length)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    size_t used = static_cast<size_t>((bitCount_ >> 3) & 63);
    bitCount_ += static_cast<uint64_t>(length) << 3;
    if (used > 0) {
        size_t take = 64 - used;
        if (take > length) take = length;
        memcpy(buffer_ + used, bytes, take);
        used += take;
        bytes += take;
        length -= take;
        if (used < 64) return;
        Transform(buffer_);
    }
    while (length >= 64) {
        Transform(bytes);
        bytes += 64;
        length -= 64;
    }
    if (length > 0) memcpy(buffer_, bytes, length);
}

void Md5Digest::Finish()
{
    unsigned char lengthBytes[8];
    for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<unsigned char>(bitCount_ >> (8 * i));
    // Pad with one 1 bit and zeros up to 56 bytes modulo 64, then the bit length.
    static const unsigned char kPadding[64] = {0x80};
    size_t used = static_cast<size_t>((bitCount_ >> 3) & 63);
    size_t padLength = used < 56 ? 56 - used : 120 - used;
    Update(kPadding, padLength);
    Update(lengthBytes, 8);
    for (int i = 0; i < 4; ++i) StoreLittle(digest_ + 4 * i, state_[i]);
    static const char kHexDigits[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i) {
        hex_[2 * i] = kHexDigits[digest_[i] >> 4];
        hex_[2 * i + 1] = kHexDigits[digest_[i] & 15];
    }
    hex_[32] = '\0';
}
