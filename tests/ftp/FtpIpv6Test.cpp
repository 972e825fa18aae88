// The FTP client over IPv6 against the scripted server on ::1: literal addresses in the server
// field, EPRT and EPSV, what happens when a server refuses them, and a server name whose first
// address refuses.
#include "ftp/FtpReplyFields.h"
#include "ftp/ScriptedDataFixture.h"
#include "net/HostLookup.h"

#include <regex>

namespace {

const char *const kIpv6DataRules = R"(
    {"match": "^PWD$", "reply": "257 \"/\" is current."},
    {"match": "^TYPE ", "reply": "200 Type set."},
    {"match": "^EPRT ", "action": "port"},
    {"match": "^EPSV$", "action": "pasv", "reply": "229 Entering Extended Passive Mode (|||{port}|)."},
    {"match": "^LIST", "action": "send", "data": ["-rw-r--r-- 1 u g 5 Jan 01 2020 a"]})";

class ScriptedIpv6 : public ScriptedFtp {
protected:
    // The scripted server on ::1, the client given `serverField` as its server.
    void StartOnIpv6(const std::string &rules, const std::string &serverField = "::1")
    {
        server = fernhop::test::ScriptedFtpServer::start(Script(rules), "::1");
        ASSERT_TRUE(server);
        recorder.Attach(client);
        client.SetFtpServer(serverField);
        client.SetFtpPort(server->port());
        client.UserName = "joe";
        client.UserPassword = "secret";
        ASSERT_TRUE(ConnectAndWait());
        ASSERT_TRUE(recorder.Has("OnLoggedIn ok"));
    }

    bool HasTrace(const std::string &text) const
    {
        return std::find(recorder.traces.begin(), recorder.traces.end(), text) != recorder.traces.end();
    }
};

} // namespace

TEST(EprtArgument, FamilyAddressAndPortBetweenBars)
{
    EXPECT_EQ(EprtArgument("::1", 1025), "|2|::1|1025|");
    EXPECT_EQ(EprtArgument("fe80::1%eth0", 21), "|2|fe80::1|21|");
    EXPECT_EQ(EprtArgument("10.0.0.1", 65535), "|1|10.0.0.1|65535|");
}

TEST_F(ScriptedIpv6, LiteralInTheServerFieldNeedsNoLookup)
{
    for (const char *field : {"[::1]", "::1"}) {
        SCOPED_TRACE(field);
        ASSERT_NO_FATAL_FAILURE(StartOnIpv6("", field));
        EXPECT_FALSE(recorder.Has(std::string("fiResolving ") + field));
        EXPECT_EQ(recorder.events.front(), "fiConnected ::1");
        EXPECT_EQ(client.Address, "::1");
        client.Quit();
        ASSERT_TRUE(WaitForQuit());
        client.Reset();
        recorder = FtpRecorder();
    }
}

// Active mode on IPv6: the listener on ::1, announced with EPRT (PORT cannot name it).
TEST_F(ScriptedIpv6, ActiveListingAnnouncesTheListenerWithEprt)
{
    ASSERT_NO_FATAL_FAILURE(StartOnIpv6(kIpv6DataRules));
    ASSERT_TRUE(Complete([&] { client.GetListing(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_EQ(client.Listing(), Lines{"-rw-r--r-- 1 u g 5 Jan 01 2020 a"});
    const Lines commands = CommandsAfterLogin();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_TRUE(std::regex_match(commands[2], std::regex(R"(EPRT \|2\|::1\|[0-9]+\|)"))) << commands[2];
    EXPECT_EQ(commands[3], "LIST -a");
}

// Passive mode on IPv6 is EPSV, offered or not: a PASV answer can only carry an IPv4 address.
TEST_F(ScriptedIpv6, PassiveListingUsesEpsvEvenWhenNotOffered)
{
    ASSERT_NO_FATAL_FAILURE(StartOnIpv6(kIpv6DataRules));
    ASSERT_TRUE(Complete([&] { client.GetListingPasv(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_EQ(client.Listing(), Lines{"-rw-r--r-- 1 u g 5 Jan 01 2020 a"});
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"EPSV", "LIST -a"}));
}

// A refused or garbled EPSV on IPv6 ends the session as a protocol error; PASV is never tried.
TEST_F(ScriptedIpv6, RefusedOrGarbledEpsvFailsWithoutPasv)
{
    for (const char *reply : {"500 EPSV not understood.", "502 No.", "229 Entering Extended Passive Mode (|||0|).",
                              "229 Entering Extended Passive Mode (|||", "229"}) {
        SCOPED_TRACE(reply);
        ASSERT_NO_FATAL_FAILURE(StartOnIpv6(R"({"match": "^EPSV$", "reply": ")" + std::string(reply) + R"("},
            {"match": "^PASV$", "action": "pasv"},)" + kIpv6DataRules));
        recorder.Clear();
        client.GetListingPasv();
        ASSERT_TRUE(WaitForQuit());
        EXPECT_TRUE(recorder.Has(ErrorEvent(feProtocolError)));
        EXPECT_EQ(HasTrace("-> EPSV refused: passive mode over IPv6 needs it"), reply[0] == '5');
        const Lines commands = CommandsAfterLogin();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "PASV"), 0);
        client.Reset();
        recorder = FtpRecorder();
    }
}

TEST_F(ScriptedIpv6, RefusedEprtFailsClearly)
{
    ASSERT_NO_FATAL_FAILURE(StartOnIpv6(R"({"match": "^EPRT ", "reply": "500 EPRT not understood."},
        {"match": "^PORT ", "action": "port"},)" + std::string(kIpv6DataRules)));
    client.GetListing();
    ASSERT_TRUE(WaitForQuit());
    EXPECT_TRUE(recorder.Has(ErrorEvent(feProtocolError)));
    EXPECT_TRUE(HasTrace("-> EPRT refused: active mode over IPv6 needs it"));
    const Lines commands = CommandsAfterLogin();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const std::string &c) { return c.rfind("PORT", 0) == 0; }),
              0);
}

// A name with an IPv6 and an IPv4 address, the server only on IPv4: the refusal on ::1 moves the
// connect on, the trace names both, and the session then runs on IPv4 as always (PORT).
TEST_F(ScriptedFtp, NameWhoseFirstAddressRefusesConnectsToTheNext)
{
    HostLookup::SetFixedAnswers({{"dual.fernhop.test", {"::1", "127.0.0.1"}}});
    ASSERT_NO_FATAL_FAILURE(Start(Script(DataRules(R"({"match": "^LIST", "action": "send", "data": ["a"]})"))));
    client.SetFtpServer("dual.fernhop.test");
    const bool loggedIn = ConnectAndWait();
    HostLookup::SetFixedAnswers({});
    ASSERT_TRUE(loggedIn);
    ASSERT_TRUE(recorder.Has("OnLoggedIn ok"));
    const std::string port = std::to_string(server->port());
    EXPECT_EQ(recorder.traces[0], "-> Connecting to ::1 port " + port);
    EXPECT_EQ(recorder.traces[1], "-> No connection to ::1: WSAECONNREFUSED");
    EXPECT_EQ(recorder.traces[2], "-> Connecting to 127.0.0.1 port " + port);
    EXPECT_EQ(client.Address, "127.0.0.1");
    ASSERT_TRUE(Complete([&] { client.GetListing(); }));
    EXPECT_EQ(client.Listing(), Lines{"a"});
    const Lines commands = CommandsAfterLogin();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const std::string &c) { return c.rfind("PORT ", 0) == 0; }),
              1);
}
