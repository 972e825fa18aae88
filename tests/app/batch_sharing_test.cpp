// Batch runs among other fernhop processes and under signals, with the real program: a second run
// of a site in progress, settings written while a run goes on, SIGINT and SIGTERM in the middle of
// a run, and settings files that cannot be read.
#include "support/FernhopProcess.h"
#include "support/FileTree.h"
#include "support/FtpServers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using fernhop::test::RealFtpServer;
using fernhop::test::ScriptedFtpServer;
namespace fs = std::filesystem;
using namespace fernhop::test;

namespace {

// A fernhop process that runs while the test goes on.
class RunningFernhop {
public:
    RunningFernhop(const QString &settingsDir, const QStringList &args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FERNHOP_HOME", settingsDir);
        process_.setProcessEnvironment(env);
        process_.setReadChannel(QProcess::StandardError);
        process_.start(FERNHOP_BINARY, args);
        process_.closeWriteChannel();
    }
    ~RunningFernhop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }

    // Reads the log until it holds `text` `times` times; false if the process ended first. The
    // time-out only guards against a hang.
    bool WaitForLog(const std::string &text, size_t times = 1)
    {
        while (Count(err_, text) < times) {
            if (process_.state() == QProcess::NotRunning && !process_.bytesAvailable())
                return false;
            process_.waitForReadyRead(1000);
            Drain();
            if (process_.state() == QProcess::NotRunning) {
                Drain();
                return Count(err_, text) >= times;
            }
        }
        return true;
    }

    void Signal(int signal) { ::kill(pid_t(process_.processId()), signal); }

    // Waits for the end; the exit status, or -1 when a signal ended the process.
    int Finish()
    {
        EXPECT_TRUE(process_.waitForFinished(120000)) << "fernhop did not finish";
        Drain();
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }

    const std::string &Out() const { return out_; }
    const std::string &Err() const { return err_; }

private:
    void Drain()
    {
        err_ += process_.readAllStandardError().toStdString();
        out_ += process_.readAllStandardOutput().toStdString();
    }

    QProcess process_;
    std::string out_, err_;
};

class BatchSharing : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString Settings() const { return tmp.path() + "/settings"; }
    fs::path SettingsPath() const { return fs::path(Settings().toStdString()); }
    fs::path Local() const { return fs::path(tmp.path().toStdString()) / "site"; }
    FernhopRun Fernhop(const QStringList &args) { return RunFernhop(Settings(), args); }

    QStringList AddSiteArgs(const std::string &nick, quint16 port, const std::string &user, const std::string &password,
                            const fs::path &local, const std::string &remote)
    {
        return {"--add-site", QString::fromStdString(nick), "--server", "127.0.0.1", "--port", QString::number(port),
                "--user", QString::fromStdString(user), "--password", QString::fromStdString(password), "--local",
                QString::fromStdString(local.string()), "--remote", QString::fromStdString(remote), "--pasv"};
    }

    std::vector<std::string> RunLockFiles() const
    {
        std::vector<std::string> found;
        for (const auto &entry : fs::directory_iterator(SettingsPath()))
            if (entry.path().extension() == ".run")
                found.push_back(entry.path().filename().string());
        return found;
    }
};

// A server that never answers the password: a run against it waits, in progress, until stopped.
const char *kSilentLogin = R"({"rules": [
    {"match": "^USER ", "reply": "331 Password please."},
    {"match": "^PASS "}]})";

} // namespace

TEST_F(BatchSharing, ASecondRunOfTheSiteRefusesAndWritersMeanwhileAreKept)
{
    auto server = ScriptedFtpServer::start(kSilentLogin);
    ASSERT_TRUE(server);
    WriteFile(Local() / "index.html", "home");
    ASSERT_EQ(Fernhop(AddSiteArgs("web", server->port(), "joe", "pw", Local(), "/")).status, 0);
    ASSERT_EQ(Fernhop({"--set", "fastCompare=1"}).status, 0);

    RunningFernhop first(Settings(), {"--batch", "web"});
    ASSERT_TRUE(server->waitForCommand("^PASS ", 60000)) << first.Err();

    FernhopRun second = Fernhop({"--batch", "web"});
    EXPECT_EQ(second.status, 75) << second.err;
    EXPECT_NE(second.err.find("the site web is being synchronised by another fernhop run (process "),
              std::string::npos)
        << second.err;
    EXPECT_EQ(server->connectionCount(), 1);

    // Other writers of the settings while the run goes on.
    ASSERT_EQ(Fernhop(AddSiteArgs("other", 2121, "ann", "pw2", Local(), "/other")).status, 0);
    ASSERT_EQ(Fernhop({"--set", "confirmDelete=1"}).status, 0);

    first.Signal(SIGTERM);
    EXPECT_EQ(first.Finish(), 143) << first.Err();
    // Stopped, never "done".
    EXPECT_NE(first.Err().find("Site web: stopped by SIGTERM before the run was complete\n"), std::string::npos)
        << first.Err();
    EXPECT_NE(first.Err().find("Stopped by SIGTERM"), std::string::npos) << first.Err();
    EXPECT_EQ(first.Out(), "Summary: deleted 0, created 0, transferred 0, failed 0, kept 0, skipped 0\n");

    // The run saved its settings at the end without undoing the others' writes.
    const FernhopRun sites = Fernhop({"--list-sites"});
    EXPECT_NE(sites.out.find("web\t"), std::string::npos) << sites.out;
    EXPECT_NE(sites.out.find("other\t"), std::string::npos) << sites.out;
    const FernhopRun settings = Fernhop({"--show-settings"});
    EXPECT_NE(settings.out.find("\nconfirmDelete=1\n"), std::string::npos) << settings.out;
    EXPECT_NE(settings.out.find("\nfastCompare=1\n"), std::string::npos) << settings.out;
    EXPECT_TRUE(RunLockFiles().empty());
}

TEST_F(BatchSharing, TwoSitesSpellingOnePlaceDifferentlyAreOneSiteToLock)
{
    auto server = ScriptedFtpServer::start(kSilentLogin);
    ASSERT_TRUE(server);
    WriteFile(Local() / "index.html", "home");
    ASSERT_EQ(Fernhop(AddSiteArgs("web", server->port(), "joe", "pw", Local().string() + "/", "www")).status, 0);
    ASSERT_EQ(Fernhop(AddSiteArgs("same", server->port(), "joe", "pw", Local(), "/www/")).status, 0);
    ASSERT_EQ(Fernhop(AddSiteArgs("elsewhere", server->port(), "joe", "pw", Local(), "/other")).status, 0);

    RunningFernhop first(Settings(), {"--batch", "web"});
    ASSERT_TRUE(server->waitForCommand("^PASS ", 60000)) << first.Err();
    FernhopRun second = Fernhop({"--batch", "same"});
    EXPECT_EQ(second.status, 75) << second.err;
    EXPECT_EQ(server->connectionCount(), 1);

    // Another remote directory on the same server is another site: it runs (and waits at the
    // password like the first, until stopped).
    RunningFernhop third(Settings(), {"--batch", "elsewhere"});
    QDeadlineTimer guard(60000); // only against a hang
    while (server->connectionCount() < 2 && !guard.hasExpired())
        QThread::msleep(50);
    EXPECT_EQ(server->connectionCount(), 2) << third.Err();
    third.Signal(SIGTERM);
    first.Signal(SIGTERM);
    EXPECT_EQ(third.Finish(), 143) << third.Err();
    EXPECT_EQ(first.Finish(), 143) << first.Err();
}

TEST_F(BatchSharing, SigintStopsAnUploadAndTheNextRunRepairsIt)
{
    auto server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    ASSERT_TRUE(server);
    // Enough files that the run is still uploading when the signal comes.
    const int files = 300;
    for (int i = 0; i < files; ++i)
        WriteFile(Local() / ("dir" + std::to_string(i % 5)) / ("page" + std::to_string(i) + ".html"),
                  std::string(20000 + i, char('a' + i % 26)));
    server->makeDir("www");
    ASSERT_EQ(Fernhop(AddSiteArgs("web", server->port(), server->user(), server->password(), Local(), "/www")).status,
              0);

    RunningFernhop run(Settings(), {"--batch", "-v", "web"});
    ASSERT_TRUE(run.WaitForLog("STOR /www/dir", 3)) << run.Err();
    run.Signal(SIGINT);
    EXPECT_EQ(run.Finish(), 130) << run.Err();
    EXPECT_NE(run.Err().find("SIGINT received: stopping the run"), std::string::npos) << run.Err();
    EXPECT_NE(run.Err().find("Stopped by SIGINT before the run was complete"), std::string::npos) << run.Err();
    EXPECT_NE(run.Out().find("Summary: deleted 0, created 5, transferred "), std::string::npos) << run.Out();
    EXPECT_LT(Count(run.Err(), "STOR /www/dir"), size_t(files));
    EXPECT_NE(Snapshot(fs::path(server->root()) / "www"), Snapshot(Local()));
    EXPECT_TRUE(RunLockFiles().empty());

    FernhopRun next = Fernhop({"--batch", "web"});
    ASSERT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(Snapshot(fs::path(server->root()) / "www"), Snapshot(Local()));
}

TEST_F(BatchSharing, SigtermStopsADownloadWithoutLeavingAPartialFile)
{
    auto server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    ASSERT_TRUE(server);
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(server->writeFile("pub/big" + std::to_string(i) + ".bin", std::string(2000000, char('A' + i % 26))));
    fs::create_directories(Local());
    QStringList add = AddSiteArgs("mirror", server->port(), server->user(), server->password(), Local(), "/pub");
    add << "--download";
    ASSERT_EQ(Fernhop(add).status, 0);

    RunningFernhop run(Settings(), {"--batch", "-v", "mirror"});
    ASSERT_TRUE(run.WaitForLog("RETR /pub/big", 2)) << run.Err();
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Finish(), 143) << run.Err();
    EXPECT_NE(run.Err().find("Stopped by SIGTERM"), std::string::npos) << run.Err();
    // No partial download is left behind: only whole files and the listing cache.
    for (const auto &entry : fs::recursive_directory_iterator(Local()))
        EXPECT_TRUE(entry.path().extension() == ".bin" || entry.path().extension() == ".fhx") << entry.path();

    FernhopRun next = Fernhop({"--batch", "mirror"});
    ASSERT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(Snapshot(Local()), Snapshot(fs::path(server->root()) / "pub"));
}

// Stop while the listing runs over several connections: every listing is cut off, nothing is
// compared, so nothing is deleted, and no listing is cached for the next run to trust.
TEST_F(BatchSharing, SigintDuringAListingOverSeveralConnectionsDeletesNothingAndCachesNothing)
{
    const std::string dir = "drwxr-xr-x   2 web  users   512 Jan 12  1996 ";
    auto server = ScriptedFtpServer::start(std::string(R"({"rules": [
        {"match": "^CWD /[abc]$", "reply": "250 OK.", "delay_ms": 3000},
        {"match": "^LIST", "action": "send", "times": 1, "data": [")") +
                                           dir + "a\", \"" + dir + "b\", \"" + dir + R"(c"]},
        {"match": "^LIST", "action": "send", "data": []},)" + kScriptedLoginRules + R"(
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})");
    ASSERT_TRUE(server);
    for (const char *path : {"a/x.txt", "b/y.txt", "c/z.txt", "top.html"})
        WriteFile(Local() / path, "mine");
    QStringList add = AddSiteArgs("mirror", server->port(), "joe", "pw", Local(), "/");
    ASSERT_EQ(Fernhop(add << "--download").status, 0);
    ASSERT_EQ(Fernhop({"--set", "timeOffset=1"}).status, 0);

    RunningFernhop run(Settings(), {"--batch", "-v", "--connections", "4", "mirror"});
    // /b and /c are each being listed over another connection ("[n] CWD /b").
    ASSERT_TRUE(run.WaitForLog("] CWD /", 2)) << run.Err();
    run.Signal(SIGINT);
    EXPECT_EQ(run.Finish(), 130) << run.Err();
    EXPECT_NE(run.Err().find("Remote Refresh Canceled"), std::string::npos) << run.Err();
    for (const char *path : {"a/x.txt", "b/y.txt", "c/z.txt", "top.html"})
        EXPECT_EQ(ReadFile(Local() / path), "mine") << path;
    for (const auto &entry : fs::directory_iterator(Local()))
        EXPECT_NE(entry.path().extension(), ".fhx");
}

namespace {
// N of "Summary: ... transferred N, ..."; -1 when there is no summary.
int Transferred(const std::string &out)
{
    const size_t at = out.find("transferred ");
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 12);
}
} // namespace

// Stop with files moving over four connections: every one is cut off, no partial download is
// left, and the next run moves what did not arrive (so the listing cache held no file that had
// not arrived whole, and every file the run counted had).
TEST_F(BatchSharing, SignalsStopEveryConnectionAndTheNextRunMovesTheRest)
{
    auto server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    ASSERT_TRUE(server);
    const int files = 300;
    for (int i = 0; i < files; ++i)
        WriteFile(Local() / ("dir" + std::to_string(i % 5)) / ("page" + std::to_string(i) + ".html"),
                  std::string(20000 + i, char('a' + i % 26)));
    server->makeDir("www");
    ASSERT_EQ(Fernhop(AddSiteArgs("web", server->port(), server->user(), server->password(), Local(), "/www")).status,
              0);
    RunningFernhop up(Settings(), {"--batch", "-v", "--connections", "4", "web"});
    ASSERT_TRUE(up.WaitForLog("[3] STOR /www/dir")) << up.Err();
    up.Signal(SIGINT);
    EXPECT_EQ(up.Finish(), 130) << up.Err();
    const int sent = Transferred(up.Out());
    EXPECT_GE(sent, 0) << up.Out();
    EXPECT_LT(sent, files) << up.Out();
    FernhopRun rest = Fernhop({"--batch", "--connections", "4", "web"});
    ASSERT_EQ(rest.status, 0) << rest.err;
    // A file the server finished just as the stop cut its connection is whole there without
    // the run knowing it: the next run may find it (at most one a connection) or send it again.
    EXPECT_LE(sent + Transferred(rest.out), files) << rest.out;
    EXPECT_GE(sent + Transferred(rest.out), files - 4) << rest.out;
    EXPECT_EQ(Snapshot(fs::path(server->root()) / "www"), Snapshot(Local()));

    // Large files first in the tree, so that the signal finds fetches under way.
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(server->writeFile("www/big/b" + std::to_string(i) + ".html", std::string(8000000, char('A' + i))));
    const fs::path mirror = fs::path(tmp.path().toStdString()) / "mirror";
    fs::create_directories(mirror);
    QStringList add = AddSiteArgs("mirror", server->port(), server->user(), server->password(), mirror, "/www");
    ASSERT_EQ(Fernhop(add << "--download").status, 0);
    RunningFernhop down(Settings(), {"--batch", "-v", "--connections", "4", "mirror"});
    ASSERT_TRUE(down.WaitForLog("[3] RETR /www/big")) << down.Err();
    down.Signal(SIGTERM);
    EXPECT_EQ(down.Finish(), 143) << down.Err();
    for (const auto &entry : fs::recursive_directory_iterator(mirror))
        EXPECT_TRUE(entry.is_directory() || entry.path().extension() == ".html" || entry.path().extension() == ".fhx")
            << entry.path();
    const int fetched = Transferred(down.Out());
    FernhopRun restDown = Fernhop({"--batch", "--connections", "4", "mirror"});
    ASSERT_EQ(restDown.status, 0) << restDown.err;
    EXPECT_EQ(Transferred(restDown.out), files + 12 - fetched) << restDown.out;
    EXPECT_EQ(Snapshot(mirror), Snapshot(fs::path(server->root()) / "www"));
}

TEST_F(BatchSharing, ASecondSignalEndsTheProgramAtOnce)
{
    // The listing never comes, so the run stopped by the first signal still waits for the server.
    auto server = ScriptedFtpServer::start(R"js({"rules": [
        {"match": "^USER ", "reply": "331 Password please."},
        {"match": "^PASS ", "reply": "230 Logged in."},
        {"match": "^SYST", "reply": "215 UNIX Type: L8"},
        {"match": "^(CWD|TYPE)", "reply": "250 OK."},
        {"match": "^PWD", "reply": "257 \"/\""},
        {"match": "^PASV", "action": "pasv"},
        {"match": "^(LIST|NLST|ABOR|QUIT|NOOP)"}]})js");
    ASSERT_TRUE(server);
    fs::create_directories(Local());
    ASSERT_EQ(Fernhop(AddSiteArgs("web", server->port(), "joe", "pw", Local(), "/")).status, 0);
    ASSERT_EQ(Fernhop({"--set", "timeOffset=1", "--set", "replyTimeOut=0", "--set", "forceRerfesh=1"}).status, 0);

    RunningFernhop run(Settings(), {"--batch", "-v", "web"});
    ASSERT_TRUE(server->waitForCommand("^LIST", 60000)) << run.Err();
    run.Signal(SIGINT);
    ASSERT_TRUE(run.WaitForLog("SIGINT received")) << run.Err();
    run.Signal(SIGINT);
    EXPECT_EQ(run.Finish(), -1) << run.Err();
}

TEST_F(BatchSharing, SettingsWithCrCrLfLineEndsAreObeyed)
{
    auto server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    ASSERT_TRUE(server);
    WriteFile(Local() / "keep.html", "keep");
    WriteFile(Local() / "gone.html", "gone");
    ASSERT_EQ(Fernhop(AddSiteArgs("web", server->port(), server->user(), server->password(), Local(), "/")).status, 0);
    ASSERT_EQ(Fernhop({"--batch", "web"}).status, 0);
    fs::remove(Local() / "gone.html");

    // Deletions need confirmation, said in a file whose lines end CR CR LF, as is the site list.
    ASSERT_EQ(Fernhop({"--set", "confirmDelete=1"}).status, 0);
    for (const char *name : {"FERNHOP.INI", "FERNHOP.FTP"}) {
        std::string text;
        for (char c : ReadFile(SettingsPath() / name))
            text += c == '\n' ? std::string("\r\r\n") : std::string(1, c);
        WriteFile(SettingsPath() / name, text);
    }
    FernhopRun run = Fernhop({"--batch", "web"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("kept     /gone.html\n"), std::string::npos) << run.out;
    EXPECT_TRUE(server->exists("gone.html"));
    EXPECT_NE(Fernhop({"--show-settings"}).out.find("\nconfirmDelete=1\n"), std::string::npos);
}

TEST_F(BatchSharing, AnUnreadableSettingsFileStopsTheRunBeforeItStarts)
{
    auto server = ScriptedFtpServer::start(kSilentLogin);
    ASSERT_TRUE(server);
    fs::create_directories(Local());
    ASSERT_EQ(Fernhop(AddSiteArgs("web", server->port(), "joe", "pw", Local(), "/")).status, 0);
    const std::string options = "delete=0\nconfirmDelete=1\n"; // the header is missing
    WriteFile(SettingsPath() / "FERNHOP.INI", options);

    FernhopRun run = Fernhop({"--batch", "web"});
    EXPECT_EQ(run.status, 78) << run.err;
    EXPECT_NE(run.err.find("FERNHOP.INI holds no section that Fernhop can read"), std::string::npos) << run.err;
    EXPECT_EQ(server->connectionCount(), 0);
    EXPECT_EQ(ReadFile(SettingsPath() / "FERNHOP.INI"), options);
}

TEST_F(BatchSharing, WritersStartedTogetherAllLand)
{
    fs::create_directories(Local());
    ASSERT_EQ(Fernhop(AddSiteArgs("first", 21, "u", "p", Local(), "/")).status, 0);
    const std::vector<std::string> keys{"confirmDelete", "fastCompare", "deleteRefresh", "noDateMatch"};
    std::vector<std::unique_ptr<RunningFernhop>> writers;
    for (int i = 0; i < 8; ++i)
        writers.push_back(std::make_unique<RunningFernhop>(
            Settings(), AddSiteArgs("site" + std::to_string(i), quint16(2000 + i), "u", "p", Local(),
                                    "/r" + std::to_string(i))));
    for (const std::string &key : keys)
        writers.push_back(std::make_unique<RunningFernhop>(Settings(), QStringList{"--set", QString::fromStdString(key + "=1")}));
    for (auto &writer : writers)
        EXPECT_EQ(writer->Finish(), 0) << writer->Err();

    const std::string sites = Fernhop({"--list-sites"}).out;
    EXPECT_NE(sites.find("first\t"), std::string::npos) << sites;
    for (int i = 0; i < 8; ++i)
        EXPECT_NE(sites.find("site" + std::to_string(i) + "\t"), std::string::npos) << sites;
    const std::string settings = Fernhop({"--show-settings"}).out;
    for (const std::string &key : keys)
        EXPECT_NE(settings.find("\n" + key + "=1\n"), std::string::npos) << settings;
}
