// The login chain against the scripted server: greeting, USER, PASS, ACCT, SYST, initial CWD.
#include "ftp/ScriptedFtpFixture.h"

TEST_F(ScriptedFtp, MultiLineGreetingIsHandledOnceOnItsLastLine)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script("", R"(["220-Welcome.", "230 inner line starting with digits",
        "220-still inside", "500 another inner line", "220 Ready."])")));
    ASSERT_TRUE(ConnectAndWait());

    EXPECT_EQ(server->commands(), (Lines{"USER joe", "PASS secret", "SYST", "FEAT"}));
    EXPECT_EQ(recorder.sent, (Lines{"USER joe", "PASS secret", "SYST", "FEAT"}));
    EXPECT_EQ(recorder.events, (Lines{"fiConnected 127.0.0.1", "fiLoggedIn Logged in", "OnFtpReady",
                                      "OnLoggedIn ok", "fiReady"}));
    EXPECT_EQ(client.ServerType, ftpUNIX);
    EXPECT_EQ(client.SystemType(), "UNIX TYPE: L8");
    EXPECT_TRUE(client.Connected());
    EXPECT_FALSE(client.Busy());
    EXPECT_EQ(client.ReplyState(), 100);
}

TEST_F(ScriptedFtp, ShortReplyIsFinalAndUser230SkipsPass)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(R"({"match": "^USER ", "reply": "230"})")));
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(server->commands(), (Lines{"USER joe", "SYST", "FEAT"}));
    EXPECT_TRUE(recorder.Has("OnLoggedIn ok"));
}

TEST_F(ScriptedFtp, ReplyArrivingInPiecesIsJoined)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(
        R"({"match": "^PASS ", "chunks": ["23", "0 Logged", " in.\r\n215 UNIX"], "delay_ms": 30},
           {"match": "^SYST$", "raw": " Type: L8\r\n"})")));
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_TRUE(recorder.Has("OnLoggedIn ok"));
    EXPECT_EQ(client.SystemType(), "UNIX TYPE: L8");
}

TEST_F(ScriptedFtp, Greeting120IsFollowedByThe220BeforeAnythingIsSent)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(
        "", R"({"chunks": ["120 Ready in 1 minute.\r\n", "220 Ready.\r\n"], "delay_ms": 200})")));
    // What came in and went out, in order.
    Lines wire;
    TFtpInfoEvent record = client.OnFtpInfo;
    client.OnFtpInfo = [&](TFtpClient *sender, FtpInfo info, const std::string &text) {
        record(sender, info, text);
        if (info == fiReplyText && !text.empty())
            wire.push_back("in " + text);
        if (info == fiCommandSent)
            wire.push_back("out " + text);
    };
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_TRUE(recorder.Has("OnLoggedIn ok"));
    ASSERT_GE(wire.size(), 3u);
    EXPECT_EQ(Lines(wire.begin(), wire.begin() + 3),
              (Lines{"in 120 Ready in 1 minute.\r\n", "in 220 Ready.\r\n", "out USER joe\r\n"}));
    EXPECT_EQ(server->commands(), (Lines{"USER joe", "PASS secret", "SYST", "FEAT"}));
}

TEST_F(ScriptedFtp, GreetingOfAnotherClassEndsTheSessionAsServerDown)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script("", R"(["421 Too many users.", "220 Ready."])")));
    client.Connect();
    ASSERT_TRUE(WaitForQuit());
    RunFor(100);
    EXPECT_EQ(recorder.events, (Lines{"fiConnected 127.0.0.1", ErrorEvent(feServerDown), "OnFtpQuit"}));
    EXPECT_TRUE(recorder.sent.empty());
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(client.LastErrorCode(), feServerDown);
}

TEST_F(ScriptedFtp, Reply332ToUserGivesPassAndToPassGivesAcct)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(R"(
        {"match": "^USER ", "reply": "332 Need account for login."},
        {"match": "^PASS ", "reply": "332 Need account for login."},
        {"match": "^ACCT ", "reply": "230 Logged in."})")));
    recorder.answers[needAccount] = "acct9";
    recorder.AnswerNeeds(client);
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(server->commands(), (Lines{"USER joe", "PASS secret", "ACCT acct9", "SYST", "FEAT"}));
    EXPECT_EQ(recorder.needs, (std::vector<TFtpInfoNeeded>{needAccount}));
    EXPECT_EQ(client.UserAccount, "acct9");
    EXPECT_TRUE(recorder.Has("OnLoggedIn ok"));
}

TEST_F(ScriptedFtp, MissingUserAndPasswordAreAskedFor)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script("")));
    client.UserName.clear();
    client.UserPassword.clear();
    recorder.answers[needUserName] = "bob";
    recorder.answers[needPassword] = "pw2";
    recorder.AnswerNeeds(client);
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(server->commands(), (Lines{"USER bob", "PASS pw2", "SYST", "FEAT"}));
    EXPECT_EQ(recorder.needs, (std::vector<TFtpInfoNeeded>{needUserName, needPassword}));
    EXPECT_EQ(client.UserName, "bob");
}

TEST_F(ScriptedFtp, KeepAliveDuringTheLoginSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script("")));
    client.UserName.clear();
    client.OnFtpNeedInfo = [](TFtpClient *c, TFtpInfoNeeded, std::string &value) {
        c->KeepAlive(); // connected and not busy, but in the middle of the login
        value = "joe";
    };
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(server->commands(), (Lines{"USER joe", "PASS secret", "SYST", "FEAT"}));
    EXPECT_TRUE(recorder.Has("OnLoggedIn ok"));
}

TEST_F(ScriptedFtp, EmptyUserWithoutHandlerSendsABareUser)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(R"({"match": "^USER", "reply": "530 Who?"})")));
    client.UserName.clear();
    client.Connect();
    ASSERT_TRUE(WaitForQuit());
    EXPECT_EQ(server->commands(), (Lines{"USER ", "QUIT"}));
}

TEST_F(ScriptedFtp, RefusedPasswordReportsAccessDeniedThenQuits)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(R"({"match": "^PASS ", "reply": "530 Login incorrect."})")));
    client.Connect();
    ASSERT_TRUE(WaitForQuit());
    RunFor(100);
    EXPECT_EQ(server->commands(), (Lines{"USER joe", "PASS secret", "QUIT"}));
    EXPECT_EQ(recorder.From(ErrorEvent(feAccessDenied)),
              (Lines{ErrorEvent(feAccessDenied), "fiNotConnected Disconnected", "OnFtpReady", "fiReady",
                     "OnFtpQuit"}));
    EXPECT_EQ(recorder.errorTexts, (Lines{"Error"}));
    EXPECT_FALSE(recorder.Has("OnLoggedIn ok"));
    EXPECT_FALSE(client.Connected());
    EXPECT_FALSE(client.Success());
}

TEST_F(ScriptedFtp, LineBreakInTheUserNameIsNeverSent)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script("")));
    client.UserName = "joe\r\nDELE index.html";
    client.Connect();
    ASSERT_TRUE(WaitForQuit());
    EXPECT_EQ(server->commands(), (Lines{"QUIT"}));
    EXPECT_TRUE(recorder.Has(ErrorEvent(feAccessDenied)));
}

TEST_F(ScriptedFtp, RefusedSystKeepsTheDefaultType)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(R"({"match": "^SYST$", "reply": "502 SYST not implemented."})")));
    client.ServerType = ftpVM;
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_TRUE(recorder.Has("OnLoggedIn ok"));
    EXPECT_EQ(client.ServerType, ftpDefault);
    EXPECT_EQ(client.SystemType(), "");
}

TEST_F(ScriptedFtp, InitialDirectoryIsEnteredAfterSyst)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(R"({"match": "^CWD ", "reply": "250 OK."})")));
    client.InitialDirectory = "/www";
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(server->commands(), (Lines{"USER joe", "PASS secret", "SYST", "FEAT", "CWD /www"}));
    EXPECT_EQ(recorder.events, (Lines{"fiConnected 127.0.0.1", "fiLoggedIn Logged in", "OnFtpReady",
                                      "OnLoggedIn ok", "fiReady"}));
}

TEST_F(ScriptedFtp, RefusedInitialDirectoryStillCompletesTheLogin)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(R"({"match": "^CWD ", "reply": "550 No such directory."})")));
    client.InitialDirectory = "/missing";
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(recorder.events, (Lines{"fiConnected 127.0.0.1", "fiCommandFailed", "fiLoggedIn Logged in",
                                      "OnFtpReady", "OnLoggedIn ok", "fiReady"}));
}

TEST_F(ScriptedFtp, TraceModeReportsEveryStateChangeByNumber)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script("")));
    client.TraceMode = true;
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(recorder.traces, (Lines{"-> Reply state 100 -> 0", "-> Reply state 0 -> 1",
                                      "-> Reply state 1 -> 2", "-> Reply state 2 -> 5",
                                      "-> Reply state 5 -> 4", "-> Features: none",
                                      "-> Reply state 4 -> 100"}));
}

TEST_F(ScriptedFtp, LookupIsReusedByTheNextConnect)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script("")));
    client.SetFtpServer("localhost");
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_TRUE(recorder.Has("fiResolving localhost"));
    EXPECT_TRUE(recorder.Has("fiConnecting 127.0.0.1"));
    EXPECT_EQ(client.Address, "127.0.0.1");

    client.Quit();
    ASSERT_TRUE(WaitForQuit());
    client.Reset();
    recorder.Clear();
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_EQ(recorder.events.front(), "fiConnected 127.0.0.1"); // no second lookup
    EXPECT_TRUE(recorder.Has("OnLoggedIn ok"));
    EXPECT_EQ(server->connectionCount(), 2);
}

TEST_F(ScriptedFtp, LongReplyLineBelowTheLimitIsAccepted)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script("", "\"220 " + std::string(60000, 'x') + "\"")));
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_TRUE(recorder.Has("OnLoggedIn ok"));
}

TEST_F(ScriptedFtp, EndlessReplyLineEndsTheSessionAsProtocolError)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script("", R"({"raw": "220 Ready", "action": "grow"})")));
    client.Connect();
    ASSERT_TRUE(WaitForQuit());
    EXPECT_EQ(recorder.events, (Lines{"fiConnected 127.0.0.1", ErrorEvent(feProtocolError), "OnFtpQuit"}));
    EXPECT_FALSE(client.Connected());
}
