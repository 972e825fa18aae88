// What the remote tree may stand for, driven as a user drives the program: Stop during the
// listing and then Compare, a server changed behind the listing cache, a directory made or
// entries deleted behind it (a killed run), and a server whose machine listings end lines with
// a bare LF.
#include "SessionFixture.h"

#include "site/ListingCache.h"
#include "site/LocalScan.h"
#include "support/FtpServers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using fernhop::test::RealFtpServer;
using fernhop::test::ScriptedFtpServer;
using Lines = std::vector<std::string>;

namespace {

std::string Dir(const std::string &name) { return "drwxr-xr-x   2 web  users   512 Jan 12  1996 " + name; }
std::string File(const std::string &name) { return "-rw-r--r--   1 web  users  4 Mar  3  2001 " + name; }

// Logs in "joe"; `rules` come first, then one LIST answer per listing in the order given.
std::string Script(const std::string &rules, const std::vector<Lines> &listings)
{
    std::string script = R"({"rules": [)" + rules;
    for (const Lines &listing : listings) {
        std::string data;
        for (const std::string &line : listing)
            data += (data.empty() ? "\"" : ", \"") + line + "\"";
        script += R"({"match": "^LIST", "action": "send", "times": 1, "data": [)" + data + "]},\n";
    }
    return script + fernhop::test::kScriptedLoginRules + R"(
        {"match": "^RETR ", "action": "send", "data": "file"},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})";
}

bool Has(const Lines &lines, const std::string &line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class RemoteState : public ::testing::Test, public SessionFixture {
protected:
    SiteSpec ScriptedSite(const std::string &nick, bool download)
    {
        SiteSpec siteSpec;
        siteSpec.nickName = nick;
        siteSpec.port = scripted->port();
        siteSpec.localDir = Directory("local-" + nick);
        siteSpec.download = download;
        siteSpec.savedPcTime = siteSpec.savedServerTime = 40000; // measured: no check file
        return siteSpec;
    }
    SiteSpec RealSite(const std::string &nick, const std::string &localDir)
    {
        SiteSpec siteSpec;
        siteSpec.nickName = nick;
        siteSpec.port = real->port();
        siteSpec.user = real->user();
        siteSpec.password = real->password();
        siteSpec.localDir = localDir;
        siteSpec.remoteDir = "/www";
        return siteSpec;
    }
    // Connect, the listing (or the cache), compare and run as the options say, Disconnect.
    void Session()
    {
        NoteDisconnections();
        ASSERT_TRUE(app.session.Connect());
        ASSERT_TRUE(WaitForSession()) << (real ? real->log() : scripted->log());
        sessionLog = view.logLines;
        notListed = app.walk.NotListedDirectories();
        ASSERT_TRUE(Disconnect());
    }
    bool Logged(const std::string &start) const
    {
        return std::any_of(sessionLog.begin(), sessionLog.end(),
                           [&](const std::string &l) { return l.rfind(start, 0) == 0; });
    }
    // Connects and presses Stop once the server has received `command` (whose reply it delays),
    // then waits for that reply: the Compare button is live again.
    void StopDuring(const std::string &command)
    {
        ASSERT_TRUE(app.session.Connect());
        ASSERT_TRUE(RunUntil([&] { return Has(scripted->commands(), command); })) << scripted->log();
        app.sequencer.Stop(); // the Stop button
        ASSERT_TRUE(RunUntil([&] { return Settled() && !app.ws.FtpClient1.Busy(); }));
        EXPECT_EQ(view.Count("Remote Refresh Canceled"), 1);
    }

    std::unique_ptr<ScriptedFtpServer> scripted;
    std::unique_ptr<RealFtpServer> real;
    Lines sessionLog;
    Lines notListed;
};

} // namespace

// A download site mirroring a/, b/, c/ and a top file: Stop while b is being entered, then
// Compare and Download. The directories never listed are not empty: nothing under them goes.
TEST_F(RemoteState, StopDuringTheListingThenCompareDeletesNothingOnADownloadSite)
{
    scripted = ScriptedFtpServer::start(Script(R"({"match": "^CWD /b$", "reply": "250 OK.", "delay_ms": 1500},)",
                                               {{Dir("a"), Dir("b"), Dir("c"), File("top.html")}, {File("x.txt")}}));
    ASSERT_TRUE(scripted);
    const SiteSpec site = ScriptedSite("mirror", true);
    for (const char *path : {"/a/x.txt", "/b/y.txt", "/c/z.txt", "/top.html"})
        ASSERT_TRUE(WriteFile(site.localDir + path, "file"));
    UseSite(site);
    app.options.connections = 1; // the listings are scripted in the order one connection asks for them
    ASSERT_NO_FATAL_FAILURE(StopDuring("CWD /b"));

    app.CompareClick();
    EXPECT_EQ(app.ws.counters.deleteTotal, 0);
    EXPECT_EQ(view.LastStatus(), "Compare Done - [0 delete , 0 create, 0 transfer] - the remote listing is partial");
    EXPECT_TRUE(view.Logged("FERNHOP: the remote listing is partial (2 directories not listed); nothing under what "
                            "was not listed is deleted on either side"));
    app.UpdateClick();
    ASSERT_TRUE(RunUntil([&] { return Settled(); }));
    for (const char *path : {"/a/x.txt", "/b/y.txt", "/c/z.txt", "/top.html"})
        EXPECT_EQ(ReadWholeFile(site.localDir + path), "file") << path;
}

// The same Stop on an upload site: the server's directories never listed are not marked for
// removal (the server would refuse each RMD, one prompt each).
TEST_F(RemoteState, StopDuringTheListingThenCompareRemovesNothingOnAnUploadSite)
{
    scripted = ScriptedFtpServer::start(Script(R"({"match": "^CWD /b$", "reply": "250 OK.", "delay_ms": 1500},)",
                                               {{Dir("a"), Dir("b"), Dir("c")}, {File("x.txt")}}));
    ASSERT_TRUE(scripted);
    const SiteSpec site = ScriptedSite("web", false);
    ASSERT_TRUE(WriteFile(site.localDir + "/a/x.txt", "file"));
    UseSite(site);
    ASSERT_NO_FATAL_FAILURE(StopDuring("CWD /b"));

    app.CompareClick();
    EXPECT_EQ(app.ws.counters.deleteTotal, 0);
    for (SiteNode *n = app.ws.remoteTree.First(); n; n = app.ws.remoteTree.Next(n))
        EXPECT_NE(n->detail.action, actRemoveDir) << n->detail.Path();
}

// Stop before the top directory's listing is in: the remote tree is empty, and a download site
// must not take that for an empty server.
TEST_F(RemoteState, StopBeforeTheTopIsListedThenCompareDeletesNothing)
{
    scripted = ScriptedFtpServer::start(
        Script(R"({"match": "^LIST", "action": "send", "delay_ms": 1500, "data": ["x"]},)", {}));
    ASSERT_TRUE(scripted);
    const SiteSpec site = ScriptedSite("mirror", true);
    ASSERT_TRUE(WriteFile(site.localDir + "/top.html", "file"));
    UseSite(site);
    ASSERT_NO_FATAL_FAILURE(StopDuring("LIST -a"));

    app.CompareClick();
    EXPECT_EQ(app.ws.counters.deleteTotal, 0);
    EXPECT_EQ(view.LastStatus(), "Compare Done - [0 delete , 0 create, 0 transfer] - the remote listing is partial");
}

// A server whose machine listings end each line with a bare LF: read as LIST lines are, not as
// an empty directory. A listing with bytes but not one line that reads is a failed one.
TEST_F(RemoteState, MachineListingsWithBareLineFeedsAreReadAndUnreadableOnesDeleteNothing)
{
    const std::string lfListing = "type=dir;modify=20200101000000; a\\nmodify=20200101000000;size=4;type=file; top.html\\n";
    scripted = ScriptedFtpServer::start(Script(R"({"match": "^FEAT$", "reply": ["211-Features:", " MLST type*;size*;modify*;", "211 End"]},
        {"match": "^MLSD$", "action": "send", "times": 1, "data": ")" + lfListing + R"("},
        {"match": "^MLSD$", "action": "send", "times": 1, "data": "what is this\r\n"},)",
                                               {}));
    ASSERT_TRUE(scripted);
    app.options.compare = app.options.update = true;
    const SiteSpec site = ScriptedSite("mirror", true);
    for (const char *path : {"/a/x.txt", "/top.html"})
        ASSERT_TRUE(WriteFile(site.localDir + path, "file"));
    UseSite(site);
    ASSERT_NO_FATAL_FAILURE(Session());

    EXPECT_EQ(notListed, Lines{"/a"});
    EXPECT_EQ(ReadWholeFile(site.localDir + "/a/x.txt"), "file");
    EXPECT_EQ(ReadWholeFile(site.localDir + "/top.html"), "file");
    EXPECT_TRUE(Logged("FERNHOP: could not list /a (its listing held nothing that could be read)"));
}

namespace {
class RemoteStateReal : public RemoteState, public ::testing::WithParamInterface<RealFtpServer::Kind> {
protected:
    void SetUp() override
    {
        real = RealFtpServer::start(GetParam());
        ASSERT_TRUE(real);
        ASSERT_TRUE(real->makeDir("www"));
        app.options.compare = app.options.update = true;
        local = Directory("site");
    }
    std::string local;
};
} // namespace

// The server emptied behind the listing cache: the top directory's listing shows it, and the
// site is listed and uploaded again. Unchanged, the cache is taken (vsftpd lists the minute of
// the upload; pyftpdlib the exact time MFMT gave the file).
TEST_P(RemoteStateReal, AServerChangedBehindTheCacheIsListedAgain)
{
    for (const char *path : {"/index.html", "/a/page.html"})
        ASSERT_TRUE(WriteFile(local + path, "page"));
    UseSite(RealSite("web", local));
    ASSERT_NO_FATAL_FAILURE(Session());
    ASSERT_EQ(real->readFile("www/a/page.html"), "page");

    ASSERT_NO_FATAL_FAILURE(Session());
    EXPECT_TRUE(Logged("FERNHOP: the server's top directory lists as the cached file list has it")) << real->log();
    EXPECT_EQ(view.Count("Compare Done - [0 delete , 0 create, 0 transfer]"), 1);

    std::filesystem::remove_all(real->root() + "/www/a");
    std::filesystem::remove(real->root() + "/www/index.html");
    ASSERT_NO_FATAL_FAILURE(Session());
    EXPECT_TRUE(Logged("FERNHOP: the cached file list is not used: a is no longer on the server; the server is listed"));
    EXPECT_EQ(real->readFile("www/index.html"), "page");
    EXPECT_EQ(real->readFile("www/a/page.html"), "page");
}

// A run killed after its MKD, or a directory made on the server by other means, below the top:
// the next run's MKD is refused, the directory is found there and the run goes on into it. Its
// files are filed under it, never beside its parent's files (where a later run would delete the
// parent's file of that name).
TEST_P(RemoteStateReal, ADirectoryAlreadyThereIsUsedAndItsFilesStayWhereTheyBelong)
{
    app.options.errorPrompt = false; // as in an unattended run: a failure does not stop it
    for (const char *path : {"/index.html", "/a/index.html"})
        ASSERT_TRUE(WriteFile(local + path, "home"));
    UseSite(RealSite("web", local));
    ASSERT_NO_FATAL_FAILURE(Session());

    ASSERT_TRUE(real->makeDir("www/a/section"));
    ASSERT_TRUE(WriteFile(local + "/a/section/index.html", "section"));
    ASSERT_TRUE(LoadLocalTree(app.ws));
    ASSERT_NO_FATAL_FAILURE(Session());
    EXPECT_TRUE(Logged("FERNHOP: /www/a/section is on the server already; the run goes on as if it had been made"));
    EXPECT_EQ(view.Count("Could not create: section"), 0);
    EXPECT_EQ(real->readFile("www/a/section/index.html"), "section");

    ASSERT_NO_FATAL_FAILURE(Session());
    EXPECT_EQ(real->readFile("www/a/index.html"), "home");
    EXPECT_EQ(real->readFile("www/index.html"), "home");
    // Nothing to delete or create (vsftpd's listed minute of a fresh upload may still be asked
    // about with MDTM, and found the same).
    EXPECT_TRUE(Logged("Compare Done - [0 delete , 0 create, "));
}

// A run killed after its deletions leaves them in the cache: the next run's DELE and RMD are
// refused because the entries are gone, which the listing of their directory shows. They count
// as done and leave the tree. A file that is there and cannot be deleted still fails.
TEST_P(RemoteStateReal, ADeletionThatAlreadyHappenedCountsAsDone)
{
    for (const char *path : {"/index.html", "/a/old.html", "/a/old/x.html", "/a/keep.html"})
        ASSERT_TRUE(WriteFile(local + path, "page"));
    UseSite(RealSite("web", local));
    ASSERT_NO_FATAL_FAILURE(Session());

    for (const char *path : {"/a/old.html", "/a/old/x.html", "/a/old"})
        std::filesystem::remove(local + path);
    std::filesystem::remove_all(real->root() + "/www/a/old");
    std::filesystem::remove(real->root() + "/www/a/old.html");
    ASSERT_TRUE(LoadLocalTree(app.ws));
    ASSERT_NO_FATAL_FAILURE(Session());
    EXPECT_EQ(view.Count("Compare Done - [3 delete , 0 create, 0 transfer]"), 1);
    EXPECT_TRUE(Logged("FERNHOP: /www/a/old.html is not on the server any more; it counts as deleted"));
    EXPECT_EQ(view.Count("Could not delete: old.html") + view.Count("Could not delete: old"), 0);
    EXPECT_TRUE(view.prompts.empty()) << view.prompts.front();

    ASSERT_NO_FATAL_FAILURE(Session());
    EXPECT_EQ(view.Count("Compare Done - [0 delete , 0 create, 0 transfer]"), 1);
    EXPECT_EQ(real->readFile("www/a/keep.html"), "page");
}

INSTANTIATE_TEST_SUITE_P(Servers, RemoteStateReal,
                         ::testing::Values(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::Vsftpd));
