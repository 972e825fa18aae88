// Machine listing lines (MLSD): the facts read, the odd ones servers write, and the entries they
// give in the remote tree, with the listing parser's order and name rules.
#include "support/RecordingView.h"
#include "site/ListingParser.h"
#include "site/MlsdLine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

struct MlsdFixture : ::testing::Test {
    Options options;
    RecordingView view;
    SiteModel model{options, view};
    FixedSite site;
    ListingParser parser{model};

    void SetUp() override
    {
        model.SetSite(&site);
        setenv("TZ", "FHT-10", 1); // ten hours east of UTC, no summer time
        tzset();
    }
    void TearDown() override
    {
        unsetenv("TZ");
        tzset();
    }
    std::vector<std::string> Dump()
    {
        std::vector<std::string> out;
        for (SiteNode *n = model.remoteTree.First(); n; n = model.remoteTree.Next(n))
            out.push_back((n->detail.kind == ekDirectory ? "D " : "F ") + n->detail.name + " " +
                          std::to_string(n->detail.size));
        return out;
    }
};

} // namespace

TEST(MlsdLine, FactsInAnyCaseAndTheNameAsWritten)
{
    MlsdEntry e;
    ASSERT_EQ(ReadMlsdLine("Type=file;Size=1234;Modify=20240229235958.123;UNIQUE=8a;perm=r; my; file .txt", e),
              MlsdLine::entry);
    EXPECT_EQ(e.kind, ekFile);
    EXPECT_EQ(e.size, 1234);
    EXPECT_EQ(*e.modifiedUtc, EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58));
    EXPECT_EQ(e.name, "my; file .txt");

    ASSERT_EQ(ReadMlsdLine("type=dir;modify=20240101000000;  leading space", e), MlsdLine::entry);
    EXPECT_EQ(e.kind, ekDirectory);
    EXPECT_EQ(e.name, " leading space");
    // Links count as files, as a listing line shows them; a server's own directory type too.
    ASSERT_EQ(ReadMlsdLine("type=OS.unix=slink:/etc;modify=20240101000000; link", e), MlsdLine::entry);
    EXPECT_EQ(e.kind, ekFile);
    ASSERT_EQ(ReadMlsdLine("type=OS.unix=dir;modify=20240101000000; d", e), MlsdLine::entry);
    EXPECT_EQ(e.kind, ekDirectory);
    // No facts at all: a file without a time.
    ASSERT_EQ(ReadMlsdLine(" bare", e), MlsdLine::entry);
    EXPECT_FALSE(e.modifiedUtc);

    for (const char *line : {"type=cdir;modify=20240101000000; /www", "type=pdir; ..", "", "   "})
        EXPECT_EQ(ReadMlsdLine(line, e), MlsdLine::skipped) << line;
    for (const char *line : {"type=file;size=12;modify=20240101000000;", "type=file;size=-1; a", "type=file;size=1x; a",
                             "type=file;modify=2024010100000; a", "type=file;modify=20240230000000; a",
                             "type=file;modify=20240101000000.; a", "type; a"})
        EXPECT_EQ(ReadMlsdLine(line, e), MlsdLine::badFacts) << line;
}

TEST_F(MlsdFixture, EntriesInListingOrderWithExactTimesOnThePcClock)
{
    parser.ProcessMlsdListing(model.remoteTree, nullptr,
                              {"type=cdir;modify=20240101000000; .", "type=pdir;modify=20240101000000; ..",
                               "type=file;size=5;modify=20240501101530; b.txt",
                               "type=dir;sizd=4096;modify=20240101000000; Zdir",
                               "type=file;size=7;modify=20240501101530; A.txt", "type=dir;modify=20240101000000; adir"});
    EXPECT_EQ(Dump(), (std::vector<std::string>{"D adir 0", "D Zdir 0", "F A.txt 7", "F b.txt 5"}));
    const TDetail &a = model.remoteTree.Child(nullptr, 2)->detail;
    EXPECT_EQ(a.precision, tpSecond);
    EXPECT_DOUBLE_EQ(a.modified, EncodeDate(2024, 5, 1) + EncodeTime(20, 15, 30));
    EXPECT_EQ(model.remoteTree.Child(nullptr, 0)->detail.visited, 0); // a directory waits to be listed
    EXPECT_FALSE(parser.dateError);
}

TEST_F(MlsdFixture, UnsafeNamesAreSkippedAndLoggedAndUnreadableFactsStopTheRun)
{
    parser.ProcessMlsdListing(model.remoteTree, nullptr,
                              {"type=file;size=1;modify=20240101000000; ../up", "type=file;size=1;modify=20240101000000; a/b",
                               std::string("type=file;size=1;modify=20240101000000; n\0ul", 44),
                               "type=file;size=1;modify=20240101000000; ok"});
    EXPECT_EQ(Dump(), std::vector<std::string>{"F ok 1"});
    EXPECT_FALSE(parser.dateError);
    EXPECT_EQ(std::count_if(view.logLines.begin(), view.logLines.end(),
                            [](const std::string &l) { return l.find("../up") != std::string::npos; }),
              1);

    model.remoteTree.Clear();
    parser.ProcessMlsdListing(model.remoteTree, nullptr, {"type=file;size=1;modify=2024; bad", "type=file;size=1; notime"});
    EXPECT_TRUE(parser.dateError);
}
