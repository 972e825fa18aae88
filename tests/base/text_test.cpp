#include "base/Text.h"

#include <gtest/gtest.h>

TEST(QuotedForLog, ShowsEveryByteOnOneLine)
{
    EXPECT_EQ(QuotedForLog(""), "\"\"");
    EXPECT_EQ(QuotedForLog(" lead space.html"), "\" lead space.html\"");
    EXPECT_EQ(QuotedForLog(std::string("a\0b\r\n\t\x01\x7f", 8)), "\"a\\0b\\r\\n\\t\\x01\\x7F\"");
    EXPECT_EQ(QuotedForLog("..\\up/\"q\""), "\"..\\\\up/\\\"q\\\"\"");
    EXPECT_EQ(QuotedForLog("caf\xc3\xa9"), "\"caf\xc3\xa9\""); // UTF-8 stays readable
}
