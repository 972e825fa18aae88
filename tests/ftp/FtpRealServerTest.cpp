// The control session against pyftpdlib and vsftpd.
#include "ftp/FtpRecorder.h"
#include "support/FtpServers.h"

#include <gtest/gtest.h>

using fernhop::test::RealFtpServer;
using Lines = std::vector<std::string>;

class RealFtp : public ::testing::TestWithParam<RealFtpServer::Kind> {
protected:
    void SetUp() override
    {
        server = RealFtpServer::start(GetParam());
        ASSERT_TRUE(server);
        recorder.Attach(client);
        client.SetFtpServer("127.0.0.1");
        client.SetFtpPort(server->port());
        client.UserName = server->user();
        client.UserPassword = server->password();
    }

    template <typename Operation> bool Complete(Operation operation)
    {
        int before = recorder.readies;
        operation();
        return RunUntil([&] { return recorder.readies > before; });
    }

    std::unique_ptr<RealFtpServer> server;
    TFtpClient client;
    FtpRecorder recorder;
};

TEST_P(RealFtp, SessionWithEachSimpleCommand)
{
    ASSERT_TRUE(server->makeDir("www/old"));
    ASSERT_TRUE(server->writeFile("www/a.txt", "x"));
    client.InitialDirectory = "/www";
    ASSERT_TRUE(Complete([&] { client.Connect(); }));
    ASSERT_TRUE(recorder.Has("OnLoggedIn ok")) << server->log();
    EXPECT_EQ(client.ServerType, ftpUNIX);

    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/www"); }));
    ASSERT_TRUE(Complete([&] { client.MakeDirectory("new"); }));
    EXPECT_TRUE(server->exists("www/new"));
    ASSERT_TRUE(Complete([&] { client.RemoveDirectory("old"); }));
    EXPECT_FALSE(server->exists("www/old"));
    ASSERT_TRUE(Complete([&] { client.RemoveDirectory("missing"); }));
    ASSERT_TRUE(Complete([&] { client.DeleteFile("a.txt"); }));
    EXPECT_FALSE(server->exists("www/a.txt"));
    ASSERT_TRUE(Complete([&] { client.SendCommand("PWD"); }));
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); }));
    client.Quit();
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; }));

    const std::string user = "USER " + server->user();
    const std::string pass = "PASS " + server->password();
    EXPECT_EQ(recorder.sent, (Lines{user, pass, "SYST", "FEAT", "CWD /www", "CWD /www", "MKD new", "RMD old",
                                    "RMD missing", "DELE a.txt", "PWD", "NOOP", "QUIT"}));
    EXPECT_EQ(recorder.From("OnDirectoryChanged ok"), (Lines{
        "OnDirectoryChanged ok", "fiReady",
        "OnFtpReady", "OnDirectoryCreated ok", "fiReady",
        "OnFtpReady", "OnDirectoryDeleted ok", "fiReady",
        "fiCommandFailed", "OnFtpReady", "OnDirectoryDeleted failed", "fiReady",
        "OnFtpReady", "OnFileDeleted ok", "fiReady",
        "OnFtpReady", "OnCommandIssued ok", "fiReady",
        "OnFtpReady", "fiReady",
        "fiNotConnected Disconnected", "OnFtpReady", "fiReady", "OnFtpQuit"}));
    EXPECT_FALSE(client.Connected());
}

TEST_P(RealFtp, WrongPasswordIsAccessDeniedAndEndsTheSession)
{
    client.UserPassword = "wrong";
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; }, 30000));
    EXPECT_EQ(recorder.sent, (Lines{"USER " + server->user(), "PASS wrong", "QUIT"}));
    EXPECT_TRUE(recorder.Has(ErrorEvent(feAccessDenied)));
    EXPECT_FALSE(recorder.Has("OnLoggedIn ok"));
    EXPECT_FALSE(client.Connected());
}

INSTANTIATE_TEST_SUITE_P(Servers, RealFtp,
                         ::testing::Values(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::Vsftpd),
                         [](const auto &info) {
                             return info.param == RealFtpServer::Kind::Vsftpd ? std::string("vsftpd")
                                                                              : std::string("pyftpdlib");
                         });
