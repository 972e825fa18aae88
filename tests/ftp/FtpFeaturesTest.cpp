// What a server offers in its answer to FEAT, and the three uses of it: machine listings (MLSD,
// with the fall-back to LIST for a server that refuses them), and MFMT after an upload.
#include "ftp/FtpReplyFields.h"
#include "ftp/ScriptedDataFixture.h"
#include "transfer/TimeZoneGuard.h"

#include <utime.h>

namespace {

const char *const kFeatures = R"(
    {"match": "^FEAT$", "reply": ["211-Features:", " MDTM", " mlst type*;size*;modify*;", " MFMT", " UTF8", "211 End"]})";

std::string SendRule(const std::string &match, const Lines &data, const std::string &extra = "")
{
    std::string lines;
    for (const std::string &line : data)
        lines += (lines.empty() ? "\"" : ", \"") + line + "\"";
    return R"({"match": ")" + match + R"(", "action": "send", "data": [)" + lines + "]" + extra + "}";
}

} // namespace

TEST_F(ScriptedFtp, FeaturesAreReadOnceAfterLoginAndShownInTheTrace)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(kFeatures)));
    client.TraceMode = true;
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(client.Features(), (Lines{"MDTM", "mlst type*;size*;modify*;", "MFMT", "UTF8"}));
    EXPECT_TRUE(client.HasFeature("MLST"));
    EXPECT_TRUE(client.HasFeature("mfmt"));
    EXPECT_FALSE(client.HasFeature("MLS"));
    EXPECT_NE(std::find(recorder.traces.begin(), recorder.traces.end(),
                        "-> Features: MDTM, mlst type*;size*;modify*;, MFMT, UTF8"),
              recorder.traces.end());
    EXPECT_EQ(server->commands(), (Lines{"USER joe", "PASS secret", "SYST", "FEAT"}));
}

TEST_F(ScriptedFtp, AServerWithoutFeatOffersNothingAndTheLoginGoesOn)
{
    // The default answer to an unknown command: 502.
    ASSERT_NO_FATAL_FAILURE(Start(Script(R"({"match": "^CWD /www$", "reply": "250 OK."})")));
    client.InitialDirectory = "/www";
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_TRUE(recorder.Has("OnLoggedIn ok"));
    EXPECT_TRUE(client.Features().empty());
    EXPECT_FALSE(client.MlsdInUse());
    EXPECT_EQ(server->commands(), (Lines{"USER joe", "PASS secret", "SYST", "FEAT", "CWD /www"}));
}

class MachineListing : public ScriptedData {
protected:
    Lines Listing(const std::string &list) const
    {
        return Passive() ? Lines{"PASV", list} : Lines{"PWD", "TYPE A", "PORT", list};
    }
    // A later listing of the session: the type is set already.
    Lines NextListing(const std::string &list) const
    {
        return Passive() ? Lines{"PASV", list} : Lines{"PWD", "PORT", list};
    }
};

TEST_P(MachineListing, OfferedMlsdListsAndItsLinesComeAsTheyAre)
{
    ASSERT_NO_FATAL_FAILURE(StartData(std::string(kFeatures) + "," +
                                      SendRule("^MLSD$", {"type=file;size=3;modify=20240501101530; a b.txt"}) + "," +
                                      SendRule("^LIST -a$", {"-rw-r--r-- 1 u g 3 Jan 01 2020 a b.txt"})));
    EXPECT_TRUE(client.MlsdInUse());
    EXPECT_TRUE(client.HiddenListed());
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_TRUE(client.ListedWithMlsd());
    EXPECT_EQ(client.Listing(), Lines{"type=file;size=3;modify=20240501101530; a b.txt"});

    // Turned off, the next listing is a LIST.
    client.UseMlsd = false;
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_FALSE(client.ListedWithMlsd());
    EXPECT_EQ(Commands(), Listing("MLSD") + NextListing("LIST -a"));
}

TEST_P(MachineListing, RefusedMlsdIsListedWithListForTheSession)
{
    ASSERT_NO_FATAL_FAILURE(StartData(std::string(kFeatures) + R"(,
        {"match": "^MLSD", "reply": "500 Unknown command."},)" +
                                      SendRule("^LIST -a$", {"-rw-r--r-- 1 u g 5 Jan 01 2020 a"})));
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_FALSE(client.ListedWithMlsd());
    EXPECT_FALSE(client.MlsdInUse());
    EXPECT_EQ(client.Listing(), Lines{"-rw-r--r-- 1 u g 5 Jan 01 2020 a"});
    ASSERT_TRUE(Complete([&] { List(); }));
    const Lines again = Passive() ? Lines{"PASV", "LIST -a"} : Lines{"PORT", "LIST -a"};
    EXPECT_EQ(Commands(), Listing("MLSD") + again + NextListing("LIST -a"));
}

TEST_P(MachineListing, AFailedDirectoryIsAFailedListingNotARefusal)
{
    ASSERT_NO_FATAL_FAILURE(
        StartData(std::string(kFeatures) + R"(, {"match": "^MLSD", "reply": "550 No such directory."})"));
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone failed"));
    EXPECT_TRUE(client.MlsdInUse());
    EXPECT_EQ(Commands(), Listing("MLSD"));
}

INSTANTIATE_TEST_SUITE_P(Modes, MachineListing, ::testing::Values(false, true), ModeName);

class StoredFileTime : public ScriptedData {};

TEST_P(StoredFileTime, MfmtGivesTheUploadTheLocalTimeWhereOffered)
{
    ASSERT_NO_FATAL_FAILURE(StartData(std::string(kFeatures) + R"(,
        {"match": "^STOR ", "action": "receive"},
        {"match": "^MFMT 20240501101530 /www/a.txt$", "reply": "213 Modify=20240501101530; /www/a.txt", "times": 1},
        {"match": "^MFMT ", "reply": "550 Not allowed."})"));
    WriteLocal("a.txt", "abc");
    client.LocalFile = LocalPath("a.txt");
    client.RemoteFile = "/www/a.txt";
    client.UploadFileTime = UtcToLocalDateTime(EncodeDate(2024, 5, 1) + EncodeTime(10, 15, 30));
    ASSERT_TRUE(Complete([&] { Put(); }));
    EXPECT_TRUE(recorder.Has("OnFileStored ok"));
    EXPECT_TRUE(client.FileTimeSet());

    // Refused, the upload is still a success; only the time is not the local one.
    ASSERT_TRUE(Complete([&] { Put(); }));
    EXPECT_EQ(recorder.Count("OnFileStored ok"), 2);
    EXPECT_FALSE(client.FileTimeSet());
    EXPECT_EQ(server->uploaded("/www/a.txt"), "abc");
    const Lines sent = Commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "MFMT 20240501101530 /www/a.txt"), 2);
}

TEST_P(StoredFileTime, NoMfmtWithoutTheFeature)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "^STOR ", "action": "receive"})"));
    WriteLocal("a.txt", "abc");
    client.LocalFile = LocalPath("a.txt");
    client.RemoteFile = "/www/a.txt";
    client.UploadFileTime = Now();
    ASSERT_TRUE(Complete([&] { Put(); }));
    EXPECT_TRUE(recorder.Has("OnFileStored ok"));
    EXPECT_FALSE(client.FileTimeSet());
    const Lines sent = Commands();
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string &c) { return c.rfind("MFMT", 0) == 0; }), 0);
}

// New York, 1 November 2026: 01:30 comes twice, at 05:30 UTC (summer time) and an hour later at
// 06:30 UTC. The local time alone cannot say which; the file's own instant can, and MFMT gets it.
TEST_P(StoredFileTime, TheHourRepeatedWhenSummerTimeEndsKeepsTheFilesInstant)
{
    const TimeZoneGuard newYork("America/New_York");
    ASSERT_NO_FATAL_FAILURE(StartData(std::string(kFeatures) + R"(,
        {"match": "^STOR ", "action": "receive"},
        {"match": "^MFMT ", "reply": "213 Modify set."})"));
    WriteLocal("a.txt", "abc");
    client.LocalFile = LocalPath("a.txt");
    client.RemoteFile = "/www/a.txt";
    const std::time_t summer = 1793511000; // 2026-11-01 05:30:00 UTC, 01:30 EDT
    for (const std::time_t instant : {summer, summer + 3600}) {
        const struct utimbuf times{instant, instant};
        ASSERT_EQ(::utime(LocalPath("a.txt").c_str(), &times), 0);
        client.UploadFileTime = UnixToLocalDateTime(instant); // as the local scan reads it
        ASSERT_EQ(FormatDateTime("hh:nn", client.UploadFileTime), "01:30");
        ASSERT_TRUE(Complete([&] { Put(); }));
    }
    const Lines sent = Commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "MFMT 20261101053000 /www/a.txt"), 1) << testing::PrintToString(sent);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "MFMT 20261101063000 /www/a.txt"), 1) << testing::PrintToString(sent);
}

INSTANTIATE_TEST_SUITE_P(Modes, StoredFileTime, ::testing::Values(false, true), ModeName);
