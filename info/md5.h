// MD5 message digest (RFC 1321).
#pragma once
#include <cstddef>
#include <cstdint>

class Md5Digest {
public:
    Md5Digest() { Reset(); }
    void Reset();
    void Update(const void* data, size_t length);
    // Ends the message and fills Digest() and HexText(); Reset() starts a new one.
    void Finish();

    const unsigned char* Digest() const { return digest_; }
    // 32 lowercase hexadecimal digits, high nibble first.
    const char* HexText() const { return hex_; }

private:
    void Transform(const unsigned char block[64]);

    uint32_t state_[4];
    uint64_t bitCount_;
    unsigned char buffer_[64];
    unsigned char digest_[16];
    char hex_[33];
};
