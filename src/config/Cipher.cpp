#include "config/Cipher.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace {

constexpr size_t kPrefixDigits = 4;

// xorshift32: small, fully specified here, so the key never depends on a library's generator.
class KeyGenerator {
public:
    explicit KeyGenerator(uint32_t seed) : state_(seed) {}
    uint32_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    uint32_t state_;
};

constexpr uint32_t kKeySeed = 0x46E7A1C3;

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

size_t RoundUpToBlock(size_t size)
{
    return (size + TBlowFish::kBlockSize - 1) / TBlowFish::kBlockSize * TBlowFish::kBlockSize;
}

} // namespace

std::string TCipher::FixedKey()
{
    KeyGenerator generator(kKeySeed);
    std::string key(kKeyLength, '\0');
    for (char &c : key)
        c = char(1 + generator.Next() % 254);
    return key;
}

TCipher::TCipher() : blowfish_(FixedKey()) {}

std::string TCipher::EncipherText(std::string_view text) const
{
    if (text.empty())
        return {};
    text = text.substr(0, kMaxTextBytes);

    std::array<uint8_t, kMaxTextBytes> buffer{};
    const size_t size = RoundUpToBlock(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        buffer[i] = uint8_t(text[i]);
    blowfish_.EncryptEcb(buffer.data(), size);

    static const char kDigits[] = "0123456789ABCDEF";
    char prefix[kPrefixDigits + 1];
    std::snprintf(prefix, sizeof prefix, "%04zu", size);
    std::string result(prefix);
    result.reserve(kPrefixDigits + 2 * size);
    for (size_t i = 0; i < size; ++i) {
        result += kDigits[buffer[i] >> 4];
        result += kDigits[buffer[i] & 0x0F];
    }
    return result;
}

std::string TCipher::DecipherText(std::string_view text) const
{
    if (text.size() < kPrefixDigits)
        return {};
    size_t size = 0;
    for (size_t i = 0; i < kPrefixDigits; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return {};
        size = size * 10 + size_t(text[i] - '0');
    }
    if (size < 1 || size > kMaxTextBytes)
        return {};
    // A cut or damaged line must not decipher to bytes that were never stored.
    const std::string_view digits = text.substr(kPrefixDigits);
    if (digits.size() < 2 * size)
        return {};

    std::array<uint8_t, kMaxTextBytes> buffer{};
    for (size_t i = 0; i < size; ++i) {
        const int high = HexValue(digits[2 * i]), low = HexValue(digits[2 * i + 1]);
        if (high < 0 || low < 0)
            return {};
        buffer[i] = uint8_t(high << 4 | low);
    }
    blowfish_.DecryptEcb(buffer.data(), RoundUpToBlock(size));

    size_t end = 0;
    while (end < size && buffer[end] != 0)
        ++end;
    return std::string(reinterpret_cast<const char *>(buffer.data()), end);
}

const TCipher &StoredTextCipher()
{
    static const TCipher cipher;
    return cipher;
}

std::string EncipherText(std::string_view text)
{
    return StoredTextCipher().EncipherText(text);
}

std::string DecipherText(std::string_view text)
{
    return StoredTextCipher().DecipherText(text);
}
