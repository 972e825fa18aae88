// The remote path form and the clock offset helpers.
#include "support/RecordingView.h"
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

// A listing line whose year was guessed wrong (31 December on the PC, "Jan 01" on a server in UTC)
// gives an offset of a year. Kept, it would move every time by that until cleared by hand.
TEST(SessionClockOffset, ImplausibleOffsetIsNotKeptAndIsMeasuredAgain)
{
    Options options;
    RecordingView view;
    Workspace ws(options, view);
    SiteList sites;
    sites.edits.nickName = "web";
    sites.edits.server = "ftp.example.org";
    sites.edits.userName = "u";
    sites.edits.localDir = "/tmp";
    ASSERT_EQ(sites.Add(), "");
    ClockOffset clock(ws, sites);
    int labelChanges = 0;
    clock.labelsChanged = [&] { ++labelChanges; };

    const TDateTime pc = EncodeDate(2024, 12, 31) + EncodeTime(23, 10);
    sites.SetSavedPcTime(pc);
    clock.CheckFileListed(EncodeDate(2025, 1, 1) + EncodeTime(4, 10) - 365); // "Jan 01 04:10" read as 2024
    EXPECT_EQ(sites.Current().SavedPcTime, 0);
    EXPECT_EQ(sites.Current().SavedServerTime, 0);
    EXPECT_EQ(labelChanges, 1);
    ASSERT_FALSE(view.logLines.empty());
    EXPECT_EQ(view.logLines.back(), "FERNHOP: the server's time differs from the PC's by 8755.0 hours; that "
                                    "offset is not kept and is measured again next time");

    // 25 hours is the most two clocks in different zones can differ by: kept.
    sites.SetSavedPcTime(pc);
    clock.CheckFileListed(pc - 25.0 / 24);
    EXPECT_EQ(sites.Current().SavedPcTime, pc);
    EXPECT_NEAR(sites.Current().SavedServerTime, pc - 25.0 / 24, 1e-9);

    // One saved by an older version is not applied.
    sites.SetSavedServerTime(pc - 30);
    FixedSite fixed;
    fixed.savedPcTime = pc;
    fixed.savedServerTime = pc - 30;
    EXPECT_EQ(ClockOffsetDays(fixed, options), 0);
}
