// SFTP sites end to end: the program's batch mode against OpenSSH's sshd, as a cron user runs it.
#include "support/FernhopProcess.h"
#include "support/FileTree.h"
#include "support/SshServer.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

using fernhop::test::RealSshServer;
namespace fs = std::filesystem;
using namespace fernhop::test;

namespace {

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char &c : bytes)
        c = char(random() & 0xff);
    return bytes;
}

class BatchSftp : public ::testing::Test {
protected:
    void SetUp() override
    {
        server = RealSshServer::start();
        ASSERT_TRUE(server);
        // No agent and no known_hosts of whoever runs the tests.
        fs::create_directories(Dir("home/.ssh"));
        environment = {"HOME=" + tmp.path() + "/home", "SSH_AUTH_SOCK="};
    }

    fs::path Dir(const std::string &name) const { return fs::path(tmp.path().toStdString()) / name; }
    fs::path OnServer(const std::string &rel) const { return fs::path(server->root()) / rel; }
    FernhopRun Run(const QStringList &args, int timeoutMs = 120000)
    {
        return RunFernhop(tmp.path() + "/settings", args, timeoutMs, environment);
    }
    // The site, its remote directory made on the server; the host key trusted unless told.
    void Add(const std::string &nick, const fs::path &local, const std::string &remote, QStringList more = {},
             bool trustKey = true)
    {
        fs::create_directories(local);
        ASSERT_TRUE(server->makeDir(remote));
        if (trustKey)
            more << "--trust-host-key" << QString::fromStdString(server->fingerprint());
        const FernhopRun added =
            Run(QStringList{"--add-site", QString::fromStdString(nick), "--sftp", "--server", "127.0.0.1", "--port",
                            QString::number(server->port()), "--user", QString::fromStdString(server->user()),
                            "--password", QString::fromStdString(server->password()), "--local",
                            QString::fromStdString(local.string()), "--remote",
                            QString::fromStdString(OnServer(remote).string())} +
                more);
        ASSERT_EQ(added.status, 0) << added.out << added.err;
    }

    // Starts a batch run of `nick`, waits until a file of the transfer has `bytes` on disk below
    // `watched` (the server's directory or the local one), then ends every SSH session.
    FernhopRun RunKilledMidTransfer(const std::string &nick, const fs::path &watched, const std::string &finalName,
                                    uintmax_t bytes)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FERNHOP_HOME", tmp.path() + "/settings");
        for (const QString &variable : environment)
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        p.setProcessEnvironment(env);
        p.start(FERNHOP_BINARY, {"--batch", "-v", QString::fromStdString(nick)});
        p.closeWriteChannel();
        QElapsedTimer waited;
        waited.start();
        bool killed = false;
        while (!killed && waited.elapsed() < 60000 && !p.waitForFinished(2)) {
            std::error_code error;
            for (const auto &entry : fs::directory_iterator(watched, error)) {
                // The transfer writes to a temporary name first; the final name must not grow.
                if (entry.path().filename() != finalName && entry.is_regular_file(error) &&
                    entry.file_size(error) >= bytes) {
                    server->killSessions();
                    killed = true;
                }
            }
        }
        EXPECT_TRUE(killed) << "the transfer was never seen under way";
        EXPECT_TRUE(p.waitForFinished(120000)) << p.readAllStandardOutput().toStdString() << p.readAllStandardError().toStdString();
        return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
    }

    QTemporaryDir tmp;
    QStringList environment;
    std::unique_ptr<RealSshServer> server;
};

} // namespace

// Upload, changes on both sides, upload again, then a download mirror and a change made on the
// server: each run leaves the other side equal, names with spaces and UTF-8 included, and a run
// right after finds nothing to do (the times set on the server are exact).
TEST_F(BatchSftp, SyncsBothWaysWithChangesOnBothSides)
{
    const fs::path site = Dir("site");
    WriteFile(site / "index.html", "<p>home</p>");
    WriteFile(site / "sub dir" / "Grüße über.txt", "umlauts");
    WriteFile(site / "sub dir" / "deep" / "a.bin", RandomBytes(300000, 1));
    WriteFile(site / "old" / "gone.txt", "to be removed");
    fs::create_directories(site / "empty");
    Add("up", site, "www");

    FernhopRun run = Run({"--batch", "up"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(Snapshot(OnServer("www")), Snapshot(site));
    run = Run({"--batch", "up"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.out, "deleted 0, created 0, transferred 0, failed 0")) << run.out;

    // Local edits, and a stray file dropped on the server by someone else.
    WriteFile(site / "index.html", "<p>home, edited</p>");
    fs::last_write_time(site / "index.html", fs::file_time_type::clock::now() - std::chrono::seconds(10));
    fs::remove_all(site / "old");
    WriteFile(site / "sub dir" / "new file.txt", "new");
    ASSERT_TRUE(server->writeFile("www/stray.txt", "not ours"));
    run = Run({"--batch", "up"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(Snapshot(OnServer("www")), Snapshot(site));

    const fs::path mirror = Dir("mirror");
    Add("down", mirror, "www", {"--download"});
    run = Run({"--batch", "down"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(Snapshot(mirror), Snapshot(site));

    ASSERT_TRUE(server->writeFile("www/sub dir/new file.txt", "changed on the server"));
    ASSERT_TRUE(server->setModificationTime("www/sub dir/new file.txt", std::time(nullptr) + 60));
    run = Run({"--batch", "down"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(ReadFile(mirror / "sub dir" / "new file.txt"), "changed on the server");
    EXPECT_EQ(Snapshot(mirror), Snapshot(OnServer("www")));
}

// A cron run meets a host key nobody accepted: it exits 2 naming the fingerprint and how to trust
// it, and offers no credential. A site whose stored key differs from the server's is refused the
// same way, and plainly. Given the key on the command line the same run goes through.
TEST_F(BatchSftp, HostKeysNotAcceptedStopTheRunBeforeAnyCredential)
{
    const fs::path site = Dir("site");
    WriteFile(site / "index.html", "<p>");
    Add("web", site, "www", {}, /*trustKey=*/false);

    FernhopRun run = Run({"--batch", "web"});
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    EXPECT_TRUE(Has(run.err, server->fingerprint())) << run.err;
    EXPECT_TRUE(Has(run.err, "--trust-host-key " + server->fingerprint())) << run.err;
    EXPECT_FALSE(fs::exists(OnServer("www/index.html")));

    const std::string otherKey = "SHA256:" + std::string(43, 'A');
    ASSERT_EQ(Run({"--replace-site", "web", "--trust-host-key", QString::fromStdString(otherKey)}).status, 0);
    run = Run({"--batch", "web"});
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(Has(run.err, "host key")) << run.err;
    EXPECT_FALSE(fs::exists(OnServer("www/index.html")));
    // sshd logs every authentication attempt; there was none.
    EXPECT_FALSE(Has(server->log(), "Accepted")) << server->log();
    EXPECT_FALSE(Has(server->log(), "Failed password")) << server->log();

    ASSERT_EQ(Run({"--replace-site", "web", "--trust-host-key", QString::fromStdString(server->fingerprint())}).status,
              0);
    run = Run({"--batch", "web"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(ReadFile(OnServer("www/index.html")), "<p>");
}

// The SSH session is cut in the middle of an upload over an older copy and in the middle of a
// download: neither side is ever left with a short file under the real name, and the runs (or
// the one after) finish the job.
TEST_F(BatchSftp, ASessionCutMidTransferLeavesNoShortFile)
{
    const std::string big = RandomBytes(96u << 20, 7);
    const fs::path site = Dir("site");
    WriteFile(site / "big.bin", big);
    ASSERT_TRUE(server->makeDir("www"));
    ASSERT_TRUE(server->writeFile("www/big.bin", "the old copy"));
    ASSERT_TRUE(server->setModificationTime("www/big.bin", std::time(nullptr) - 86400));
    Add("up", site, "www");

    FernhopRun run = RunKilledMidTransfer("up", OnServer("www"), "big.bin", 8u << 20);
    const std::string onServer = ReadFile(OnServer("www/big.bin"));
    EXPECT_TRUE(onServer == "the old copy" || onServer == big) << "short file on the server: " << onServer.size();
    if (run.status != 0)
        run = Run({"--batch", "up"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(ReadFile(OnServer("www/big.bin")) == big);

    const fs::path mirror = Dir("mirror");
    WriteFile(mirror / "big.bin", "the local old copy");
    fs::last_write_time(mirror / "big.bin", fs::file_time_type::clock::now() - std::chrono::hours(48));
    Add("down", mirror, "www", {"--download"});
    run = RunKilledMidTransfer("down", mirror, "big.bin", 8u << 20);
    const std::string local = ReadFile(mirror / "big.bin");
    EXPECT_TRUE(local == "the local old copy" || local == big) << "short file locally: " << local.size();
    if (run.status != 0)
        run = Run({"--batch", "down"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(ReadFile(mirror / "big.bin") == big);
}
