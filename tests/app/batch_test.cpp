// The batch mode end to end: the fernhop program run against both real servers.
#include "support/FernhopProcess.h"
#include "support/FileTree.h"
#include "support/FtpServers.h"

#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

using fernhop::test::RealFtpServer;
namespace fs = std::filesystem;
using namespace fernhop::test;

namespace {

class BatchFixture : public ::testing::TestWithParam<RealFtpServer::Kind> {
protected:
    QTemporaryDir tmp;
    std::unique_ptr<RealFtpServer> server;

    void SetUp() override
    {
        server = RealFtpServer::start(GetParam());
        ASSERT_TRUE(server);
    }

    fs::path Local() const { return fs::path(tmp.path().toStdString()) / "site"; }

    FernhopRun Fernhop(const QStringList &args) { return RunFernhop(tmp.path() + "/settings", args); }

    void AddSite(const std::string &nick, const RealFtpServer &srv, const fs::path &local,
                 const std::string &remote, bool download, const std::string &password = {})
    {
        QStringList args{"--add-site", QString::fromStdString(nick), "--server", "127.0.0.1", "--port",
                         QString::number(srv.port()), "--user", QString::fromStdString(srv.user()), "--password",
                         QString::fromStdString(password.empty() ? srv.password() : password), "--local",
                         QString::fromStdString(local.string()), "--remote", QString::fromStdString(remote)};
        if (download)
            args << "--download";
        if (srv.kind() == RealFtpServer::Kind::Pyftpdlib)
            args << "--pasv";
        ASSERT_EQ(Fernhop(args).status, 0);
    }

    void MakeSite()
    {
        WriteFile(Local() / "index.html", "<h1>home</h1>");
        WriteFile(Local() / "css/site.css", "body { color: black }");
        WriteFile(Local() / "img/logo.bin", std::string(5000, '\x7f'));
        WriteFile(Local() / "docs/a/deep.txt", "deep");
        fs::create_directories(Local() / "empty");
    }
};

} // namespace

TEST_P(BatchFixture, UploadSiteMirrorsAndResyncsOnlyTheChange)
{
    MakeSite();
    server->makeDir("www");
    AddSite("web", *server, Local(), "www", false);

    FernhopRun first = Fernhop({"--batch", "web"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("Summary: deleted 0, created 5, transferred 4, failed 0"), std::string::npos)
        << first.out;
    EXPECT_EQ(Snapshot(fs::path(server->root()) / "www"), Snapshot(Local()));

    // Change one file, add one, delete one and a directory: only those move.
    WriteFile(Local() / "index.html", "<h1>home, changed and longer</h1>");
    WriteFile(Local() / "css/new.css", "p {}");
    fs::remove(Local() / "img/logo.bin");
    fs::remove_all(Local() / "docs");
    FernhopRun second = Fernhop({"--batch", "web"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.out.find("Summary: deleted 4, created 0, transferred 2, failed 0"), std::string::npos)
        << second.out;
    EXPECT_EQ(Snapshot(fs::path(server->root()) / "www"), Snapshot(Local()));
    // The clock offset was measured once and read back: no second check file. pyftpdlib's
    // machine listing (MLSD) gives exact times: no check file at all.
    EXPECT_EQ(Count(first.err, "fernhop.chk"), GetParam() == RealFtpServer::Kind::Pyftpdlib ? 0u : 1u);
    EXPECT_EQ(Count(second.err, "fernhop.chk"), 0u);
    // From the listing cache: no LIST at all on the resync.
    EXPECT_EQ(Count(second.err, "\nLIST"), 0u);
}

TEST_P(BatchFixture, DryRunPrintsThePlanAndChangesNothing)
{
    MakeSite();
    AddSite("web", *server, Local(), "/", false);
    const auto before = server->listTree();
    FernhopRun dry = Fernhop({"--batch", "--dry-run", "web"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(server->listTree(), before);
    EXPECT_NE(dry.out.find("local   upload (new)       /index.html"), std::string::npos) << dry.out;
    EXPECT_NE(dry.out.find("local   create directory   /css"), std::string::npos) << dry.out;
    EXPECT_EQ(Count(dry.err, "STOR"), 0u);
    EXPECT_EQ(Count(dry.err, "MKD"), 0u);
}

TEST_P(BatchFixture, DownloadSiteFillsAnEmptyFolderAndFollowsServerChanges)
{
    server->writeFile("pub/index.html", "served");
    server->writeFile("pub/sub/data.bin", std::string(70000, 'd'));
    server->makeDir("pub/emptydir");
    fs::create_directories(Local());
    AddSite("mirror", *server, Local(), "/pub", true);
    FernhopRun first = Fernhop({"--batch", "mirror"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(Snapshot(Local()), Snapshot(fs::path(server->root()) / "pub"));

    server->writeFile("pub/index.html", "served again, longer");
    server->writeFile("pub/added.txt", "new");
    fs::remove(fs::path(server->root()) / "pub/sub/data.bin");
    FernhopRun second = Fernhop({"--batch", "mirror"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(Snapshot(Local()), Snapshot(fs::path(server->root()) / "pub"));
    EXPECT_NE(second.out.find("transferred 2"), std::string::npos) << second.out;
}

TEST_P(BatchFixture, ConfirmedDeletionsNeedYes)
{
    MakeSite();
    AddSite("web", *server, Local(), "/", false);
    ASSERT_EQ(Fernhop({"--batch", "web"}).status, 0);
    ASSERT_EQ(Fernhop({"--set", "confirmDelete=1"}).status, 0);
    fs::remove(Local() / "index.html");

    FernhopRun without = Fernhop({"--batch", "web"});
    EXPECT_EQ(without.status, 0) << without.err;
    EXPECT_NE(without.out.find("kept (not deleted without --yes): /index.html"), std::string::npos) << without.out;
    EXPECT_TRUE(server->exists("index.html"));

    FernhopRun with = Fernhop({"--batch", "--yes", "web"});
    EXPECT_EQ(with.status, 0) << with.err;
    EXPECT_FALSE(server->exists("index.html"));
}

TEST_P(BatchFixture, WrongPasswordExitsWithTwo)
{
    MakeSite();
    AddSite("web", *server, Local(), "/", false, "not-the-password");
    FernhopRun run = Fernhop({"--batch", "web"});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(Count(run.err, "STOR"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Servers, BatchFixture,
                         ::testing::Values(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::Vsftpd));

TEST(BatchRefused, RefusedUploadExitsWithOne)
{
    auto server = RealFtpServer::start(RealFtpServer::Kind::Vsftpd);
    ASSERT_TRUE(server);
    QTemporaryDir tmp;
    const fs::path local = fs::path(tmp.path().toStdString()) / "site";
    WriteFile(local / "a.html", "a");
    // A directory the server's account cannot write to.
    const fs::path locked = fs::path(server->root()) / "locked";
    fs::create_directories(locked);
    ::chmod(locked.c_str(), 0555);

    auto run = [&](const QStringList &args) { return RunFernhop(tmp.path() + "/settings", args); };
    ASSERT_EQ(run({"--add-site", "locked", "--server", "127.0.0.1", "--port", QString::number(server->port()),
                   "--user", QString::fromStdString(server->user()), "--password",
                   QString::fromStdString(server->password()), "--local", QString::fromStdString(local.string()),
                   "--remote", "/locked"})
                  .status,
              0);
    FernhopRun refused = run({"--batch", "locked"});
    EXPECT_EQ(refused.status, 1) << refused.out;
    EXPECT_NE(refused.out.find("failed: Could not upload: a.html"), std::string::npos) << refused.out;
}

TEST(BatchMultiSite, TwoSitesOnTwoServers)
{
    auto py = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    auto vs = RealFtpServer::start(RealFtpServer::Kind::Vsftpd);
    ASSERT_TRUE(py && vs);
    QTemporaryDir tmp;
    const fs::path one = fs::path(tmp.path().toStdString()) / "one";
    const fs::path two = fs::path(tmp.path().toStdString()) / "two";
    WriteFile(one / "first.html", "1");
    WriteFile(two / "second/page.html", "2");
    auto run = [&](const QStringList &args) { return RunFernhop(tmp.path() + "/settings", args).status; };
    auto add = [&](const char *nick, RealFtpServer &srv, const fs::path &local) {
        return run({"--add-site", nick, "--server", "127.0.0.1", "--port", QString::number(srv.port()), "--user",
                    QString::fromStdString(srv.user()), "--password", QString::fromStdString(srv.password()),
                    "--local", QString::fromStdString(local.string()), "--remote", "/"});
    };
    ASSERT_EQ(add("one", *py, one), 0);
    ASSERT_EQ(add("two", *vs, two), 0);
    EXPECT_EQ(run({"--batch", "--multi-site"}), 0);
    EXPECT_EQ(py->readFile("first.html"), std::optional<std::string>("1"));
    EXPECT_EQ(vs->readFile("second/page.html"), std::optional<std::string>("2"));
}

namespace {

// A settings directory of its own and the sites a test adds to it.
class BatchSites {
public:
    fs::path Dir(const std::string &name) const { return fs::path(tmp.path().toStdString()) / name; }
    FernhopRun Run(const QStringList &args, int timeoutMs = 120000)
    {
        return RunFernhop(tmp.path() + "/settings", args, timeoutMs);
    }
    void Add(const std::string &nick, quint16 port, const std::string &user, const std::string &password,
             const fs::path &local, const std::string &remote, const QStringList &more = {})
    {
        QStringList args{"--add-site", QString::fromStdString(nick), "--server", "127.0.0.1", "--port",
                         QString::number(port), "--user", QString::fromStdString(user), "--password",
                         QString::fromStdString(password), "--local", QString::fromStdString(local.string()),
                         "--remote", QString::fromStdString(remote)};
        ASSERT_EQ(Run(args + more).status, 0);
    }
    void Add(const std::string &nick, const RealFtpServer &srv, const fs::path &local, const std::string &remote,
             const QStringList &more = {}, const std::string &password = {})
    {
        Add(nick, srv.port(), srv.user(), password.empty() ? srv.password() : password, local, remote,
            QStringList(more) << "--pasv");
    }

    QTemporaryDir tmp;
};

bool Has(const std::string &text, const std::string &what) { return text.find(what) != std::string::npos; }

} // namespace

TEST(BatchMultiSite, FailedSitesAreNamedTheRunGoesOnAndTheWorstOutcomeIsTheExitStatus)
{
    auto server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    ASSERT_TRUE(server);
    BatchSites s;
    WriteFile(s.Dir("good") / "page.html", "good");
    fs::create_directories(s.Dir("gone"));
    s.Add("gone", *server, s.Dir("gone"), "/gone", {"--download"}); // no such directory to list
    s.Add("good", *server, s.Dir("good"), "/");

    FernhopRun listingFailed = s.Run({"--batch", "--multi-site"});
    EXPECT_EQ(listingFailed.status, 1) << listingFailed.out << listingFailed.err;
    EXPECT_EQ(server->readFile("page.html"), std::optional<std::string>("good"));
    EXPECT_TRUE(Has(listingFailed.out, "Site gone: failed: the remote directory could not be listed"))
        << listingFailed.out;
    EXPECT_TRUE(Has(listingFailed.out, "Site good: done")) << listingFailed.out;

    // A site that cannot log in outweighs a failed one: exit 2, and the others still run.
    WriteFile(s.Dir("good") / "page.html", "good, and changed since");
    s.Add("locked-out", *server, s.Dir("good"), "/", {}, "wrong");
    FernhopRun loginFailed = s.Run({"--batch", "--multi-site"});
    EXPECT_EQ(loginFailed.status, 2) << loginFailed.out << loginFailed.err;
    EXPECT_EQ(server->readFile("page.html"), std::optional<std::string>("good, and changed since"));
    EXPECT_TRUE(Has(loginFailed.out, "Site locked-out: could not connect or log in")) << loginFailed.out;
    EXPECT_TRUE(Has(loginFailed.out, "Site gone: failed")) << loginFailed.out;
}

TEST(BatchRefusedDirectory, UnreadableDirectoriesAreNamedKeptAndTheRestIsSynced)
{
    auto server = RealFtpServer::start(RealFtpServer::Kind::Vsftpd);
    ASSERT_TRUE(server);
    ASSERT_TRUE(server->writeFile("pub/open/a.txt", "served"));
    ASSERT_TRUE(server->writeFile("pub/alocked/x.txt", "x"));
    ASSERT_TRUE(server->writeFile("pub/unread/u.txt", "u"));
    ASSERT_TRUE(server->writeFile("pub/zlocked/z.txt", "z")); // walked last
    for (const char *dir : {"pub/alocked", "pub/zlocked"})
        ::chmod((fs::path(server->root()) / dir).c_str(), 0); // the server's account cannot enter
    // Entered but not readable: vsftpd answers its LIST with a 226 that says it failed.
    ::chmod((fs::path(server->root()) / "pub/unread").c_str(), 0311);
    BatchSites s;
    WriteFile(s.Dir("mirror") / "alocked/x.txt", "old copy");
    WriteFile(s.Dir("mirror") / "unread/u.txt", "old copy");
    WriteFile(s.Dir("mirror") / "zlocked/z.txt", "old copy");
    s.Add("mirror", *server, s.Dir("mirror"), "/pub", {"--download"});

    FernhopRun run = s.Run({"--batch", "mirror"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(ReadFile(s.Dir("mirror") / "open/a.txt"), "served");
    // Nothing under a directory that could not be listed is deleted.
    EXPECT_EQ(ReadFile(s.Dir("mirror") / "alocked/x.txt"), "old copy");
    EXPECT_EQ(ReadFile(s.Dir("mirror") / "unread/u.txt"), "old copy");
    EXPECT_EQ(ReadFile(s.Dir("mirror") / "zlocked/z.txt"), "old copy");
    EXPECT_TRUE(Has(run.out, "not listed: mirror /alocked")) << run.out;
    EXPECT_TRUE(Has(run.out, "not listed: mirror /unread")) << run.out;
    EXPECT_TRUE(Has(run.out, "not listed: mirror /zlocked")) << run.out;
    EXPECT_TRUE(Has(run.out, "Site mirror: failed: 3 remote directories could not be listed; nothing under them was deleted")) << run.out;
    EXPECT_TRUE(Has(run.err, "FERNHOP: could not list /zlocked")) << run.err;
}

TEST(BatchMissingRemoteDirectory, UploadSiteCreatesItWithItsParentsAndSaysSo)
{
    // vsftpd lists with LIST, so the site measures its clock with the check file.
    auto server = RealFtpServer::start(RealFtpServer::Kind::Vsftpd);
    ASSERT_TRUE(server);
    BatchSites s;
    WriteFile(s.Dir("web") / "index.html", "<p>");
    WriteFile(s.Dir("web") / "css/site.css", "p {}");
    s.Add("web", *server, s.Dir("web"), "/new/deep/www");

    FernhopRun dry = s.Run({"--batch", "--dry-run", "web"});
    EXPECT_FALSE(server->exists("new")) << dry.err;
    EXPECT_TRUE(Has(dry.err, "Dry run: the remote directory /new/deep/www does not exist and would be created"))
        << dry.err;

    FernhopRun run = s.Run({"--batch", "web"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Has(run.err, "The remote directory /new/deep/www does not exist or cannot be entered; creating it"))
        << run.err;
    EXPECT_EQ(server->readFile("new/deep/www/index.html"), std::optional<std::string>("<p>"));
    EXPECT_EQ(server->readFile("new/deep/www/css/site.css"), std::optional<std::string>("p {}"));
    // The clock check that failed for want of the directory is made once it is there.
    EXPECT_EQ(Count(run.err, "STOR /new/deep/www/fernhop.chk"), 2u) << run.err;
    EXPECT_TRUE(server->exists("new/deep/www/fernhop.chk"));
}

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
    EXPECT_TRUE(Has(run.out, "failed: Could not upload: b.html")) << run.out;
    EXPECT_TRUE(Has(run.out, "Site web: failed")) << run.out;
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

    FernhopRun run = s.Run({"--batch", "web"}, 60000);
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
    EXPECT_TRUE(Has(run.err, "FTP ERROR: Server did not answer CWD /quiet")) << run.err;
    EXPECT_TRUE(Has(run.out, "Site quiet: failed")) << run.out;
    EXPECT_TRUE(Has(run.out, "Site fine: done")) << run.out;
    EXPECT_EQ(server->uploaded("/f.html"), std::optional<std::string>("f"));
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
    FernhopRun run = RunFernhop(settings, {"--batch", "mirror"});
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
