#include "transfer/TransferRate.h"

#include <gtest/gtest.h>

TEST(TransferRate, TimeRemainingTexts)
{
    EXPECT_EQ(TransferRate::TimeRemainingText(307), " 5:07");
    EXPECT_EQ(TransferRate::TimeRemainingText(3907), "1:05:07");
    EXPECT_EQ(TransferRate::TimeRemainingText(0), " 0:00");
    EXPECT_EQ(TransferRate::TimeRemainingText(659), "10:59");
}

TEST(TransferRate, FirstSampleFillsTheHistory)
{
    TransferRate rate;
    rate.Start(1024 * 1024, 0);
    EXPECT_FALSE(rate.Update(10 * 1024, 900)); // under a second: no new sample
    ASSERT_TRUE(rate.Update(20 * 1024, 2000));  // 20 K in 2 s
    EXPECT_EQ(rate.KpsText(), "10.0K/s");
    // (1024 K - 0) / 10 K/s = 102 s
    EXPECT_EQ(rate.TimeText(), " 1:42");
    ASSERT_TRUE(rate.Update(50 * 1024, 3001)); // about 30 K in 1 s: average (9*10 + 30) / 10
    EXPECT_EQ(rate.KpsText(), "12.0K/s");
}

TEST(TransferRate, NewFileStartsWithAnEmptyHistory)
{
    TransferRate rate;
    rate.Start(100000, 0);
    rate.Update(100 * 1024, 1001);
    rate.Start(100000, 5000);
    rate.Update(1024, 7000);
    EXPECT_EQ(rate.KpsText(), "0.5K/s");
}

TEST(TransferRate, PercentClampsAndRoundsHalfToEven)
{
    TransferRate rate;
    rate.Start(0, 0);
    rate.Update(0, 10);
    EXPECT_EQ(rate.Percent(), 0);
    rate.Start(200, 0);
    rate.Update(201, 10);
    EXPECT_EQ(rate.Percent(), 100);
    rate.Update(1, 20); // 0.5 % rounds to 0
    EXPECT_EQ(rate.Percent(), 0);
    rate.Update(3, 30); // 1.5 % rounds to 2
    EXPECT_EQ(rate.Percent(), 2);
    EXPECT_EQ(rate.TransferredText(), " 3");
}

TEST(TransferRate, PhaseProgressText)
{
    EXPECT_EQ(PhaseProgressText("Deleting - ", 5, 3), "Deleting - 40% complete  [5 total, 3 remain]");
    EXPECT_EQ(PhaseProgressText("Uploading - ", 8, 7), "Uploading - 12% complete  [8 total, 7 remain]");
    EXPECT_EQ(PhaseProgressText("Creating - ", 0, 0), "");
}
