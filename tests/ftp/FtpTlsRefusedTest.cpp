// TLS required, refused on the way: the session ends before any credential leaves the client.
#include "ftp/ScriptedFtpFixture.h"

class TlsRequired : public ScriptedFtp {
protected:
    // The session ended after AUTH TLS with a TLS failure, and nothing the server read (the
    // handshake's bytes included, read as lines) holds a credential.
    void ExpectEndedWithoutCredentials()
    {
        ConnectAndWait();
        ASSERT_TRUE(WaitForQuit());
        const Lines commands = server->commands();
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.front(), "AUTH TLS");
        for (const std::string &line : commands)
            EXPECT_TRUE(line.find("USER") == std::string::npos && line.find("secret") == std::string::npos);
        EXPECT_TRUE(recorder.Has(ErrorEvent(feTlsFailed)));
    }
};

TEST_F(TlsRequired, AServerThatRefusesAuthTlsNeverSeesTheLogin)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(R"({"match": "^AUTH ", "reply": "500 AUTH not understood."})")));
    client.RequireTls = true;
    ConnectAndWait();
    ASSERT_TRUE(WaitForQuit());
    EXPECT_EQ(server->commands(), (Lines{"AUTH TLS", "QUIT"}));
    EXPECT_TRUE(recorder.Has(ErrorEvent(feTlsFailed)));
    EXPECT_FALSE(recorder.Has("OnLoggedIn ok"));
    EXPECT_TRUE(recorder.Has("fiSecurity The server refused AUTH TLS (500 AUTH not understood.); nothing more was "
                             "sent, no user name or password."));
}

TEST_F(TlsRequired, AServerThatAgreesButSpeaksNoTlsEndsTheSession)
{
    // 234, then plain text where the handshake should be.
    ASSERT_NO_FATAL_FAILURE(Start(Script(R"({"match": "^AUTH ", "reply": ["234 Go ahead.", "220 Not TLS at all."]})")));
    client.RequireTls = true;
    ExpectEndedWithoutCredentials();
    EXPECT_FALSE(recorder.Has("OnLoggedIn ok"));
}

TEST_F(TlsRequired, PlainTextWhereTheHandshakeShouldBeEndsTheSession)
{
    ASSERT_NO_FATAL_FAILURE(Start(Script(
        R"({"match": "^AUTH ", "chunks": ["234 Go ahead.\r\n", "220 Not TLS at all.\r\n"], "delay_ms": 100})")));
    client.RequireTls = true;
    ExpectEndedWithoutCredentials();
}
