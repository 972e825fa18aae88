#pragma once
// CRC-32 of IEEE 802.3 (the zlib and PNG one): reflected polynomial 0xEDB88320, initial value
// all ones, result complemented.
#include <cstdint>
#include <string>
#include <string_view>

uint32_t Crc32(std::string_view data);

// For data that arrives in pieces: start from kCrc32Start, feed every piece, then finish.
inline constexpr uint32_t kCrc32Start = 0xFFFFFFFFu;
uint32_t Crc32Update(uint32_t state, std::string_view data);
inline uint32_t Crc32Finish(uint32_t state) { return ~state; }

// Eight upper-case hexadecimal digits with leading zeros, as site cache keys are written.
std::string Crc32Hex(uint32_t crc);
