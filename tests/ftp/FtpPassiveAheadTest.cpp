// The next transfer's passive command sent while a listing's final reply is still to come: the
// server answers in order, so each reply must go to the command it answers, also when the port
// given ahead goes unused, and a server that refuses the command is not sent it again.
#include "ftp/ScriptedDataFixture.h"

namespace {

// The 226 comes a while after the data connection's close, as vsftpd's does: the client has
// taken the close before it, which is when the passive command goes ahead.
const char *const kLateFinalReplyListing = R"(
    {"match": "^FEAT$", "reply": ["211-Features:", " EPSV", "211 End"]},
    {"match": "^LIST", "action": "send", "data": ["-rw-r--r-- 1 u g 5 Jan 01 2020 a"], "then_delay_ms": 150},
    {"match": "^CWD /gone$", "reply": "550 No such directory."},
    {"match": "^CWD ", "reply": "250 Changed."},
    {"match": "^ABOR$", "reply": "225 No transfer to abort."})";

const Lines kListed{"-rw-r--r-- 1 u g 5 Jan 01 2020 a"};

} // namespace

TEST_F(ScriptedFtp, APortGivenAheadCarriesTheNextListingAndOneLeftUnusedIsDroppedBeforeTheNextCommand)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(std::string(kLateFinalReplyListing) + R"(,
        {"match": "^EPSV$", "action": "pasv", "reply": "229 Entering Extended Passive Mode (|||{port}|)."})"));
    client.PassiveAhead = true;
    ASSERT_TRUE(Complete([&] { client.GetListingPasv(); }));
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/sub"); }));
    ASSERT_TRUE(Complete([&] { client.GetListingPasv(); }));
    EXPECT_EQ(recorder.Count("OnListingDone ok"), 2);
    EXPECT_EQ(client.Listing(), kListed);

    // The second listing's port goes unused: dropped once the session has been idle a second.
    ASSERT_TRUE(RunUntil([&] { return server->commands().back() == "ABOR"; }, 5000));
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/gone"); }));
    EXPECT_FALSE(client.Success()); // its own 550, not the ABOR's 225 taken for it

    EXPECT_EQ(CommandsAfterLogin(),
              (Lines{"EPSV", "LIST -a", "EPSV", "CWD /sub", "LIST -a", "EPSV", "ABOR", "CWD /gone"}));
}

TEST_F(ScriptedFtp, AServerThatRefusesThePassiveCommandSentAheadIsAskedInTurnFromThenOn)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(std::string(R"(
        {"match": "^EPSV$", "times": 1, "action": "pasv", "reply": "229 Entering Extended Passive Mode (|||{port}|)."},
        {"match": "^EPSV$", "times": 1, "reply": "503 Bad sequence of commands."},
        {"match": "^EPSV$", "action": "pasv", "reply": "229 Entering Extended Passive Mode (|||{port}|)."},)") +
                                                    kLateFinalReplyListing));
    client.PassiveAhead = true;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(Complete([&] { client.GetListingPasv(); }));
    EXPECT_EQ(recorder.Count("OnListingDone ok"), 3);
    EXPECT_EQ(client.Listing(), kListed);
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"EPSV", "LIST -a", "EPSV", "EPSV", "LIST -a", "EPSV", "LIST -a"}));
}
