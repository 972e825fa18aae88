// Operations of a logged-in session against the scripted server, and the ends of a session.
#include "ftp/ScriptedFtpFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char *const kCommandRules = R"(
    {"match": "^CWD ", "reply": "250 Directory changed."},
    {"match": "^MKD ", "reply": "257 \"/new dir\" created."},
    {"match": "^RMD ", "reply": "550 Directory not empty."},
    {"match": "^DELE ", "reply": "250 Deleted."},
    {"match": "^SITE ", "reply": "500 Unknown SITE command."},
    {"match": "^NOOP$", "reply": "200 NOOP ok."})";

uint16_t PortNobodyListensOn()
{
    return fernhop::test::freeLoopbackPort();
}

} // namespace

TEST_F(ScriptedFtp, EachOperationSendsItsCommandAndRaisesItsOwnEvent)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(kCommandRules));
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("docs"); }));
    ASSERT_TRUE(Complete([&] { client.MakeDirectory("new dir"); }));
    ASSERT_TRUE(Complete([&] { client.RemoveDirectory("old"); }));
    ASSERT_TRUE(Complete([&] { client.DeleteFile("a.txt"); }));
    ASSERT_TRUE(Complete([&] { client.SendCommand("SITE CHMOD 755 a.txt"); }));
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); }));

    EXPECT_EQ(CommandsAfterLogin(), (Lines{"CWD docs", "MKD new dir", "RMD old", "DELE a.txt",
                                           "SITE CHMOD 755 a.txt", "NOOP"}));
    EXPECT_EQ(recorder.events, (Lines{
        "OnFtpReady", "OnDirectoryChanged ok", "fiReady",
        "OnFtpReady", "OnDirectoryCreated ok", "fiReady",
        "fiCommandFailed", "OnFtpReady", "OnDirectoryDeleted failed", "fiReady",
        "OnFtpReady", "OnFileDeleted ok", "fiReady",
        "fiCommandRejected", "OnFtpReady", "OnCommandIssued failed", "fiReady",
        "OnFtpReady", "fiReady"}));
    EXPECT_EQ(client.InitialDirectory, "docs");
    EXPECT_FALSE(client.Busy());
}

TEST_F(ScriptedFtp, MultiLineReplyCompletesTheOperationOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(
        R"({"match": "^CWD ", "reply": ["250-Directory changed.", "250-Read the README", "250 OK."]})"));
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("docs"); }));
    RunFor(100);
    EXPECT_EQ(recorder.readies, 1);
    EXPECT_TRUE(recorder.Has("OnDirectoryChanged ok"));
}

TEST_F(ScriptedFtp, CompletionIsPostedNotRaisedInsideTheHandler)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(kCommandRules));
    // The next operation started from a completion handler runs normally.
    client.OnDirectoryChanged = [&](TFtpClient *c) { c->DeleteFile("b.txt"); };
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("docs"); }));
    ASSERT_TRUE(RunUntil([&] { return recorder.Has("OnFileDeleted ok"); }));
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"CWD docs", "DELE b.txt"}));
}

TEST_F(ScriptedFtp, OperationWhileBusySendsNothingButTakesOverThePendingEvent)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(kCommandRules));
    client.ChangeDirectory("a");
    ASSERT_TRUE(client.Busy());
    client.MakeDirectory("b"); // refused, yet its event replaces the running one's
    ASSERT_TRUE(RunUntil([&] { return recorder.readies == 1; }));
    RunFor(100);
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"CWD a"}));
    EXPECT_EQ(recorder.events, (Lines{"fiBusy", "OnFtpReady", "OnDirectoryCreated ok", "fiReady"}));
}

TEST_F(ScriptedFtp, KeepAliveDuringAnOperationChangesNothing)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(kCommandRules));
    client.ChangeDirectory("a");
    client.KeepAlive();
    ASSERT_TRUE(RunUntil([&] { return recorder.readies == 1; }));
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"CWD a"}));
    EXPECT_EQ(recorder.events, (Lines{"OnFtpReady", "OnDirectoryChanged ok", "fiReady"}));
}

TEST_F(ScriptedFtp, LineBreakInAnArgumentIsNeverSent)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(kCommandRules));
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("a\r\nDELE index.html"); }));
    ASSERT_TRUE(Complete([&] { client.SendCommand("SITE CHMOD 755 a\nDELE b"); }));
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); })); // the session goes on
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"NOOP"}));
    EXPECT_EQ(recorder.events, (Lines{
        "fiCommandFailed", "OnFtpReady", "OnDirectoryChanged failed", "fiReady",
        "fiCommandRejected", "OnFtpReady", "OnCommandIssued failed", "fiReady",
        "OnFtpReady", "fiReady"}));
}

TEST_F(ScriptedFtp, QuitEndsWithTheCompletionBeforeTheQuit)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(""));
    client.Quit();
    ASSERT_TRUE(WaitForQuit());
    RunFor(100);
    EXPECT_EQ(recorder.sent, (Lines{"QUIT"}));
    EXPECT_EQ(recorder.events, (Lines{"fiNotConnected Disconnected", "OnFtpReady", "fiReady", "OnFtpQuit"}));
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.Busy());
}

TEST_F(ScriptedFtp, RefusedQuitEndsTheSessionWithCodeNone)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(R"({"match": "^QUIT$", "reply": "500 Not now."})"));
    client.Quit();
    ASSERT_TRUE(WaitForQuit());
    RunFor(100);
    EXPECT_EQ(recorder.events, (Lines{ErrorEvent(feNone), "OnFtpQuit"}));
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.Busy());
    EXPECT_EQ(client.LastErrorCode(), feNone);
}

TEST(FtpClientAlone, OperationWhileNotConnectedIsRefusedAfterSettingSuccess)
{
    TFtpClient client;
    FtpRecorder recorder;
    recorder.Attach(client);
    client.ChangeDirectory("x");
    client.Quit();
    client.KeepAlive(); // silent when there is no session
    RunFor(100);
    EXPECT_EQ(recorder.events, (Lines{"fiNotConnected", "fiNotConnected"}));
    EXPECT_TRUE(recorder.sent.empty());
    EXPECT_TRUE(client.Success());
    EXPECT_EQ(client.InitialDirectory, "");
    EXPECT_EQ(client.Version(), "Fernhop Ftp 4.0");
}

TEST(FtpClientAlone, ConnectWithoutServerReportsNoServer)
{
    TFtpClient client;
    FtpRecorder recorder;
    recorder.Attach(client);
    recorder.AnswerNeeds(client);
    client.Connect();
    RunFor(100);
    EXPECT_EQ(recorder.needs, (std::vector<TFtpInfoNeeded>{needServer}));
    EXPECT_EQ(recorder.events, (Lines{ErrorEvent(feNoServer)}));
    EXPECT_FALSE(client.Success());
}

TEST(FtpClientAlone, RefusedPortEndsTheSessionOnceAndLatchesClosingUntilReset)
{
    TFtpClient client;
    FtpRecorder recorder;
    recorder.Attach(client);
    client.SetFtpServer("127.0.0.1");
    client.SetFtpPort(PortNobodyListensOn());
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; }));
    RunFor(200);
    EXPECT_EQ(recorder.events, (Lines{ErrorEvent(feConnectionRefused), "OnFtpQuit"}));
    EXPECT_TRUE(client.Closing());
    EXPECT_EQ(client.LastErrorCode(), feConnectionRefused);

    client.Disconnect(feServerDown); // inert while Closing is latched
    RunFor(100);
    EXPECT_EQ(recorder.quits, 1);
    EXPECT_FALSE(recorder.Has(ErrorEvent(feServerDown)));

    client.Reset();
    EXPECT_FALSE(client.Closing());
    EXPECT_EQ(client.LastErrorCode(), feNone);
    client.Disconnect(feServerDown);
    EXPECT_TRUE(recorder.Has(ErrorEvent(feServerDown)));
}

TEST(FtpClientAlone, UnknownHostEndsWithAddressResolution)
{
    TFtpClient client;
    FtpRecorder recorder;
    recorder.Attach(client);
    client.SetFtpServer("no-such-host.invalid");
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; }));
    EXPECT_EQ(recorder.events, (Lines{"fiResolving no-such-host.invalid", ErrorEvent(feAddressResolution),
                                      "OnFtpQuit"}));
}

TEST(FtpClientAlone, HostNameStartingWithADigitIsLookedUp)
{
    TFtpClient client;
    FtpRecorder recorder;
    recorder.Attach(client);
    client.SetFtpServer("123-reg.invalid");
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; }));
    EXPECT_EQ(recorder.events.front(), "fiResolving 123-reg.invalid");
    EXPECT_TRUE(recorder.Has(ErrorEvent(feAddressResolution)));
}

TEST(FtpClientAlone, ConnectTimeOutEndsTheSession)
{
    // A listener with a full accept queue drops further connection attempts, so the connect
    // notice never comes and only the time-out can end the wait.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);

    TFtpClient client;
    FtpRecorder recorder;
    recorder.Attach(client);
    client.SetFtpServer("127.0.0.1");
    client.SetFtpPort(ntohs(address.sin_port));
    client.TimeOutConnect = 1;
    client.Connect();
    EXPECT_TRUE(RunUntil([&] { return recorder.quits > 0; }));
    EXPECT_EQ(recorder.events, (Lines{ErrorEvent(feConnectionTimeout), "OnFtpQuit"}));
    ::close(filler);
    ::close(listener);
}
