#include "support/RecordingView.h"
#include "site/ListingFields.h"
#include "site/ListingParser.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

struct ParserFixture : ::testing::Test {
    Options options;
    RecordingView view;
    SiteModel model{options, view};
    FixedSite site;
    ListingParser parser{model};

    TDateTime now = 0;

    void SetUp() override
    {
        model.SetSite(&site);
        parser.clock = [this] { return now; };
        Today(2024, 6);
    }
    // The parser's clock: noon on the given day.
    void Today(int year, int month, int day = 15, int hour = 12, int minute = 0)
    {
        now = EncodeDate(year, month, day) + EncodeTime(hour, minute);
    }
    void List(std::vector<std::string> lines, SiteNode *parent = nullptr)
    {
        parser.ProcessListing(model.remoteTree, parent, std::move(lines));
    }
    // The one entry a line gives, or nullptr.
    const TDetail *One(const std::string &line)
    {
        model.remoteTree.Clear();
        List({line});
        return model.remoteTree.Count() == 1 ? &model.remoteTree.First()->detail : nullptr;
    }
    std::vector<std::string> Names()
    {
        std::vector<std::string> out;
        for (SiteNode *n = model.remoteTree.First(); n; n = model.remoteTree.Next(n))
            out.push_back(n->detail.name);
        return out;
    }
};

void ExpectDate(const TDetail *e, int y, int mo, int d, int h = 0, int mi = 0)
{
    ASSERT_NE(e, nullptr);
    EXPECT_DOUBLE_EQ(e->modified, EncodeDate(y, mo, d) + EncodeTime(h, mi)) << e->name;
}

TEST(ListingFields, FieldsPositionsAndTokens)
{
    EXPECT_EQ(FieldFrom("  a  bb c", 2), "bb");
    EXPECT_EQ(FieldFrom("  a  bb c ", 2, true), "bb c ");
    EXPECT_EQ(FieldFrom("a b", 3), "");
    EXPECT_EQ(FieldPosition("12-24-96  03:15PM  <DIR>  Old Stuff", 3), 26u);
    EXPECT_EQ(FieldPosition("a b", 5), 3u);
    EXPECT_EQ(FieldEnd("  a  bb c", 2), 7u);
    EXPECT_EQ(TextAfterField("1 Jan  1  2000   name ", 4), "  name ");
    EXPECT_EQ(TextAfterField("1 Jan  1  2000 ", 4), "");
    // English tokens win over an earlier French one; "mai" alone is French.
    EXPECT_EQ(MonthPosition("x avr 1 jan 2"), 7u);
    EXPECT_EQ(MonthPosition("x mai 1"), 1u);
    EXPECT_EQ(MonthPosition("january"), std::string_view::npos);
    EXPECT_EQ(TailFromSize("users 0 Jan 1 2000 a"), "0 Jan 1 2000 a");
    EXPECT_EQ(TailFromSize("users   512  Jan 1 2000 a"), "512  Jan 1 2000 a");
    EXPECT_EQ(TailFromSize("5 Jan 1"), "5 Jan 1");
    EXPECT_EQ(TailFromSize(" Jan 1 2000 a"), "");
    EXPECT_EQ(Squeeze(" my  page "), "mypage");
    int64_t v = 0;
    EXPECT_FALSE(ReadNumber("12a", v));
    EXPECT_EQ(v, 12);
    EXPECT_FALSE(ReadNumber("99999999999999999999", v));
}

TEST_F(ParserFixture, UnixExampleLines)
{
    const TDetail *e = One("drwxr-xr-x   2 web  users   512 Jan 12  1996 images");
    ExpectDate(e, 1996, 1, 12);
    EXPECT_EQ(e->kind, ekDirectory);
    EXPECT_EQ(e->size, 512);
    EXPECT_EQ(e->name, "images");
    EXPECT_EQ(e->precision, tpDay); // a year and no time: known to the day

    e = One("-rw-r--r--   1 web  users  2048 Mar  3 14:07 my page.htm");
    ExpectDate(e, 2024, 3, 3, 14, 7);
    EXPECT_EQ(e->name, "my page.htm");
    EXPECT_EQ(e->precision, tpMinute);
    EXPECT_EQ(e->kind, ekFile);

    e = One("lrwxrwxrwx   1 web  users    11 Feb  2 10:00 site -> public_html");
    EXPECT_EQ(e->name, "site");
    EXPECT_EQ(e->kind, ekFile);

    e = One("-rw-r--r-- 1 u g 5000000000 Jun 1 2001 big.iso");
    EXPECT_EQ(e->size, 5000000000LL);
    EXPECT_FALSE(parser.dateError);
}

TEST_F(ParserFixture, TimeMeansThisYearUnlessTheMonthIsAhead)
{
    const std::string march = "-rw-r--r-- 1 web users 2048 Mar  3 14:07 a";
    const std::string january = "-rw-r--r-- 1 web users 2048 Jan  5 09:00 a";
    Today(2024, 1);
    ExpectDate(One(march), 2023, 3, 3, 14, 7);
    ExpectDate(One(january), 2024, 1, 5, 9, 0);
    Today(2024, 2);
    ExpectDate(One(march), 2023, 3, 3, 14, 7);
    Today(2024, 3);
    ExpectDate(One(march), 2024, 3, 3, 14, 7);
}

TEST_F(ParserFixture, DosLinesWithAmPmAndTwoDigitYears)
{
    const TDetail *e = One("12-24-96  03:15PM       <DIR>          Old Stuff");
    ExpectDate(e, 1996, 12, 24);
    EXPECT_EQ(e->kind, ekDirectory);
    EXPECT_EQ(e->name, "Old Stuff");
    EXPECT_EQ(e->size, 0);

    ExpectDate(One("06-01-24  12:05AM   100 a.txt"), 2024, 6, 1, 0, 5);
    ExpectDate(One("06-01-24  12:30PM   100 a.txt"), 2024, 6, 1, 12, 30);
    ExpectDate(One("06-01-24  11:59PM   100 a.txt"), 2024, 6, 1, 23, 59);
    ExpectDate(One("06-01-24  01:00AM   100 a.txt"), 2024, 6, 1, 1, 0);
    e = One("03-04-05  01:00AM   1234 report jan 2005.doc");
    ExpectDate(e, 2005, 3, 4);
    EXPECT_EQ(e->name, "report jan 2005.doc");
    EXPECT_EQ(e->size, 1234);
    ExpectDate(One("01-01-70  01:00AM   1 a"), 1970, 1, 1);
    ExpectDate(One("12-24-1996  03:15PM   7 b"), 1996, 12, 24);
    EXPECT_EQ(One("13-01-96  01:00AM   1 a"), nullptr);
    EXPECT_FALSE(parser.dateError);
}

TEST_F(ParserFixture, DosLineWithoutAClockTimeIsSkipped)
{
    // The time field must be HH:MM with AM or PM or nothing after it: anything else would put
    // part of the line into the time or the name of the entry.
    EXPECT_EQ(One("12-24-6991  - 1 U b"), nullptr);
    EXPECT_EQ(One("06-01-24  1:5 100 page.html"), nullptr);
    EXPECT_EQ(One("06-01-24  01:00XM   100 a.txt"), nullptr);
    EXPECT_EQ(One("06-01-24  0100AM   100 a.txt"), nullptr);
    EXPECT_EQ(One("06-01-96  01:0   100 a.txt"), nullptr);
    ExpectDate(One("06-01-24  13:05   100 a.txt"), 2024, 6, 1, 13, 5);
    ExpectDate(One("06-01-24  01:05pm   100 a.txt"), 2024, 6, 1, 13, 5);
}

TEST_F(ParserFixture, FrenchMonthsMatchTheOemBytesOnly)
{
    ExpectDate(One("-rw-r--r-- 1 u g 10 f\x82v 3 1997 a"), 1997, 2, 3);
    ExpectDate(One("-rw-r--r-- 1 u g 10 AO\x96 3 1997 a"), 1997, 8, 3);
    ExpectDate(One("-rw-r--r-- 1 u g 10 d\x82" "c 3 1997 a"), 1997, 12, 3);
    ExpectDate(One("-rw-r--r-- 1 u g 10 mai 3 1997 a"), 1997, 5, 3);
    EXPECT_EQ(One("-rw-r--r-- 1 u g 10 f\xc3\xa9v 3 1997 a"), nullptr); // UTF-8 e-acute
}

TEST_F(ParserFixture, UnreadableLines)
{
    List({"total 12", "ls: .: Permission denied", "", "drwxr-xr-x 2 u g 512 Jan 1 2000 .",
          "drwxr-xr-x 2 u g 512 Jan 1 2000 .."});
    EXPECT_EQ(model.remoteTree.Count(), 0);
    EXPECT_FALSE(parser.dateError);

    // A user named like a month: the fields are read from the wrong place.
    EXPECT_EQ(One("-rw-r--r-- 1 jan staff 10 Feb 1 1997 a"), nullptr);
    EXPECT_TRUE(parser.dateError);
}

TEST_F(ParserFixture, ImpossibleDatesRetreatOneDayOrAreSkipped)
{
    ExpectDate(One("-rw-r--r-- 1 u g 1 Feb 29 1997 a"), 1997, 2, 28);
    ExpectDate(One("-rw-r--r-- 1 u g 1 Feb 29 1996 a"), 1996, 2, 29);
    EXPECT_FALSE(parser.dateError);
    for (const char *line : {"-rw-r--r-- 1 u g 1 Feb 30 1997 a", "-rw-r--r-- 1 u g 1 Feb 0 1997 a",
                             "-rw-r--r-- 1 u g 1 Feb 3 25:10 a"}) {
        parser.dateError = false;
        EXPECT_EQ(One(line), nullptr) << line;
        EXPECT_TRUE(parser.dateError) << line;
    }
    // An unreadable size keeps what was read and raises the flag.
    parser.dateError = false;
    EXPECT_EQ(One("-rw-r--r-- 1 u g 12a Feb 3 1997 a")->size, 12);
    EXPECT_TRUE(parser.dateError);
}

TEST_F(ParserFixture, HostileNamesNeverEnterTheTree)
{
    List({"-rw-r--r-- 1 u g 1 Jan 1 2000 ../../etc/passwd", "-rw-r--r-- 1 u g 1 Jan 1 2000 a/b",
          "-rw-r--r-- 1 u g 1 Jan 1 2000 ..\\x", "-rw-r--r-- 1 u g 1 Jan 1 2000 x\\y",
          std::string("-rw-r--r-- 1 u g 1 Jan 1 2000 n\0ul", 35), "-rw-r--r-- 1 u g 1 Jan 1 2000 cr\rx",
          "lrwxrwxrwx 1 u g 1 Jan 1 2000 -> /", "01-01-00  01:00AM   1 ../up", "01-01-00  1", "01-01-00  1 2",
          "-rw-r--r-- 1 u g 1 Jan 1 2000 ok"});
    EXPECT_EQ(Names(), std::vector<std::string>{"ok"});
}

TEST_F(ParserFixture, DirectoriesFirstInCaseInsensitiveOrder)
{
    List({"-rw-r--r-- 1 u g 1 Jan 1 2000 B", "drwxr-xr-x 2 u g 1 Jan 1 2000 c",
          "-rw-r--r-- 1 u g 1 Jan 1 2000 a", "drwxr-xr-x 2 u g 1 Jan 1 2000 A",
          "-rw-r--r-- 1 u g 1 Jan 1 2000 b", "-rw-r--r-- 1 u g 1 Jan 1 2000 a"});
    EXPECT_EQ(Names(), (std::vector<std::string>{"A", "c", "a", "B", "b"}));
    EXPECT_EQ(view.LastStatus(), "Processed: 5 files. Total files: 5");
}

// Only the top directory's check file is the clock check; its name is matched as the server
// lists it, before the case filters.
TEST_F(ParserFixture, CheckFileOnlyInTheTopDirectory)
{
    std::vector<TDateTime> seen;
    parser.OnCheckFileListed = [&](TDateTime t) { seen.push_back(t); };
    const std::string line = "-rw-r--r-- 1 u g 30 Jun  3 10:41 fernhop.chk";
    EXPECT_EQ(One(line), nullptr); // no PC time waiting: dropped, not reported
    EXPECT_TRUE(seen.empty());
    site.savedPcTime = 45000;
    EXPECT_EQ(One(line), nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_DOUBLE_EQ(seen[0], EncodeDate(2024, 6, 3) + EncodeTime(10, 41));

    options.fileFilter = CaseFilter::Upper;
    EXPECT_EQ(One(line), nullptr);
    EXPECT_EQ(seen.size(), 2u);
    options.fileFilter = CaseFilter::NoChange;

    // Elsewhere it is a file like any other: listed, and its time leaves the offset alone.
    model.remoteTree.Clear();
    TDetail dir;
    dir.kind = ekDirectory;
    dir.name = "old";
    SiteNode *old = model.remoteTree.Append(nullptr, dir);
    model.currentRelativeDirectory = "/old";
    List({"-rw-r--r-- 1 u g 30 Jan  3  2017 fernhop.chk"}, old);
    ASSERT_EQ(old->ChildCount(), 1);
    EXPECT_EQ(old->Child(0)->detail.Path(), "/old/fernhop.chk");
    EXPECT_EQ(seen.size(), 2u);
}

// The name starts one space after the time or year, as ls prints it; only a link's line has a
// target after " -> ".
TEST_F(ParserFixture, NamesWithLeadingSpacesAndArrows)
{
    List({"-rw-r--r-- 1 u g 10 Jan  1  2000  lead.html", "-rw-r--r-- 1 u g 11 Mar  3 14:07   two.html",
          "-rw-r--r-- 1 u g 12 Jan  1  2000 a -> b.html", "drwxr-xr-x 2 u g 512 Jan  1  2000 x -> y",
          "lrwxrwxrwx 1 u g 13 Jan  1  2000 site -> public_html",
          "lrwxrwxrwx 1 u g 14 Jan  1  2000  sp -> a -> b", "-rw-r--r-- 1 u g 15 Jan  1  2000 lead.html"});
    EXPECT_EQ(Names(), (std::vector<std::string>{"x -> y", "a -> b.html", " lead.html", "lead.html", "site", " sp",
                                                 "  two.html"}));
    EXPECT_EQ(model.remoteTree.First()->detail.kind, ekDirectory);

    // DOS: one space after the size; after <DIR> the column padding of ten spaces.
    model.remoteTree.Clear();
    List({"12-24-96  03:15PM       <DIR>           Old Stuff", "06-01-24  01:00AM                  100  a.txt",
          "06-01-24  01:00AM                  100 a -> b", "06-01-24  01:00AM  <DIR>  short"});
    EXPECT_EQ(Names(), (std::vector<std::string>{" Old Stuff", "short", "a -> b", " a.txt"}));
}

// A name that could lead outside the top directory or break a command line is skipped, and the
// log says which one, with its control bytes shown.
TEST_F(ParserFixture, SkippedUnsafeNamesAreLoggedOnce)
{
    List({"-rw-r--r-- 1 u g 1 Jan 1 2000 ../../etc/passwd", "-rw-r--r-- 1 u g 1 Jan 1 2000 ../../etc/passwd",
          "-rw-r--r-- 2 u g 1 Jan 1 2000 ../../etc/passwd", "-rw-r--r-- 1 u g 1 Jan 1 2000 n\0ul"s,
          "-rw-r--r-- 1 u g 1 Jan 1 2000 cr\rx", "-rw-r--r-- 1 u g 1 Jan 1 2000 x\\y",
          "drwxr-xr-x 2 u g 1 Jan 1 2000 .", "drwxr-xr-x 2 u g 1 Jan 1 2000 ..",
          "-rw-r--r-- 1 u g 1 Jan 1 2000 ok"});
    EXPECT_EQ(Names(), std::vector<std::string>{"ok"});
    std::vector<std::string> skipped;
    for (const std::string &line : view.logLines)
        if (line.rfind("Skipped", 0) == 0)
            skipped.push_back(line);
    std::sort(skipped.begin(), skipped.end());
    EXPECT_EQ(skipped, (std::vector<std::string>{"Skipped unsafe name from server: \"../../etc/passwd\"",
                                                 "Skipped unsafe name from server: \"cr\\rx\"",
                                                 "Skipped unsafe name from server: \"n\\0ul\"",
                                                 "Skipped unsafe name from server: \"x\\\\y\""}));
}

// A NUL byte spoils its own line only.
TEST_F(ParserFixture, NulByteSkipsOnlyItsLine)
{
    List({"-rw-r--r-- 1 u g 1 Jan 1 2000 before", "-rw-r--r-- 1 u g\0x 1 Jan 1 2000 grp"s,
          "-rw-r--r-- 1 u g 1 Jan 1 2000 na\0me"s, "-rw-r--r-- 1 u g 1 Jan 1 2000 after"});
    EXPECT_EQ(Names(), (std::vector<std::string>{"after", "before"}));
    EXPECT_NE(std::find(view.logLines.begin(), view.logLines.end(),
                        "Skipped unsafe name from server: \"na\\0me\""),
              view.logLines.end());
    EXPECT_NE(std::find(view.logLines.begin(), view.logLines.end(),
                        "Skipped a listing line holding a NUL byte: \"grp\""),
              view.logLines.end());
}

// A line without a year is dated by the clock at parse time: the latest such date that is not more
// than two days ahead (servers in other time zones list a little into the PC's future).
TEST_F(ParserFixture, YearOfRecentLinesComesFromTheClockAtParseTime)
{
    model.currentYear = 1999; // a stale start-up date must not matter
    model.currentMonth = 1;
    Today(2024, 12, 31, 21, 0);
    ExpectDate(One("-rw-r--r-- 1 u g 1 Jan  1 00:30 chk"), 2025, 1, 1, 0, 30);
    ExpectDate(One("-rw-r--r-- 1 u g 1 Dec 31 23:59 a"), 2024, 12, 31, 23, 59);
    ExpectDate(One("-rw-r--r-- 1 u g 1 Jan  5 10:00 a"), 2024, 1, 5, 10, 0);
    Today(2025, 1, 1, 0, 10); // the same parser, a new day
    ExpectDate(One("-rw-r--r-- 1 u g 1 Dec 31 23:59 a"), 2024, 12, 31, 23, 59);
    Today(2024, 6, 15);
    ExpectDate(One("-rw-r--r-- 1 u g 1 Jun 17 10:00 a"), 2024, 6, 17, 10, 0);
    ExpectDate(One("-rw-r--r-- 1 u g 1 Jun 18 10:00 a"), 2023, 6, 18, 10, 0);
    ExpectDate(One("-rw-r--r-- 1 u g 1 Feb 29 10:00 a"), 2024, 2, 29, 10, 0);
    Today(2023, 6, 15);
    ExpectDate(One("-rw-r--r-- 1 u g 1 Feb 29 10:00 a"), 2023, 2, 28, 10, 0);
    // DOS lines of this year keep their time by the same clock.
    Today(2024, 6, 15);
    ExpectDate(One("06-01-24  01:00AM   100 a.txt"), 2024, 6, 1, 1, 0);
    ExpectDate(One("06-01-23  01:00AM   100 a.txt"), 2023, 6, 1);
}

TEST_F(ParserFixture, FiltersDirectoryAndIgnoreLists)
{
    TDetail dir;
    dir.kind = ekDirectory;
    dir.name = "docs";
    SiteNode *docs = model.remoteTree.Append(nullptr, dir);
    model.currentRelativeDirectory = "/docs";
    options.fileFilter = CaseFilter::Upper;
    options.refreshIgnore = true;
    model.ignore.extensions.Add(".bak");
    model.debugTrace = true;
    List({"drwxr-xr-x 2 u g 1 Jan 1 2000 img", "-rw-r--r-- 1 u g 1 Jan 1 2000 a.html",
          "-rw-r--r-- 1 u g 1 Jan 1 2000 old.bak"},
         docs);
    ASSERT_EQ(docs->ChildCount(), 2);
    // The file filter leaves directory names alone: the walk must be able to enter them.
    EXPECT_EQ(docs->Child(0)->detail.Path(), "/docs/img");
    EXPECT_EQ(docs->Child(1)->detail.Path(), "/docs/A.HTML");
    EXPECT_EQ(view.logLines.front(), "DEBUG: raw line: drwxr-xr-x 2 u g 1 Jan 1 2000 img");
}

TEST_F(ParserFixture, StopEndsTheListingBetweenLines)
{
    model.stopRequested = true;
    List({"-rw-r--r-- 1 u g 1 Jan 1 2000 a"});
    EXPECT_EQ(model.remoteTree.Count(), 0);
    EXPECT_EQ(view.LastStatus(), "Processed: 1 files. Total files: 0");
}

} // namespace
