// An SFTP site's login against OpenSSH's sshd: the host key checked before any credential, then
// the agent, the key file and the password, each said in the log when it fails.
#include "ftp/SftpFixture.h"

TEST_F(Sftp, PasswordLoginWithAHashedKnownHostAsksNothing)
{
    std::string output;
    ASSERT_EQ(fernhop::test::runTool({"ssh-keygen", "-H", "-f", knownHosts}, "", &output), 0) << output;
    ASSERT_EQ(std::ifstream(knownHosts).peek(), '|'); // hashed: "|1|salt|hash ssh-ed25519 ..."
    ASSERT_TRUE(LogIn()) << server->log();

    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(recorder.needs.empty());
    EXPECT_TRUE(SaidSomething(fiSecurity, "Authenticated with the password"));
    EXPECT_EQ(recorder.From("fiLoggedIn Logged in"), (Lines{"fiLoggedIn Logged in", "OnFtpReady", "OnLoggedIn ok", "fiReady"}));
    EXPECT_TRUE(client.MlsdInUse());
    EXPECT_EQ(client.FtpPort(), server->port());
    for (const std::string &event : recorder.events)
        EXPECT_EQ(event.find(server->password()), std::string::npos) << event;

    client.Quit();
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; }));
    EXPECT_EQ(recorder.From("fiNotConnected Disconnected"),
              (Lines{"fiNotConnected Disconnected", "OnFtpReady", "fiReady", "OnFtpQuit"}));
    EXPECT_FALSE(client.Connected());
}

TEST_F(Sftp, EncryptedKeyFileAsksItsPassphraseOnly)
{
    const std::string key = MakeKey("site_key", "correct horse");
    ASSERT_TRUE(server->authorizeKey(key + ".pub"));
    client.SshKeyFile = key;
    client.UserPassword = "not the password";
    recorder.answers[needPassphrase] = "correct horse";
    ASSERT_TRUE(LogIn()) << server->log();

    EXPECT_EQ(recorder.needs, (std::vector<TFtpInfoNeeded>{needPassphrase}));
    EXPECT_TRUE(SaidSomething(fiSecurity, "Authenticated with the key file " + key));
    EXPECT_NE(server->log().find("Accepted publickey for " + server->user()), std::string::npos) << server->log();

    // A key without passphrase asks nothing; a cancelled passphrase skips the key.
    client.Reset();
    recorder.Clear();
    recorder.needs.clear();
    client.UserPassword = server->password();
    recorder.answers.erase(needPassphrase);
    ASSERT_TRUE(LogIn());
    EXPECT_EQ(recorder.needs, (std::vector<TFtpInfoNeeded>{needPassphrase}));
    EXPECT_TRUE(SaidSomething(fiSecurity, "no passphrase given, skipped"));
    EXPECT_TRUE(SaidSomething(fiSecurity, "Authenticated with the password"));
}

TEST_F(Sftp, AgentKeysComeFirst)
{
    const std::string key = MakeKey("agent_key", "");
    ASSERT_TRUE(server->authorizeKey(key + ".pub"));
    const std::string socket = home + "/agent.sock";
    fernhop::test::ServerProcess agent;
    std::string error;
    ASSERT_TRUE(agent.start({"ssh-agent", "-D", "-a", socket}, home + "/agent.log", &error)) << error;
    ASSERT_TRUE(RunUntil([&] { return access(socket.c_str(), F_OK) == 0; }));
    std::string output;
    ASSERT_EQ(fernhop::test::runTool({"env", "SSH_AUTH_SOCK=" + socket, "ssh-add", key}, "", &output), 0) << output;
    setenv("SSH_AUTH_SOCK", socket.c_str(), 1);
    client.UserPassword = "not the password";

    const bool loggedIn = LogIn();
    unsetenv("SSH_AUTH_SOCK");
    ASSERT_TRUE(loggedIn) << server->log();
    EXPECT_TRUE(SaidSomething(fiSecurity, "Authenticated with the agent's key agent_key"));
    EXPECT_EQ(server->log().find("Failed password"), std::string::npos);
}

TEST_F(Sftp, WrongKeyAndWrongPasswordEndAsARefusedLoginSayingWhy)
{
    client.SshKeyFile = MakeKey("unknown_key", ""); // not authorised
    client.UserPassword = "wrong password";
    ASSERT_TRUE(ConnectUntilQuit());

    EXPECT_TRUE(SaidSomething(fiSecurity, "The server did not accept the key in " + client.SshKeyFile));
    EXPECT_TRUE(SaidSomething(fiSecurity, "The server did not accept the password"));
    EXPECT_TRUE(SaidSomething(fiSecurity, "Login refused: tried key file, password"));
    // As a refused FTP login ends, so that the runs' handling applies.
    EXPECT_EQ(recorder.From(ErrorEvent(feAccessDenied)),
              (Lines{ErrorEvent(feAccessDenied), "fiNotConnected Disconnected", "OnFtpReady", "fiReady", "OnFtpQuit"}));
    EXPECT_FALSE(client.Success());
    EXPECT_FALSE(recorder.Has("OnLoggedIn ok"));
    for (const std::string &event : recorder.events)
        EXPECT_EQ(event.find("wrong password"), std::string::npos) << event;
}

TEST_F(Sftp, UnknownHostKeyIsAskedWithItsFingerprintBeforeAnyCredential)
{
    WriteKnownHosts("");
    client.UserPassword = "wrong password"; // a credential sent would show as a failure in sshd's log
    ASSERT_TRUE(ConnectUntilQuit());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].type, "ssh-ed25519");
    EXPECT_EQ(asked[0].fingerprint, server->fingerprint());
    EXPECT_TRUE(recorder.Has(ErrorEvent(feSshFailed)));
    EXPECT_TRUE(SaidSomething(fiSecurity, "is not known and was not accepted"));
    RunFor(200);
    EXPECT_EQ(server->log().find("Failed"), std::string::npos) << server->log();

    // Trusted once: the login goes on.
    client.Reset();
    recorder.Clear();
    trustUnknownKey = true;
    client.UserPassword = server->password();
    ASSERT_TRUE(LogIn()) << server->log();
    EXPECT_EQ(asked.size(), 2u);
}

TEST_F(Sftp, ChangedHostKeyIsRefusedWithoutAsking)
{
    const std::string other = MakeKey("other_host_key", "");
    const std::string otherKey = fernhop::test::readWholeFile(other + ".pub").value_or("");
    WriteKnownHosts("[127.0.0.1]:" + std::to_string(server->port()) + " " + otherKey);
    trustUnknownKey = true;
    client.UserPassword = "wrong password";
    ASSERT_TRUE(ConnectUntilQuit());

    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(SaidSomething(fiSecurity, "The server's host key has CHANGED"));
    EXPECT_TRUE(SaidSomething(fiSecurity, "refusing to connect"));
    EXPECT_EQ(recorder.From(ErrorEvent(feSshFailed)), (Lines{ErrorEvent(feSshFailed), "OnFtpQuit"}));
    EXPECT_EQ(client.LastErrorCode(), feSshFailed);
    RunFor(200);
    EXPECT_EQ(server->log().find("Failed"), std::string::npos) << server->log();
}

TEST_F(Sftp, KeyboardInteractiveIsAnsweredWithThePassword)
{
    server = RealSshServer::startKeyboardInteractive(); // PAM asks; no "password" method
    ASSERT_TRUE(server);
    WriteKnownHosts(server->knownHostsLine() + "\n");
    client.SetFtpPort(server->port());
    ASSERT_TRUE(LogIn()) << server->log();
    EXPECT_TRUE(SaidSomething(fiSecurity, "The server offers: publickey,keyboard-interactive"));
    EXPECT_TRUE(SaidSomething(fiSecurity, "Authenticated with keyboard-interactive"));
}
