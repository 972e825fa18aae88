// The remote path form and the clock offset helpers.
#include "transfer/ClockOffset.h"
#include "transfer/RemotePath.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(SessionRemotePath, FormatsToOneLeadingSlashAndNoTrailingOne)
{
    Options options;
    const std::pair<const char *, const char *> cases[] = {
        {"www/html/", "/www/html"}, {"~/www", "/www"}, {"", "/"}, {"///", "/"}, {"~~//a//", "/a"}, {"a/~b", "/a/~b"},
    };
    for (const auto &[text, formatted] : cases)
        EXPECT_EQ(FormatRemotePath(text, options), formatted) << text;
    options.tilde = true;
    EXPECT_EQ(FormatRemotePath("~/www", options), "~/www");
    options.slash = true; // as typed, whatever else is on
    EXPECT_EQ(FormatRemotePath("www/html/", options), "www/html/");
}

TEST(SessionClockOffset, CheckFileMinuteAndTheOffsetWhereItCounts)
{
    TDateTime minute = 0;
    ASSERT_TRUE(CheckFileMinute(EncodeDate(2024, 5, 1) + EncodeTime(10, 15, 59, 999), minute));
    EXPECT_EQ(minute, EncodeDate(2024, 5, 1) + EncodeTime(10, 15));
    EXPECT_FALSE(CheckFileMinute(NAN, minute));
    EXPECT_FALSE(CheckFileMinute(1e12, minute));

    // PC clock two hours ahead: a remote file listed at 10:15 this year shows as 12:15.
    Options options;
    FixedSite site;
    site.savedPcTime = EncodeDate(2024, 5, 1) + EncodeTime(12, 0);
    EXPECT_EQ(ClockOffsetDays(site, options), 0); // server time not measured yet
    site.savedServerTime = EncodeDate(2024, 5, 1) + EncodeTime(10, 0);
    TDetail entry;
    entry.modified = EncodeDate(2024, 3, 1) + EncodeTime(10, 15);
    PanelTime panel = DetailsPanelTime(entry, true, site, options, 2024);
    EXPECT_TRUE(panel.corrected);
    EXPECT_EQ(panel.actual, entry.modified);
    EXPECT_NEAR(panel.shown, EncodeDate(2024, 3, 1) + EncodeTime(12, 15), 1e-9);
    EXPECT_FALSE(DetailsPanelTime(entry, true, site, options, 2025).corrected);  // an earlier year
    EXPECT_FALSE(DetailsPanelTime(entry, false, site, options, 2024).corrected); // a local entry

    options.timeOffset = true;
    EXPECT_EQ(ClockOffsetDays(site, options), 0);
    EXPECT_FALSE(DetailsPanelTime(entry, true, site, options, 2024).corrected);
}

TEST(SessionClockOffset, OffsetLabels)
{
    TmultFTP site;
    site.NickName = "web";
    site.SavedPcTime = EncodeDate(2024, 5, 1) + EncodeTime(9, 5, 7);
    const OffsetLabelTexts labels = OffsetLabels(site);
    EXPECT_EQ(labels.nickName, " web");
    EXPECT_EQ(labels.pcTime, " 01 May 2024   09:05:07");
    EXPECT_EQ(labels.serverTime, "");
}
