#include "config/Blowfish.h"
#include "config/Crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string FromHex(const std::string &hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

uint64_t Encrypt(const std::string &key, uint64_t plain)
{
    TBlowFish cipher(key);
    uint32_t left = uint32_t(plain >> 32), right = uint32_t(plain);
    cipher.EncryptBlock(left, right);
    return uint64_t(left) << 32 | right;
}

} // namespace

TEST(Blowfish, PublishedVectors)
{
    struct Vector {
        std::string key;
        uint64_t plain;
        uint64_t cipher;
    };
    const Vector vectors[] = {
        {FromHex("0000000000000000"), 0x0000000000000000, 0x4EF997456198DD78},
        {FromHex("FFFFFFFFFFFFFFFF"), 0xFFFFFFFFFFFFFFFF, 0x51866FD5B85ECB8A},
        {FromHex("3000000000000000"), 0x1000000000000001, 0x7D856F9A613063F2},
        {FromHex("0123456789ABCDEF"), 0x1111111111111111, 0x61F9C3802281B096},
        {FromHex("FEDCBA9876543210"), 0x0123456789ABCDEF, 0x0ACEAB0FC6A0A28D},
        {"abcdefghijklmnopqrstuvwxyz", 0x424C4F5746495348, 0x324ED0FEF413A203}, // "BLOWFISH"
        {"Who is John Galt?", 0xFEDCBA9876543210, 0xCC91732B8022F684},
    };
    for (const Vector &v : vectors)
        EXPECT_EQ(Encrypt(v.key, v.plain), v.cipher) << std::hex << v.plain;
}

TEST(Blowfish, EcbTakesHalvesBigEndianAndRoundTrips)
{
    TBlowFish cipher("abcdefghijklmnopqrstuvwxyz");
    uint8_t data[17] = {'B', 'L', 'O', 'W', 'F', 'I', 'S', 'H', 'B', 'L', 'O', 'W', 'F', 'I', 'S', 'H', 0x7F};
    cipher.EncryptEcb(data, sizeof data);
    const uint8_t expected[8] = {0x32, 0x4E, 0xD0, 0xFE, 0xF4, 0x13, 0xA2, 0x03};
    EXPECT_EQ(0, memcmp(data, expected, 8));
    EXPECT_EQ(0, memcmp(data + 8, expected, 8)); // code book: equal blocks, equal results
    EXPECT_EQ(data[16], 0x7F);                   // a part block is not touched

    cipher.DecryptEcb(data, sizeof data);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data), 16), "BLOWFISHBLOWFISH");
}

TEST(Crc32, ZlibVariant)
{
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32(""), 0u);
    EXPECT_EQ(Crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);

    uint32_t state = Crc32Update(kCrc32Start, "1234");
    state = Crc32Update(state, "56789");
    EXPECT_EQ(Crc32Finish(state), 0xCBF43926u);

    EXPECT_EQ(Crc32Hex(0xCBF43926u), "CBF43926");
    EXPECT_EQ(Crc32Hex(0x00000ABCu), "00000ABC");
}
