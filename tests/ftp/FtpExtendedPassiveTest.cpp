// Passive data connections by EPSV where the server offers it, PASV after a server refuses it.
#include "ftp/FtpReplyFields.h"
#include "ftp/ScriptedDataFixture.h"

namespace {

const char *const kEpsvFeature = R"(
    {"match": "^FEAT$", "reply": ["211-Features:", " EPSV", "211 End"]})";
const char *const kListRule = R"(
    {"match": "^LIST", "action": "send", "data": ["-rw-r--r-- 1 u g 5 Jan 01 2020 a"]})";

Lines PassiveListing(const std::string &passive) { return {passive, "LIST -a"}; }

} // namespace

TEST(EpsvReply, ThePortBetweenDelimiters)
{
    EXPECT_EQ(ParseEpsvReply("229 Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(ParseEpsvReply("229 Entering Extended Passive Mode (!!!65535!)."), 65535);
    for (const char *line : {"229 Entering Extended Passive Mode (|||0|)", "229 (|||65536|)", "229 (|||6446)",
                             "229 (||6446|)", "229 (|!|6446|)", "229 (|||64x6|)", "227 (|||6446|)", "229 (111444|)",
                             "229 no port"})
        EXPECT_FALSE(ParseEpsvReply(line)) << line;
}

TEST_F(ScriptedFtp, OfferedEpsvCarriesThePassiveListing)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(std::string(kEpsvFeature) + R"(,
        {"match": "^EPSV$", "action": "pasv", "reply": "229 Entering Extended Passive Mode (|||{port}|)."},
        {"match": "^PWD$", "reply": "257 \"/\" is current."},)" + kListRule));
    ASSERT_TRUE(Complete([&] { client.GetListingPasv(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_EQ(client.Listing(), Lines{"-rw-r--r-- 1 u g 5 Jan 01 2020 a"});
    EXPECT_EQ(CommandsAfterLogin(), PassiveListing("EPSV"));
}

TEST_F(ScriptedFtp, RefusedEpsvFallsBackToPasvForTheSession)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(std::string(kEpsvFeature) + R"(,
        {"match": "^EPSV$", "reply": "500 EPSV not understood."},
        {"match": "^PASV$", "action": "pasv"},
        {"match": "^PWD$", "reply": "257 \"/\" is current."},)" + kListRule));
    ASSERT_TRUE(Complete([&] { client.GetListingPasv(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    ASSERT_TRUE(Complete([&] { client.GetListingPasv(); }));
    EXPECT_EQ(recorder.Count("OnListingDone ok"), 2);
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"EPSV", "PASV", "LIST -a", "PASV", "LIST -a"}));
}
