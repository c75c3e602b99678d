// CRC-32 of IEEE 802.3 (the one zlib and zip use): reflected polynomial
// 0xEDB88320, start value and final XOR 0xFFFFFFFF.
#pragma once
#include <cstddef>
#include <cstdint>

// Folds `length` bytes into a running CRC register. The caller starts the
// register at 0xFFFFFFFF and complements it after the last piece.
uint32_t UpdateCrc32(uint32_t crc, const void* data, size_t length);
