// The batch mode end to end: the fernhop program run against both real servers.
#include "support/BatchSites.h"
#include "support/FernhopProcess.h"
#include "support/FileTree.h"
#include "support/FtpServers.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

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

    FernhopRun first = Fernhop({"--batch", "-v", "web"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("Summary: deleted 0, created 5, transferred 4, failed 0"), std::string::npos)
        << first.out;
    EXPECT_EQ(Snapshot(fs::path(server->root()) / "www"), Snapshot(Local()));

    // Change one file, add one, delete one and a directory: only those move.
    WriteFile(Local() / "index.html", "<h1>home, changed and longer</h1>");
    WriteFile(Local() / "css/new.css", "p {}");
    fs::remove(Local() / "img/logo.bin");
    fs::remove_all(Local() / "docs");
    FernhopRun second = Fernhop({"--batch", "-v", "web"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(second.out.find("Summary: deleted 4, created 0, transferred 2, failed 0"), std::string::npos)
        << second.out;
    EXPECT_EQ(Snapshot(fs::path(server->root()) / "www"), Snapshot(Local()));
    // The clock offset was measured once and read back: no second check file. pyftpdlib's
    // machine listing (MLSD) gives exact times: no check file at all.
    EXPECT_EQ(Count(first.err, "fernhop.chk"), GetParam() == RealFtpServer::Kind::Pyftpdlib ? 0u : 1u);
    EXPECT_EQ(Count(second.err, "fernhop.chk"), 0u);
    // From the listing cache, checked by one listing of the top directory: no walk.
    EXPECT_EQ(Count(second.err, "\nLIST") + Count(second.err, "\nMLSD"), 1u);
}

TEST_P(BatchFixture, DryRunPrintsOneLinePerEntryAndChangesNothing)
{
    MakeSite();
    AddSite("web", *server, Local(), "/", false);
    const auto before = server->listTree();
    FernhopRun dry = Fernhop({"--batch", "--dry-run", "-v", "web"});
    ASSERT_EQ(dry.status, 0) << dry.err;
    EXPECT_EQ(server->listTree(), before);
    EXPECT_EQ(dry.out, "Site web: 0 to delete, 5 to create, 4 to transfer\n"
                       "mkdir    /css\n"
                       "mkdir    /docs\n"
                       "mkdir    /docs/a\n"
                       "mkdir    /empty\n"
                       "mkdir    /img\n"
                       "upload   /css/site.css\n"
                       "upload   /docs/a/deep.txt\n"
                       "upload   /img/logo.bin\n"
                       "upload   /index.html\n"
                       "Site web: done\n"
                       "Summary: deleted 0, created 0, transferred 0, failed 0, kept 0, skipped 0 (dry run)\n");
    EXPECT_EQ(Count(dry.err, "STOR"), 0u);
    EXPECT_EQ(Count(dry.err, "MKD"), 0u);

    // With deletions switched off, what the compare marked for deletion is shown as kept, and kept.
    ASSERT_EQ(Fernhop({"--batch", "web"}).status, 0);
    fs::remove(Local() / "index.html");
    ASSERT_EQ(Fernhop({"--set", "delete=0"}).status, 0);
    FernhopRun kept = Fernhop({"--batch", "--dry-run", "web"});
    EXPECT_EQ(kept.out, "Site web: 0 to delete, 0 to create, 0 to transfer, 1 kept\n"
                        "keep     /index.html\n"
                        "Site web: done\n"
                        "Summary: deleted 0, created 0, transferred 0, failed 0, kept 0, skipped 0 (dry run)\n");
    FernhopRun run = Fernhop({"--batch", "web"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Summary: deleted 0, created 0, transferred 0, failed 0, kept 1"), std::string::npos) << run.out;
    EXPECT_TRUE(server->exists("index.html"));
}

// As cron runs it: output to files, no terminal. Only the plan and the outcome; nothing at all
// with --quiet once the site is unchanged; the FTP conversation only with --verbose.
TEST_P(BatchFixture, CronRunOfAnUnchangedSiteIsSilentWithQuiet)
{
    MakeSite();
    AddSite("web", *server, Local(), "/", false);
    FernhopRun first = Fernhop({"--batch", "web"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "Site web: 0 to delete, 5 to create, 4 to transfer\n"
                         "Site web: done\n"
                         "Summary: deleted 0, created 5, transferred 4, failed 0, kept 0, skipped 0\n");
    EXPECT_EQ(first.err, "");

    FernhopRun quiet = Fernhop({"--batch", "-q", "web"});
    EXPECT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");

    // Something changed: --quiet says what, as the default does.
    WriteFile(Local() / "index.html", "<h1>home, changed</h1>");
    FernhopRun changed = Fernhop({"--batch", "--quiet", "web"});
    EXPECT_EQ(changed.status, 0) << changed.err;
    EXPECT_NE(changed.out.find("Summary: deleted 0, created 0, transferred 1, failed 0"), std::string::npos) << changed.out;

    FernhopRun verbose = Fernhop({"--batch", "--verbose", "web"});
    EXPECT_EQ(verbose.status, 0) << verbose.err;
    EXPECT_NE(verbose.err.find("QUIT"), std::string::npos) << verbose.err;
    EXPECT_EQ(verbose.err.find("reset FTP"), std::string::npos) << verbose.err; // no menu to point to
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
    EXPECT_NE(first.out.find("Summary: deleted 0, created 2, transferred 2, failed 0"), std::string::npos) << first.out;

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
    EXPECT_NE(without.out.find("kept     /index.html\n"), std::string::npos) << without.out;
    EXPECT_NE(without.out.find("Site web: done; 1 deletion not confirmed: run with --yes to delete"), std::string::npos)
        << without.out;
    EXPECT_TRUE(server->exists("index.html"));

    FernhopRun with = Fernhop({"--batch", "--yes", "web"});
    EXPECT_EQ(with.status, 0) << with.err;
    EXPECT_FALSE(server->exists("index.html"));
}

TEST_P(BatchFixture, AnEmptyLocalDirectoryDeletesNothingOnTheServer)
{
    MakeSite();
    AddSite("web", *server, Local(), "/", false);
    ASSERT_EQ(Fernhop({"--batch", "web"}).status, 0);
    const auto before = server->listTree();
    // An unmounted disk, a build that made nothing: the directory is there and empty.
    fs::remove_all(Local());
    fs::create_directories(Local());
    FernhopRun dry = Fernhop({"--batch", "--dry-run", "web"});
    EXPECT_NE(dry.out.find("The run would stop before its first deletion: The local directory"), std::string::npos)
        << dry.out;

    for (const char *flag : {"--yes", "--allow-mass-delete"}) {
        FernhopRun run = Fernhop({"--batch", flag, "web"});
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_EQ(server->listTree(), before) << flag;
        EXPECT_EQ(Count(run.err, "DELE "), 0u);
        EXPECT_NE(run.err.find("Site web: failed: The local directory " + Local().string() + " is empty: nothing is "
                               "deleted (the run would have deleted 4 of the "),
                  std::string::npos)
            << run.err;
    }
}

TEST_P(BatchFixture, ARunThatWouldDeleteMostOfTheLocalMirrorStopsUnlessAllowed)
{
    for (int i = 0; i < 20; ++i)
        server->writeFile("pub/page" + std::to_string(i) + ".html", "page");
    fs::create_directories(Local());
    AddSite("mirror", *server, Local(), "/pub", true);
    ASSERT_EQ(Fernhop({"--batch", "mirror"}).status, 0);
    for (int i = 0; i < 15; ++i)
        fs::remove(fs::path(server->root()) / ("pub/page" + std::to_string(i) + ".html"));

    FernhopRun held = Fernhop({"--batch", "mirror"});
    EXPECT_EQ(held.status, 1) << held.out << held.err;
    EXPECT_EQ(Snapshot(Local()).size(), 20u);
    EXPECT_NE(held.err.find("Site mirror: failed: Stopped before the first deletion: The run would delete 15 of the 20 "
                            "files in " + Local().string() +
                            " (75%), more than the 50% allowed (option maxDeletePercent)."),
              std::string::npos)
        << held.err;

    // An absolute limit holds even when the share is allowed.
    FernhopRun capped = Fernhop({"--batch", "--allow-mass-delete", "--max-delete", "14", "mirror"});
    EXPECT_EQ(capped.status, 1) << capped.out << capped.err;
    EXPECT_EQ(Snapshot(Local()).size(), 20u);
    EXPECT_NE(capped.err.find("more than the 14 allowed for this run"), std::string::npos) << capped.err;

    FernhopRun allowed = Fernhop({"--batch", "--allow-mass-delete", "--max-delete", "15", "mirror"});
    EXPECT_EQ(allowed.status, 0) << allowed.out << allowed.err;
    EXPECT_EQ(Snapshot(Local()), Snapshot(fs::path(server->root()) / "pub"));
}

TEST_P(BatchFixture, ANameWithABackslashIsSkippedOnBothSidesAndNeverSentAgain)
{
    WriteFile(Local() / "ok.html", "ok");
    WriteFile(Local() / "back\\slash.html", "b");
    AddSite("web", *server, Local(), "/", false);

    FernhopRun first = Fernhop({"--batch", "-v", "web"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.err.find("FERNHOP: skipped \"/back\\\\slash.html\""), std::string::npos) << first.err;
    EXPECT_FALSE(server->exists("back\\slash.html"));
    // From the cache and listed again: nothing more to send.
    for (const char *refresh : {"forceRerfesh=0", "forceRerfesh=1"}) {
        ASSERT_EQ(Fernhop({"--set", refresh}).status, 0);
        FernhopRun again = Fernhop({"--batch", "web"});
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_NE(again.out.find("Summary: deleted 0, created 0, transferred 0, failed 0"), std::string::npos)
            << refresh << "\n" << again.out;
    }
}

TEST_P(BatchFixture, ASettingsFileCutShortIsNotFilledInWithDefaults)
{
    MakeSite();
    AddSite("web", *server, Local(), "/", false);
    // Cut off before "delete=0": the missing keys are read as their defaults, never written back.
    const fs::path ini = fs::path(tmp.path().toStdString()) / "settings/FERNHOP.INI";
    const std::string cut = "[Options]\nconnect=0\ncompare=0\nupdate=0\nexit=0\n";
    WriteFile(ini, cut);
    for (const char *dryRun : {"--dry-run", "--yes"}) {
        FernhopRun run = Fernhop({"--batch", dryRun, "web"});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(ReadFile(ini), cut) << dryRun;
    }
}

TEST_P(BatchFixture, WrongPasswordExitsWithTwo)
{
    MakeSite();
    AddSite("web", *server, Local(), "/", false, "not-the-password");
    FernhopRun run = Fernhop({"--batch", "-v", "web"});
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
    EXPECT_NE(refused.err.find("failed: upload /a.html: 553 "), std::string::npos) << refused.err;
}

// A file and a directory the user cannot read: each is a failure, named, and the run exits 1;
// the rest is synced and nothing on the server is deleted for them.
TEST(BatchUnreadable, UnreadableFileAndDirectoryFailTheRunByName)
{
    auto server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    ASSERT_TRUE(server);
    ASSERT_TRUE(server->writeFile("private/old.txt", "kept on the server"));
    QTemporaryDir tmp;
    const QString settings = tmp.path() + "/settings";
    const fs::path local = fs::path(tmp.path().toStdString()) / "site";
    WriteFile(local / "index.html", "home");
    WriteFile(local / "locked.html", "unreadable");
    WriteFile(local / "private/new.txt", "never seen");
    ASSERT_EQ(::chmod((local / "locked.html").c_str(), 0), 0);
    ASSERT_EQ(::chmod((local / "private").c_str(), 0), 0);
    ASSERT_EQ(RunFernhop(settings, {"--add-site", "web", "--server", "127.0.0.1", "--port",
                                    QString::number(server->port()), "--user", QString::fromStdString(server->user()),
                                    "--password", QString::fromStdString(server->password()), "--local",
                                    QString::fromStdString(local.string()), "--remote", "/", "--pasv"})
                  .status,
              0);

    const FernhopRun run = RunFernhop(settings, {"--batch", "--json", "web"}, 120000, {}, /*fileModesApply=*/true);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_NE(run.err.find("failed: upload /locked.html: could not open the local file\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not read: web /private\n"), std::string::npos) << run.err;
    EXPECT_EQ(server->readFile("index.html"), std::optional<std::string>("home"));
    EXPECT_EQ(server->readFile("private/old.txt"), std::optional<std::string>("kept on the server"));

    // The JSON result says the same, entry by entry.
    QJsonParseError error;
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out;
    EXPECT_EQ(doc["exitStatus"].toInt(), 1);
    EXPECT_EQ(doc["result"]["transferred"].toInt(), 1);
    EXPECT_EQ(doc["result"]["failed"].toInt(), 1);
    const QJsonObject site = doc["sites"][0].toObject();
    EXPECT_EQ(site["outcome"].toString(), "failed");
    EXPECT_EQ(site["notRead"].toArray(), QJsonArray{"/private"});
    std::map<std::string, std::string> results;
    for (const QJsonValue &entry : site["entries"].toArray())
        results[entry["action"].toString().toStdString() + " " + entry["path"].toString().toStdString()] =
            entry["result"].toString().toStdString();
    EXPECT_EQ(results, (std::map<std::string, std::string>{{"upload /index.html", "done"},
                                                           {"upload /locked.html", "failed"}}));

    // The scan alone says so too.
    const FernhopRun scan = RunFernhop(settings, {"--scan", QString::fromStdString(local.string())}, 120000, {}, true);
    EXPECT_EQ(scan.status, 1) << scan.err;
    EXPECT_NE(scan.err.find("not read: /private\n"), std::string::npos) << scan.err;
    ::chmod((local / "private").c_str(), 0755);
}

TEST(BatchRefusedConnection, IsReportedAsSuchNotAsAnUnreadableDirectory)
{
    QTemporaryDir tmp;
    const QString settings = tmp.path() + "/settings";
    const fs::path local = fs::path(tmp.path().toStdString()) / "site";
    WriteFile(local / "index.html", "home");
    // A port nothing listens on: taken and closed again.
    quint16 port = 0;
    {
        const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length), 0);
        port = ntohs(address.sin_port);
        ::close(probe);
    }
    ASSERT_EQ(RunFernhop(settings, {"--add-site", "web", "--server", "127.0.0.1", "--port", QString::number(port),
                                    "--user", "u", "--password", "p", "--local", QString::fromStdString(local.string()),
                                    "--remote", "/"})
                  .status,
              0);
    const FernhopRun run = RunFernhop(settings, {"--batch", "web"});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.err, "Site web: could not connect or log in: connection refused\n");
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
    EXPECT_TRUE(Has(listingFailed.err, "Site gone: failed: the remote directory could not be listed"))
        << listingFailed.err;
    EXPECT_TRUE(Has(listingFailed.out, "Site good: done")) << listingFailed.out;

    // A site that cannot log in outweighs a failed one: exit 2, and the others still run.
    WriteFile(s.Dir("good") / "page.html", "good, and changed since");
    s.Add("locked-out", *server, s.Dir("good"), "/", {}, "wrong");
    FernhopRun loginFailed = s.Run({"--batch", "--multi-site"});
    EXPECT_EQ(loginFailed.status, 2) << loginFailed.out << loginFailed.err;
    EXPECT_EQ(server->readFile("page.html"), std::optional<std::string>("good, and changed since"));
    EXPECT_TRUE(Has(loginFailed.err, "Site locked-out: could not connect or log in")) << loginFailed.err;
    EXPECT_TRUE(Has(loginFailed.err, "Site gone: failed")) << loginFailed.err;
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

    FernhopRun run = s.Run({"--batch", "-v", "mirror"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(ReadFile(s.Dir("mirror") / "open/a.txt"), "served");
    // Nothing under a directory that could not be listed is deleted.
    EXPECT_EQ(ReadFile(s.Dir("mirror") / "alocked/x.txt"), "old copy");
    EXPECT_EQ(ReadFile(s.Dir("mirror") / "unread/u.txt"), "old copy");
    EXPECT_EQ(ReadFile(s.Dir("mirror") / "zlocked/z.txt"), "old copy");
    EXPECT_TRUE(Has(run.err, "not listed: mirror /alocked")) << run.err;
    EXPECT_TRUE(Has(run.err, "not listed: mirror /unread")) << run.err;
    EXPECT_TRUE(Has(run.err, "not listed: mirror /zlocked")) << run.err;
    EXPECT_TRUE(Has(run.err, "Site mirror: failed: 3 remote directories could not be listed; nothing under them was deleted")) << run.err;
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
    EXPECT_TRUE(Has(dry.out, "Site web: the remote directory /new/deep/www does not exist and would be created"))
        << dry.out;

    FernhopRun run = s.Run({"--batch", "-v", "web"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "Site web: the remote directory /new/deep/www does not exist; creating it")) << run.out;
    EXPECT_EQ(server->readFile("new/deep/www/index.html"), std::optional<std::string>("<p>"));
    EXPECT_EQ(server->readFile("new/deep/www/css/site.css"), std::optional<std::string>("p {}"));
    // The clock check that failed for want of the directory is made once it is there.
    EXPECT_EQ(Count(run.err, "STOR /new/deep/www/fernhop.chk"), 2u) << run.err;
    EXPECT_TRUE(server->exists("new/deep/www/fernhop.chk"));
}

TEST(BatchRewrittenFile, AFileWrittenAgainInTheSecondOfTheScanIsSentAgainCachedOrListed)
{
    // pyftpdlib takes the file's time (MFMT) and lists exact times (MLSD).
    auto server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    ASSERT_TRUE(server);
    BatchSites s;
    const fs::path page = s.Dir("web") / "page.html";
    WriteFile(page, "old!");
    // Whole seconds cannot tell a file written in the second the scan read it from one written
    // again in that second. A time past the scan stands for that second on a machine of any speed.
    const auto stamp = fs::last_write_time(page) + std::chrono::hours(1);
    fs::last_write_time(page, stamp);
    s.Add("web", *server, s.Dir("web"), "/");
    FernhopRun first = s.Run({"--batch", "-v", "web"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_TRUE(Has(first.err, "FERNHOP: \"/page.html\" was written during the run or just before it")) << first.err;

    // Written again, same size, same time: the next run sends it, from the cache or listed.
    const std::pair<const char *, const char *> rounds[] = {{"new!", "forceRerfesh=0"}, {"nxt!", "forceRerfesh=1"}};
    for (const auto &[content, refresh] : rounds) {
        WriteFile(page, content);
        fs::last_write_time(page, stamp);
        ASSERT_EQ(s.Run({"--set", refresh}).status, 0);
        FernhopRun again = s.Run({"--batch", "web"});
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(server->readFile("page.html"), std::optional<std::string>(content)) << refresh << again.err;
    }
}
