// The fields the data side reads out of replies.
#include "ftp/FtpReplyFields.h"

#include <gtest/gtest.h>

TEST(PasvReply, AddressAndPortOfTheParenthesisedPart)
{
    std::optional<PasvAddress> parsed = ParsePasvReply("227 Entering Passive Mode (10,0,0,1,4,1).");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->address, "10.0.0.1");
    EXPECT_EQ(parsed->port, 1025);

    parsed = ParsePasvReply("227 =(192,168,1,5, 255,255)"); // blanks around a field are allowed
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->address, "192.168.1.5");
    EXPECT_EQ(parsed->port, 65535);
}

TEST(PasvReply, AnythingElseYieldsNothing)
{
    for (const char *line : {"227 Entering Passive Mode 10,0,0,1,4,1",  // no "("
                             "227 Entering Passive Mode (10,0,0,1,4,1",  // no ")"
                             "227 (10,0,0,1,4)",                         // five numbers
                             "227 (10,0,0,1,4,256)",                     // out of range
                             "227 (10,0,0,-1,4,1)", "227 (10,0,0,1,4,1x)", "227 (10,0,0,,4,1)",
                             "227 (10,0,0,0001,4,1)",                    // more than three digits
                             "227 (99999999999999999999,0,0,1,4,1)"})
        EXPECT_FALSE(ParsePasvReply(line)) << line;
}

TEST(PortArgument, DotsBecomeCommasAndThePortTwoBytes)
{
    EXPECT_EQ(PortArgument("192.168.1.5", 1025), "192,168,1,5,4,1");
    EXPECT_EQ(PortArgument("127.0.0.1", 65535), "127,0,0,1,255,255");
}

TEST(ExpectedSize, TheCountBeforeBytesInParentheses)
{
    EXPECT_EQ(ExpectedSizeText("150 Opening BINARY mode data connection for a.zip (1234 bytes)."), "1234");
    EXPECT_EQ(ExpectedSizeText("150 Opening (for (a) file) (77 bytes)"), "77"); // the nearest "("
    EXPECT_FALSE(ExpectedSizeText("150 Opening BINARY mode data connection for a.zip."));
    EXPECT_FALSE(ExpectedSizeText("150 File is 12 bytes)")); // no "(" before it
}

TEST(QuotedDirectory, BetweenTheFirstTwoQuotes)
{
    EXPECT_EQ(QuotedDirectory("257 \"/www/my \"\"site\" is current"), "/www/my ");
    EXPECT_EQ(QuotedDirectory("257 \"/\""), "/");
    EXPECT_EQ(QuotedDirectory("257 \"/unclosed"), "");
    EXPECT_EQ(QuotedDirectory("550 Not allowed."), "");
}
