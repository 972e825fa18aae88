// Whole syncs against pyftpdlib and vsftpd: listing walk, compare and run, then the receiving
// side must equal the sending side byte for byte, also after changes on the sending side.
#include "base/Text.h"
#include "site/Compare.h"
#include "site/LocalScan.h"
#include "transfer/ListingWalk.h"
#include "transfer/SequencerFixture.h"

#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <map>
#include <random>
#include <sys/stat.h>

namespace fs = std::filesystem;
using fernhop::test::RealFtpServer;

namespace {
// path relative to the top ("a/b.txt") -> content; directories map to "/".
using TreeContents = std::map<std::string, std::string>;

TreeContents ReadTree(const std::string &top)
{
    TreeContents tree;
    for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = it->path().lexically_relative(top).string();
        tree[rel] = it->is_directory() ? std::string("/") : ReadAll(it->path().string());
    }
    return tree;
}

std::string Body(std::mt19937 &random, size_t size)
{
    std::string body(size, '\0');
    for (char &c : body)
        c = char(random() & 0xff);
    return body;
}

// 10 directories with 4 subdirectories each, 10 files in every one: 50 directories, 500 files.
void GenerateSite(const std::function<void(const std::string &, const std::string &)> &write,
                  const std::function<void(const std::string &)> &makeDir)
{
    std::mt19937 random(7);
    for (int t = 0; t < 10; ++t) {
        const std::string top = "t" + std::to_string(t);
        makeDir(top);
        for (int s = -1; s < 4; ++s) {
            const std::string dir = s < 0 ? top : top + "/s" + std::to_string(s);
            if (s >= 0)
                makeDir(dir);
            for (int f = 0; f < 10; ++f)
                write(dir + "/f" + std::to_string(f) + (f % 2 ? ".html" : ".bin"), Body(random, random() % 3000));
        }
    }
}

int CountStarting(const Lines &lines, const std::string &prefix)
{
    return int(std::count_if(lines.begin(), lines.end(), [&](const std::string &l) { return l.rfind(prefix, 0) == 0; }));
}

class SyncEndToEnd : public SequencerFixture, public ::testing::WithParamInterface<RealFtpServer::Kind> {
protected:
    SyncEndToEnd()
    {
        // Listings give UTC times; with the PC in UTC too the compare needs no clock offset.
        qputenv("TZ", "UTC");
        tzset();
        site.savedServerTime = 1; // no check file
        walk.usePasv = [] { return true; };
        walk.remoteDirectoryText = [this] { return remoteDirectory; };
        remoteDirectory = "/site";
        ws.localTopDirectory = localDir.path().toStdString();
    }

    void StartServer(RealFtpServer::Kind kind)
    {
        server = RealFtpServer::start(kind);
        ASSERT_TRUE(server);
        ASSERT_TRUE(server->makeDir("site"));
        ASSERT_TRUE(Login(server->port(), server->user(), server->password()));
    }

    std::string ServerSite() const { return server->root() + "/site"; }

    // Lists the server, scans the PC, compares with the site's direction and runs the transfer.
    void Sync()
    {
        ws.run.currentOperation = opListing;
        walk.StartListing();
        ASSERT_TRUE(RunUntil([&] { return !walk.Running(); }, 60000));
        ASSERT_TRUE(LoadLocalTree(ws));
        ws.run.currentOperation = opIdle;
        if (site.download)
            ASSERT_TRUE(Compare(ws, ws.remoteTree, ws.localTree));
        else
            ASSERT_TRUE(Compare(ws, ws.localTree, ws.remoteTree));
        view.logLines.clear();
        ASSERT_TRUE(Transfer(120000));
    }
    bool Completed() const
    {
        return view.LastStatus() == (site.download ? "Local Site Mirror Complete" : "Remote Site Update Complete");
    }

    // Kills the server once `name` is on its way and more than its first block has moved.
    void KillServerDuring(const std::string &name)
    {
        QObject::connect(&watch, &QTimer::timeout, [this, name] {
            if (ws.run.currentOperation == opTransferFile && ws.run.currentFileName == name &&
                ws.FtpClient1.BytesTransferred() > 65536) {
                watch.stop();
                server->stop();
            }
        });
        watch.start(1);
    }

    // The server back over the same files, and a new session with it.
    void Reconnect()
    {
        ASSERT_TRUE(server->restart());
        ws.FtpClient1.Reset();
        loggedIn = false;
        quits = 0;
        ASSERT_TRUE(Login(server->port(), server->user(), server->password()));
    }

    ListingWalk walk{ws};
    std::unique_ptr<RealFtpServer> server;
    QTemporaryDir localDir;
    QTimer watch;
};
} // namespace

TEST_P(SyncEndToEnd, UploadSiteThenChangesOnThePc)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(GetParam()));
    const std::string top = ws.localTopDirectory + "/";
    GenerateSite([&](const std::string &p, const std::string &c) { WriteFile(top + p, c); },
                 [&](const std::string &p) { fs::create_directory(top + p); });
    ASSERT_NO_FATAL_FAILURE(Sync());
    EXPECT_TRUE(Completed());
    EXPECT_EQ(ReadTree(ServerSite()), ReadTree(ws.localTopDirectory));
    EXPECT_EQ(CountStarting(view.logLines, "STOR "), 500);
    EXPECT_EQ(CountStarting(view.logLines, "MKD "), 50);

    // Rewritten, added and deleted files and directories.
    std::mt19937 random(11);
    for (int t = 0; t < 5; ++t)
        WriteFile(top + "t" + std::to_string(t) + "/s1/f3.html", Body(random, 3001 + t));
    fs::create_directories(top + "t2/new/deeper");
    WriteFile(top + "t2/new/a.bin", "a");
    WriteFile(top + "t2/new/deeper/b.bin", "");
    WriteFile(top + "t9/extra.html", "<p>extra</p>");
    fs::remove(top + "t0/f0.bin");
    fs::remove(top + "t4/s2/f9.html");
    fs::remove_all(top + "t7/s3");
    ASSERT_NO_FATAL_FAILURE(Sync());
    EXPECT_TRUE(Completed());
    EXPECT_EQ(ReadTree(ServerSite()), ReadTree(ws.localTopDirectory));
    EXPECT_EQ(CountStarting(view.logLines, "STOR "), 8);
    EXPECT_EQ(CountStarting(view.logLines, "MKD "), 2);
    EXPECT_EQ(CountStarting(view.logLines, "RMD "), 1);
    EXPECT_EQ(CountStarting(view.logLines, "DELE "), 12);
}

TEST_P(SyncEndToEnd, DownloadSiteThenChangesOnTheServer)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(GetParam()));
    site.download = true;
    GenerateSite([&](const std::string &p, const std::string &c) { ASSERT_TRUE(server->writeFile("site/" + p, c)); },
                 [&](const std::string &p) { ASSERT_TRUE(server->makeDir("site/" + p)); });
    ASSERT_NO_FATAL_FAILURE(Sync());
    EXPECT_TRUE(Completed());
    EXPECT_EQ(ReadTree(ws.localTopDirectory), ReadTree(ServerSite()));
    // Every file carries the time the server listed for it.
    int stamped = 0;
    for (SiteNode *n = ws.remoteTree.First(); n; n = ws.remoteTree.Next(n)) {
        if (n->detail.kind != ekFile)
            continue;
        struct stat st{};
        ASSERT_EQ(::stat((ws.localTopDirectory + n->detail.Path()).c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, LocalDateTimeToUnix(n->detail.modified)) << n->detail.Path();
        ++stamped;
    }
    EXPECT_EQ(stamped, 500);

    std::mt19937 random(5);
    for (int t = 0; t < 4; ++t)
        ASSERT_TRUE(server->writeFile("site/t" + std::to_string(t) + "/f1.html", Body(random, 3100 + t)));
    ASSERT_TRUE(server->writeFile("site/t5/added/one.bin", "1"));
    ASSERT_TRUE(server->writeFile("site/t6/s0/two.html", "2"));
    fs::remove(ServerSite() + "/t8/f2.bin");
    fs::remove_all(ServerSite() + "/t1/s2");
    ASSERT_NO_FATAL_FAILURE(Sync());
    EXPECT_TRUE(Completed());
    EXPECT_EQ(ReadTree(ws.localTopDirectory), ReadTree(ServerSite()));
    EXPECT_EQ(CountStarting(view.logLines, "RETR "), 6);
}

// The server dies in the middle of a big download: the user's old copy stays as it was, nothing
// partial is left on the PC, and the run says it was cut short. With the server back, the next
// sync makes the PC equal to the server byte for byte.
TEST_P(SyncEndToEnd, ServerKilledDuringADownloadThenTheNextSyncRepairs)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(GetParam()));
    site.download = true;
    std::mt19937 random(3);
    ASSERT_TRUE(server->writeFile("site/a-big.bin", Body(random, 32 << 20)));
    ASSERT_TRUE(server->writeFile("site/b.txt", "b"));
    ASSERT_TRUE(server->writeFile("site/d/c.txt", "c"));
    const std::string top = ws.localTopDirectory + "/";
    WriteFile(top + "a-big.bin", "the user's old copy");

    KillServerDuring("a-big.bin");
    ASSERT_NO_FATAL_FAILURE(Sync());
    EXPECT_EQ(ReadTree(ws.localTopDirectory),
              (TreeContents{{"a-big.bin", "the user's old copy"}, {"d", "/"}, {"d/c.txt", "c"}}));
    // The server may close the data connection first, and the run may start on b.txt before the
    // control connection is seen to close.
    EXPECT_TRUE(StartsWith(view.LastStatus(), "Run cut short: the connection to the server was lost at "));
    EXPECT_TRUE(EndsWith(view.LastStatus(), "; 2 of 3 files not transferred"));
    EXPECT_TRUE(StatusShown("Could not download: a-big.bin"));
    EXPECT_EQ(ws.run.runsCutShort, 1);
    EXPECT_EQ(ws.run.filesTransferred, 1);

    ASSERT_NO_FATAL_FAILURE(Reconnect());
    ASSERT_NO_FATAL_FAILURE(Sync());
    EXPECT_TRUE(Completed());
    EXPECT_EQ(ReadTree(ws.localTopDirectory), ReadTree(ServerSite()));
    EXPECT_EQ(CountStarting(view.logLines, "RETR "), 2);
}

// The server dies in the middle of a big upload: the interrupted file does not enter the remote
// tree (nor so the listing cache made from it), and the next sync completes the server.
TEST_P(SyncEndToEnd, ServerKilledDuringAnUploadThenTheNextSyncRepairs)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(GetParam()));
    std::mt19937 random(4);
    const std::string top = ws.localTopDirectory + "/";
    WriteFile(top + "a-big.bin", Body(random, 32 << 20));
    WriteFile(top + "b.txt", "b");
    fs::create_directory(top + "d");
    WriteFile(top + "d/c.txt", "c");

    KillServerDuring("a-big.bin");
    ASSERT_NO_FATAL_FAILURE(Sync());
    EXPECT_EQ(Find(ws.remoteTree, "/a-big.bin"), nullptr);
    EXPECT_EQ(Find(ws.remoteTree, "/b.txt"), nullptr);
    EXPECT_NE(Find(ws.remoteTree, "/d/c.txt"), nullptr);
    EXPECT_EQ(view.LastStatus(),
              "Run cut short: the connection to the server was lost at a-big.bin; 2 of 3 files not transferred");
    EXPECT_TRUE(StatusShown("Could not upload: a-big.bin"));
    EXPECT_EQ(ws.run.runsCutShort, 1);
    EXPECT_EQ(ws.run.filesTransferred, 1);

    ASSERT_NO_FATAL_FAILURE(Reconnect());
    ASSERT_NO_FATAL_FAILURE(Sync());
    EXPECT_TRUE(Completed());
    EXPECT_EQ(ReadTree(ServerSite()), ReadTree(ws.localTopDirectory));
    EXPECT_EQ(CountStarting(view.logLines, "STOR "), 2);
}

INSTANTIATE_TEST_SUITE_P(BothServers, SyncEndToEnd,
                         ::testing::Values(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::Vsftpd));

// vsftpd runs as an ordinary account, so a read-only directory refuses the store; pyftpdlib runs
// as root here and would not.
class RefusedUpload : public SyncEndToEnd {};

TEST_F(RefusedUpload, ErrorPromptNoCancelsYesGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(RealFtpServer::Kind::Vsftpd));
    ASSERT_TRUE(server->makeDir("site/ro"));
    ASSERT_EQ(::chmod((ServerSite() + "/ro").c_str(), 0555), 0);
    const std::string top = ws.localTopDirectory + "/";
    fs::create_directory(top + "ro");
    WriteFile(top + "ro/a.txt", "a");
    WriteFile(top + "ro/b.txt", "b");
    WriteFile(top + "z.txt", "z");
    options.errorPrompt = true;

    view.askAnswers = {PromptAnswer::No};
    ASSERT_NO_FATAL_FAILURE(Sync());
    EXPECT_EQ(view.prompts, (Lines{"Could not upload: a.txt: Try to continue with transfer?"}));
    EXPECT_TRUE(StatusShown("Transfer canceled"));
    EXPECT_FALSE(server->exists("site/z.txt"));

    view.prompts.clear();
    view.statuses.clear();
    view.askAnswers = {PromptAnswer::Yes, PromptAnswer::Yes};
    ws.options.errorPrompt = true;
    seq.StartTransfer(); // the same marks again
    ASSERT_TRUE(RunUntil([&] { return !seq.Running(); }));
    EXPECT_EQ(view.prompts, (Lines{"Could not upload: a.txt: Try to continue with transfer?",
                                   "Could not upload: b.txt: Try to continue with transfer?"}));
    EXPECT_EQ(server->readFile("site/z.txt"), "z");
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");
}

// Stop aborts the store in flight: the run ends "Transfer canceled", the aborted file is then
// reported, nothing after it is sent, and the session stays usable.
TEST_F(RefusedUpload, StopDuringAnUpload)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(RealFtpServer::Kind::Vsftpd));
    const std::string top = ws.localTopDirectory + "/";
    WriteFile(top + "big.bin", std::string(64 << 20, 'x'));
    WriteFile(top + "small.txt", "s");
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (ws.run.currentOperation == opTransferFile && ws.FtpClient1.BytesTransferred() > 0) {
            watch.stop();
            seq.Stop();
        }
    });
    watch.start(1);
    ASSERT_NO_FATAL_FAILURE(Sync());
    ASSERT_TRUE(RunUntil([&] { return view.LastStatus() == "Could not upload: big.bin"; }));
    EXPECT_TRUE(StatusShown("Transfer canceled"));
    EXPECT_FALSE(server->exists("site/small.txt"));
    EXPECT_EQ(CountStarting(view.logLines, "STOR "), 1);
    EXPECT_TRUE(ws.FtpClient1.Connected());

    // The session goes on as if nothing had happened: the listing walk and the whole run work.
    view.statuses.clear();
    ASSERT_NO_FATAL_FAILURE(Sync());
    EXPECT_TRUE(StatusShown("Remote Refresh Done"));
    EXPECT_TRUE(Completed());
    EXPECT_EQ(server->readFile("site/small.txt"), "s");
    EXPECT_EQ(server->readFile("site/big.bin").value_or("").size(), size_t(64 << 20));
}
