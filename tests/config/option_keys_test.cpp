#include "config/OptionKeys.h"

#include <gtest/gtest.h>

TEST(OptionKeys, SetsEachKindOfKeyWithoutLetterCase)
{
    Options options;
    EXPECT_EQ(SetOptionFromText(options, "confirmdelete", "1"), "");
    EXPECT_TRUE(options.confirmDelete);
    EXPECT_EQ(SetOptionFromText(options, "delete", "false"), "");
    EXPECT_FALSE(options.delete_);
    EXPECT_EQ(SetOptionFromText(options, "connectTimeOut", "15"), "");
    EXPECT_EQ(options.connectTimeOut, 15);
    EXPECT_EQ(SetOptionFromText(options, "CHMODcmd", "644"), "");
    EXPECT_EQ(options.CHMODcmd, "644");
    EXPECT_EQ(SetOptionFromText(options, "forceRerfesh", "1"), "");
    EXPECT_TRUE(options.forceRerfesh);
    EXPECT_EQ(SetOptionFromText(options, "file", "2"), "");
    EXPECT_EQ(options.fileFilter, CaseFilter::Lower);
}

TEST(OptionKeys, RefusesUnknownKeysAndBadValuesLeavingOptionsAlone)
{
    Options options;
    EXPECT_EQ(SetOptionFromText(options, "forceRefresh", "1"), "Unknown setting: forceRefresh");
    EXPECT_NE(SetOptionFromText(options, "connectTimeOut", "soon"), "");
    EXPECT_EQ(options.connectTimeOut, 60);
    EXPECT_NE(SetOptionFromText(options, "fastCompare", "maybe"), "");
    EXPECT_FALSE(options.fastCompare);
    EXPECT_NE(SetOptionFromText(options, "fileGet", "a\r\nDELE x"), "");
    EXPECT_NE(SetOptionFromText(options, "directory", "3"), "");
}

TEST(OptionKeys, ListsEveryKeyInFileOrder)
{
    Options options;
    auto texts = OptionTexts(options);
    ASSERT_EQ(texts.size(), 37u); // 35 "Options" keys and the two of "Filter"
    EXPECT_EQ(texts.front(), (std::pair<std::string, std::string>{"connect", "0"}));
    EXPECT_EQ(texts[4], (std::pair<std::string, std::string>{"delete", "1"}));
    EXPECT_EQ(texts[28], (std::pair<std::string, std::string>{"connectTimeOut", "60"}));
    EXPECT_EQ(texts.back().first, "directory");
}
