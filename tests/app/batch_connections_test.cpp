// Runs over several connections, end to end: the program against both real servers.
#include "support/BatchSites.h"
#include "support/FernhopProcess.h"
#include "support/FileTree.h"
#include "support/FtpServers.h"

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

using fernhop::test::RealFtpServer;
namespace fs = std::filesystem;
using namespace fernhop::test;

namespace {

// 8 directories (two of them nested) holding 48 files of 0 to 2 MB: enough for four
// connections to overlap, and files that finish in another order than they started.
void MakeSite(const fs::path &top)
{
    std::mt19937 random(11);
    for (int d = 0; d < 6; ++d) {
        const fs::path dir = top / ("d" + std::to_string(d)) / (d % 3 == 0 ? "inner" : "");
        for (int f = 0; f < 8; ++f) {
            std::string body(random() % (f == 3 ? 2000000 : 3000), '\0');
            for (char &c : body)
                c = char(random() & 0xff);
            WriteFile(dir / ("f" + std::to_string(f) + (f % 2 ? ".html" : ".bin")), body);
        }
    }
}

class Connections : public ::testing::TestWithParam<RealFtpServer::Kind> {
protected:
    fs::path Dir(const std::string &name) const { return fs::path(tmp.path().toStdString()) / name; }
    FernhopRun Run(const QStringList &args) { return RunFernhop(tmp.path() + "/settings", args); }
    void Add(const std::string &nick, const RealFtpServer &srv, const fs::path &local, const std::string &remote,
             QStringList more = {})
    {
        fs::create_directories(local);
        QStringList args{"--add-site", QString::fromStdString(nick), "--server", "127.0.0.1", "--port",
                         QString::number(srv.port()), "--user", QString::fromStdString(srv.user()), "--password",
                         QString::fromStdString(srv.password()), "--local", QString::fromStdString(local.string()),
                         "--remote", QString::fromStdString(remote), "--pasv"};
        ASSERT_EQ(Run(args + more).status, 0);
    }
    fs::path OnServer(const std::string &dir) const { return fs::path(server->root()) / dir; }

    QTemporaryDir tmp;
    std::unique_ptr<RealFtpServer> server;
};

} // namespace

TEST_P(Connections, FourGiveTheSameTreesAndSummariesAsOneBothWays)
{
    server = RealFtpServer::start(GetParam());
    ASSERT_TRUE(server);
    MakeSite(Dir("site"));
    ASSERT_TRUE(server->makeDir("one"));
    ASSERT_TRUE(server->makeDir("four"));
    Add("one", *server, Dir("site"), "/one");
    Add("four", *server, Dir("site"), "/four");

    const FernhopRun one = Run({"--batch", "-v", "--connections", "1", "one"});
    const FernhopRun four = Run({"--batch", "-v", "--connections", "4", "four"});
    ASSERT_EQ(one.status, 0) << one.out << one.err;
    ASSERT_EQ(four.status, 0) << four.out << four.err;
    const std::string summary = "Summary: deleted 0, created 8, transferred 48, failed 0";
    EXPECT_TRUE(Has(one.out, summary)) << one.out;
    EXPECT_TRUE(Has(four.out, summary)) << four.out;
    EXPECT_EQ(Snapshot(OnServer("one")), Snapshot(Dir("site")));
    EXPECT_EQ(Snapshot(OnServer("four")), Snapshot(Dir("site")));
    // The extra connections log in as the first did and are named in the log, their password
    // hidden as its is; one connection has none.
    EXPECT_TRUE(Has(four.err, "[2] USER " + server->user())) << four.err;
    EXPECT_TRUE(Has(four.err, "[4] PASS *****")) << four.err;
    EXPECT_FALSE(Has(four.err, server->password())) << four.err;
    EXPECT_FALSE(Has(one.err, "[2] ")) << one.err;

    // A change: the cache holds exactly what arrived, so only the change moves, in either mode.
    WriteFile(Dir("site") / "d1/f1.html", "changed");
    fs::remove_all(Dir("site") / "d3");
    for (const char *nick : {"one", "four"}) {
        const FernhopRun again = Run({"--batch", nick});
        ASSERT_EQ(again.status, 0) << again.out << again.err;
        EXPECT_TRUE(Has(again.out, "Summary: deleted 10, created 0, transferred 1, failed 0")) << again.out;
        EXPECT_EQ(Snapshot(OnServer(nick)), Snapshot(Dir("site")));
    }

    // A listing instead of the cache, with the server's files dated as the PC's (as MFMT dates
    // them where a server has it): to the minute the times leave each file uncertain; its exact
    // time, asked first, shows it the same, and nothing is sent again.
    for (const auto &[path, content] : Snapshot(Dir("site"))) {
        struct stat st {};
        if (content != "<dir>" && ::stat((Dir("site") / path).c_str(), &st) == 0) {
            ASSERT_TRUE(server->setModificationTime("four/" + path, st.st_mtime));
        }
    }
    ASSERT_EQ(Run({"--set", "forceRerfesh=1"}).status, 0);
    const FernhopRun listed = Run({"--batch", "--connections", "4", "four"});
    ASSERT_EQ(listed.status, 0) << listed.out << listed.err;
    EXPECT_TRUE(Has(listed.out, "transferred 0, failed 0")) << listed.out;
    ASSERT_EQ(Run({"--set", "forceRerfesh=0"}).status, 0);

    // Downloads: a mirror of each, fetched with one and with four connections.
    Add("down1", *server, Dir("down1"), "/four", {"--download"});
    Add("down4", *server, Dir("down4"), "/four", {"--download"});
    const FernhopRun down1 = Run({"--batch", "--connections", "1", "down1"});
    const FernhopRun down4 = Run({"--batch", "-v", "--connections", "4", "down4"});
    ASSERT_EQ(down1.status, 0) << down1.out << down1.err;
    ASSERT_EQ(down4.status, 0) << down4.out << down4.err;
    const std::string downSummary = "Summary: deleted 0, created 6, transferred 40, failed 0";
    EXPECT_TRUE(Has(down1.out, downSummary)) << down1.out;
    EXPECT_TRUE(Has(down4.out, downSummary)) << down4.out;
    EXPECT_EQ(Snapshot(Dir("down1")), Snapshot(Dir("site")));
    EXPECT_EQ(Snapshot(Dir("down4")), Snapshot(Dir("site")));
}

INSTANTIATE_TEST_SUITE_P(BothServers, Connections,
                         ::testing::Values(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::Vsftpd));

TEST(ConnectionsLimited, AServerTakingTwoConnectionsStillCompletesTheRunWithOneLogLine)
{
    auto server = RealFtpServer::startVsftpdLimitedTo(2);
    ASSERT_TRUE(server);
    QTemporaryDir tmp;
    const fs::path site = fs::path(tmp.path().toStdString()) / "site";
    // Many small files: the run outlasts the server's answers to the connections it refuses.
    for (int i = 0; i < 400; ++i)
        WriteFile(site / ("d" + std::to_string(i % 8)) / ("p" + std::to_string(i) + ".html"), std::string(i, 'x'));
    const QString settings = tmp.path() + "/settings";
    ASSERT_EQ(RunFernhop(settings, {"--add-site", "web", "--server", "127.0.0.1", "--port",
                                    QString::number(server->port()), "--user", QString::fromStdString(server->user()),
                                    "--password", QString::fromStdString(server->password()), "--local",
                                    QString::fromStdString(site.string()), "--remote", "/", "--pasv"})
                  .status,
              0);

    const FernhopRun run = RunFernhop(settings, {"--batch", "-v", "--connections", "4", "web"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "Summary: deleted 0, created 8, transferred 400, failed 0")) << run.out;
    EXPECT_EQ(Snapshot(server->root()), Snapshot(site));
    EXPECT_EQ(Count(run.err, "did not take another connection"), 1u) << run.err;
}

// One connection is cut in the middle of a file (whichever of them has it): the file goes again,
// over another connection or over the session's own once it is back, and nothing is lost.
TEST(ConnectionsLost, AFileWhoseConnectionIsCutIsSentAgainAndTheRunCompletes)
{
    auto server = fernhop::test::ScriptedFtpServer::start(std::string(R"({"rules": [)") +
                                                          fernhop::test::kScriptedLoginRules + R"(
        {"match": "^SITE UMASK 002$", "reply": "200 UMASK set to 002."},
        {"match": "^LIST", "action": "send", "data": []},
        {"match": "^STOR /f05.html$", "reply": "150 Go ahead.", "close": true, "times": 1},
        {"match": "^STOR ", "action": "receive"},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})");
    ASSERT_TRUE(server);
    QTemporaryDir tmp;
    const fs::path site = fs::path(tmp.path().toStdString()) / "site";
    for (int i = 0; i < 12; ++i)
        WriteFile(site / ("f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".html"), "page " + std::to_string(i));
    const QString settings = tmp.path() + "/settings";
    ASSERT_EQ(RunFernhop(settings, {"--add-site", "web", "--server", "127.0.0.1", "--port", QString::number(server->port()),
                                    "--user", "joe", "--password", "pw", "--local", QString::fromStdString(site.string()),
                                    "--remote", "/", "--pasv", "--after-login", "SITE UMASK 002"})
                  .status,
              0);
    ASSERT_EQ(RunFernhop(settings, {"--set", "timeOffset=1"}).status, 0);

    const FernhopRun run = RunFernhop(settings, {"--batch", "-v", "--connections", "4", "web"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "Summary: deleted 0, created 0, transferred 12, failed 0")) << run.out;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "f" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".html";
        EXPECT_EQ(server->uploaded("/" + name), std::optional<std::string>("page " + std::to_string(i))) << run.err;
    }
    // The session's own and three more; the one lost was replaced (or the session reconnected).
    EXPECT_EQ(server->connectionCount(), 5);
    // Each connection is set up as the session's own is, after-login command included.
    const auto sent = server->commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "SITE UMASK 002"), server->connectionCount());
}
