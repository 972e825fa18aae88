#include "config/Crc32.h"

#include <array>

namespace {

constexpr std::array<uint32_t, 256> MakeTable()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

} // namespace

uint32_t Crc32Update(uint32_t state, std::string_view data)
{
    for (char c : data)
        state = kTable[(state ^ uint8_t(c)) & 0xFF] ^ (state >> 8);
    return state;
}

uint32_t Crc32(std::string_view data)
{
    return Crc32Finish(Crc32Update(kCrc32Start, data));
}

std::string Crc32Hex(uint32_t crc)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(8, '0');
    for (int i = 7; i >= 0; --i, crc >>= 4)
        text[size_t(i)] = kDigits[crc & 0x0F];
    return text;
}
