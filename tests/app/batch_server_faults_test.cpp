// What a faulty or hostile server does to a batch run: a session that ends or is lost in the
// middle of a run, a server that stops answering, texts that carry terminal escapes.
#include "support/BatchSites.h"
#include "support/FileTree.h"
#include "support/FtpServers.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using fernhop::test::RealFtpServer;
namespace fs = std::filesystem;
using namespace fernhop::test;

namespace {
// vsftpd out of passive ports: the fourth PASV gets "500 OOPS" and the connection is closed;
// later ones (a new session) work again. (The empty top takes two listings: LIST -a, then a
// plain LIST to see that "-a" was no name.)
std::unique_ptr<fernhop::test::ScriptedFtpServer> OopsServer()
{
    return fernhop::test::ScriptedFtpServer::start(R"({"rules": [
        {"match": "^USER joe$", "reply": "331 Password please."},
        {"match": "^PASS pw$", "reply": "230 Logged in."},
        {"match": "^SYST$", "reply": "215 UNIX Type: L8"},
        {"match": "^CWD ", "reply": "250 OK."},
        {"match": "^PWD$", "reply": "257 \"/\" is current."},
        {"match": "^TYPE ", "reply": "200 OK."},
        {"match": "^PASV$", "action": "pasv", "times": 3},
        {"match": "^PASV$", "reply": "500 OOPS: vsf_sysutil_bind", "close": true, "times": 1},
        {"match": "^PASV$", "action": "pasv"},
        {"match": "^LIST", "action": "send", "data": []},
        {"match": "^STOR ", "action": "receive"},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})");
}
} // namespace

TEST(BatchSessionEnd, AnErrorThatEndsTheSessionInTheMiddleOfAnUploadRunEndsTheBatch)
{
    auto server = OopsServer();
    ASSERT_TRUE(server);
    BatchSites s;
    for (const char *name : {"a.html", "b.html", "c.html"})
        WriteFile(s.Dir("web") / name, name);
    s.Add("web", server->port(), "joe", "pw", s.Dir("web"), "/", {"--pasv"});
    ASSERT_EQ(s.Run({"--set", "timeOffset=1", "--set", "reconnectTries=0"}).status, 0);

    FernhopRun run = s.Run({"--batch", "web"}, 60000);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(server->uploaded("/a.html"), std::optional<std::string>("a.html"));
    EXPECT_TRUE(Has(run.err, "failed: upload /b.html: ")) << run.err;
    EXPECT_TRUE(Has(run.err, "Site web: failed")) << run.err;
}

TEST(BatchSessionEnd, ASessionLostInTheMiddleOfAnUploadRunIsReconnectedAndTheRunCompleted)
{
    auto server = OopsServer();
    ASSERT_TRUE(server);
    BatchSites s;
    for (const char *name : {"a.html", "b.html", "c.html"})
        WriteFile(s.Dir("web") / name, name);
    s.Add("web", server->port(), "joe", "pw", s.Dir("web"), "/", {"--pasv"});
    ASSERT_EQ(s.Run({"--set", "timeOffset=1"}).status, 0);

    FernhopRun run = s.Run({"--batch", "-v", "web"}, 60000);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(server->connectionCount(), 2);
    for (const char *name : {"a.html", "b.html", "c.html"})
        EXPECT_EQ(server->uploaded(std::string("/") + name), std::optional<std::string>(name)) << run.err;
    EXPECT_TRUE(Has(run.err, "FERNHOP: Connection lost; reconnecting in 2 s (try 1 of 3)")) << run.err;
    EXPECT_TRUE(Has(run.out, "Summary: deleted 0, created 0, transferred 3, failed 0")) << run.out;
    // No second listing: the trees and their marks were kept.
    const auto sent = server->commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "LIST"), 1);
}

TEST(BatchMultiSite, ASilentServerIsLeftAfterTheReplyTimeOutAndTheRunMovesOn)
{
    auto server = fernhop::test::ScriptedFtpServer::start(R"({"rules": [
        {"match": "^USER joe$", "reply": "331 Password please."},
        {"match": "^PASS pw$", "reply": "230 Logged in."},
        {"match": "^SYST$", "reply": "215 UNIX Type: L8"},
        {"match": "^CWD /quiet$"},
        {"match": "^CWD ", "reply": "250 OK."},
        {"match": "^PWD$", "reply": "257 \"/\" is current."},
        {"match": "^TYPE ", "reply": "200 OK."},
        {"match": "^PASV$", "action": "pasv"},
        {"match": "^LIST", "action": "send", "data": []},
        {"match": "^STOR ", "action": "receive"},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})");
    ASSERT_TRUE(server);
    BatchSites s;
    WriteFile(s.Dir("quiet") / "q.html", "q");
    WriteFile(s.Dir("fine") / "f.html", "f");
    s.Add("quiet", server->port(), "joe", "pw", s.Dir("quiet"), "/quiet", {"--pasv"});
    s.Add("fine", server->port(), "joe", "pw", s.Dir("fine"), "/", {"--pasv"});
    ASSERT_EQ(s.Run({"--set", "timeOffset=1", "--set", "replyTimeOut=1"}).status, 0);

    FernhopRun run = s.Run({"--batch", "--multi-site"}, 60000);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_TRUE(Has(run.err, "Site quiet: failed: the remote directory could not be listed (Server did not answer CWD /quiet"))
        << run.err;
    EXPECT_TRUE(Has(run.out, "Site fine: done")) << run.out;
    EXPECT_EQ(server->uploaded("/f.html"), std::optional<std::string>("f"));
}

// Every step of the run has been answered when QUIT goes: the run ends then, without waiting for a
// goodbye this server never sends (before, it sat out the reply time-out and reported it).
TEST(BatchSessionEnd, TheRunEndsOnceQuitIsSentWithoutWaitingForItsReply)
{
    auto server = fernhop::test::ScriptedFtpServer::start(std::string(R"({"rules": [)") + kScriptedLoginRules + R"(
        {"match": "^LIST", "action": "send", "data": []},
        {"match": "^STOR ", "action": "receive"},
        {"match": "^QUIT$"}]})");
    ASSERT_TRUE(server);
    BatchSites s;
    WriteFile(s.Dir("web") / "a.html", "page a");
    s.Add("web", server->port(), "joe", "pw", s.Dir("web"), "/", {"--pasv"});
    ASSERT_EQ(s.Run({"--set", "timeOffset=1", "--set", "replyTimeOut=1"}).status, 0);

    FernhopRun run = s.Run({"--batch", "-v", "web"}, 60000);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(server->uploaded("/a.html"), std::optional<std::string>("page a"));
    EXPECT_TRUE(Has(run.out, "Summary: deleted 0, created 0, transferred 1, failed 0")) << run.out;
    EXPECT_TRUE(Has(run.err, "QUIT")) << run.err;
    EXPECT_FALSE(Has(run.out + run.err, "did not answer QUIT")) << run.out << run.err;
}

// Text from the server reaches the terminal and the log files with its control characters shown,
// not acted on: a name and a greeting holding escape sequences (a window title, a clipboard write)
// are printed as "\x1b...", in the plan, the conversation and the download log alike.
TEST(BatchEscapes, ServerTextShowsItsControlCharacters)
{
    auto server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    ASSERT_TRUE(server);
    const std::string name = "red\x1b[31m\x1b]52;c;cm0gLXJmIH4=\x07.html";
    ASSERT_TRUE(server->writeFile("pub/" + name, "body"));
    QTemporaryDir tmp;
    const fs::path local = fs::path(tmp.path().toStdString()) / "site";
    const fs::path logs = fs::path(tmp.path().toStdString()) / "logs";
    fs::create_directories(local);
    fs::create_directories(logs);
    const QString settings = tmp.path() + "/settings";
    ASSERT_EQ(RunFernhop(settings, {"--add-site", "mirror", "--server", "127.0.0.1", "--port",
                                    QString::number(server->port()), "--user", QString::fromStdString(server->user()),
                                    "--password", QString::fromStdString(server->password()), "--local",
                                    QString::fromStdString(local.string()), "--remote", "/pub", "--download", "--pasv"})
                  .status,
              0);
    ASSERT_EQ(RunFernhop(settings, {"--set", "saveUpLog=1", "--set", "saveLogDir=" + QString::fromStdString(logs.string())})
                  .status,
              0);
    const std::string shown = "red\\x1b[31m\\x1b]52;c;cm0gLXJmIH4=\\x07.html";

    FernhopRun dry = RunFernhop(settings, {"--batch", "--dry-run", "mirror"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    FernhopRun run = RunFernhop(settings, {"--batch", "-v", "mirror"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(local / name)); // the file itself keeps its name
    for (const FernhopRun *r : {&dry, &run}) {
        const std::string all = r->out + r->err;
        EXPECT_EQ(all.find('\x1b'), std::string::npos) << all;
        EXPECT_EQ(all.find('\x07'), std::string::npos) << all;
    }
    EXPECT_NE(dry.out.find(shown), std::string::npos) << dry.out;
    EXPECT_NE(run.err.find(shown), std::string::npos) << run.err;
    std::ifstream logFile(logs / "fernhopDownload.log", std::ios::binary);
    std::stringstream logged;
    logged << logFile.rdbuf();
    EXPECT_NE(logged.str().find(shown), std::string::npos) << logged.str();
    EXPECT_EQ(logged.str().find('\x1b'), std::string::npos);
}
