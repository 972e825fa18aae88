#include "base/DateTime.h"
#include "base/Text.h"

#include <gtest/gtest.h>

TEST(DateTime, EncodesAndDecodesAroundTheEpochAndLeapDays)
{
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    for (TDateTime d : {0.0, 59.0, 60.0, 61.0, 36585.0, 36586.0, 45000.0, 2958465.0}) {
        DateParts p = DecodeDate(d);
        EXPECT_EQ(EncodeDate(p.year, p.month, p.day), d) << d;
    }
    DateParts leap = DecodeDate(EncodeDate(2024, 2, 29));
    EXPECT_EQ(leap.month, 2);
    EXPECT_EQ(leap.day, 29);

    TDateTime out = -1;
    EXPECT_FALSE(TryEncodeDate(2023, 2, 29, out));
    EXPECT_FALSE(TryEncodeDate(2024, 13, 1, out));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, out));
    EXPECT_EQ(out, -1);
}

TEST(DateTime, TimeOfDaySurvivesRoundTripAndMinuteCut)
{
    TDateTime t = EncodeDate(2026, 3, 5) + EncodeTime(10, 15, 59, 0);
    TimeParts parts = DecodeTime(t);
    EXPECT_EQ(parts.hour, 10);
    EXPECT_EQ(parts.minute, 15);
    EXPECT_EQ(parts.second, 59);
    EXPECT_EQ(CutToMinute(t), EncodeDate(2026, 3, 5) + EncodeTime(10, 15));
    EXPECT_EQ(DecodeTime(EncodeTime(23, 59, 59, 999)).hour, 23);
}

TEST(DateTime, FormatsTheClassicPatterns)
{
    TDateTime t = EncodeDate(2026, 12, 7) + EncodeTime(8, 5, 9);
    EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:mm:ss", t), "07/12/2026 08:05:09");
    EXPECT_EQ(FormatDateTime("DD MMM YYYY   HH:MM:SS", t), "07 Dec 2026   08:05:09");
    EXPECT_EQ(FormatDateTime("dddd, dd mmm yyyy", t), "Monday, 07 Dec 2026");
}

TEST(DateTime, UnixRoundTripInLocalTime)
{
    std::time_t now = std::time(nullptr);
    now -= now % 60;
    EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(now)), now);
}

TEST(DateTime, RoundsHalfToEven)
{
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(-0.5), 0);
    EXPECT_EQ(RoundHalfEven(2.6), 3);
}

TEST(Text, CaseRulesTouchAsciiLettersOnly)
{
    EXPECT_EQ(LowerAZ("ÄBC-xyz"), "Äbc-xyz");
    EXPECT_EQ(UpperAZ("äbc-XYZ"), "äBC-XYZ");
    EXPECT_TRUE(EqualsNoCaseAZ("Index.HTML", "index.html"));
    EXPECT_LT(CompareNoCaseAZ("b", "C"), 0);
    EXPECT_EQ(Cut255(std::string(300, 'x')).size(), 255u);
    EXPECT_TRUE(ContainsLineBreak("a\nb"));
}
