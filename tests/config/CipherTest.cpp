#include "config/Cipher.h"

#include <gtest/gtest.h>

#include <string>

TEST(Cipher, LengthPrefixAndPadding)
{
    const std::string five = EncipherText("abcde");
    EXPECT_EQ(five.size(), 20u);
    EXPECT_EQ(five.substr(0, 4), "0008");
    EXPECT_EQ(EncipherText("abcdefgh").substr(0, 4), "0008");
    EXPECT_EQ(EncipherText("abcdefgh").size(), 20u);
    const std::string nine = EncipherText("abcdefghi");
    EXPECT_EQ(nine.size(), 36u);
    EXPECT_EQ(nine.substr(0, 4), "0016");
    EXPECT_EQ(nine.find_first_not_of("0123456789ABCDEF"), std::string::npos);

    EXPECT_EQ(EncipherText(""), "");
    EXPECT_EQ(DecipherText(""), "");
}

// Site files, proxy entries and cache headers already on disk must stay readable: this pins the key.
TEST(Cipher, KnownResult)
{
    EXPECT_EQ(EncipherText("ftp.example.com|"), "0016D2735EFD8D903BF30F704379C7AA530A");
    for (unsigned char c : TCipher::FixedKey())
        EXPECT_TRUE(c >= 1 && c <= 254);
}

TEST(Cipher, RoundTripsAndIsDeterministic)
{
    std::string allBytes;
    for (int c = 1; c < 256; ++c)
        allBytes += char(c);
    const std::string texts[] = {"a", "abcdefgh", "server|user|pässword|/home|/www|FALSE|21|", allBytes,
                                 std::string(1024, 'x')};
    for (const std::string &text : texts) {
        const std::string stored = EncipherText(text);
        EXPECT_EQ(DecipherText(stored), text);
        EXPECT_EQ(EncipherText(text), stored);
    }
    EXPECT_NE(EncipherText("abc"), EncipherText("abd"));
}

TEST(Cipher, TextIsCutAtZeroByteAndAt1024Bytes)
{
    EXPECT_EQ(DecipherText(EncipherText(std::string("ab\0cd", 5))), "ab");

    const std::string stored = EncipherText(std::string(1030, 'y'));
    EXPECT_EQ(stored.substr(0, 4), "1024");
    EXPECT_EQ(DecipherText(stored), std::string(1024, 'y'));
}

TEST(Cipher, InvalidInputDeciphersToEmpty)
{
    const std::string digits = EncipherText("abcdefgh").substr(4);
    EXPECT_EQ(DecipherText("0000" + digits), "");
    EXPECT_EQ(DecipherText("1025" + digits + std::string(2048, '0')), "");
    EXPECT_EQ(DecipherText("00x8" + digits), "");
    EXPECT_EQ(DecipherText(" 008" + digits), "");
    EXPECT_EQ(DecipherText("008"), "");
    // Cut or damaged digits: nothing rather than bytes that were never stored.
    EXPECT_EQ(DecipherText("0008" + digits.substr(0, 15)), "");
    EXPECT_EQ(DecipherText("0008" + digits.substr(0, 15) + "G"), "");
    // Extra text after the digits is not part of the value.
    EXPECT_EQ(DecipherText("0008" + digits + "FFFF"), "abcdefgh");
}
