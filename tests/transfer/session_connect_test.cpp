// The session against the scripted FTP server: what is sent from Connect to QUIT, the time-out,
// the proxy, the login prompts, the shortcuts of the post-login steps and the multi-site run's
// ends.
#include "SessionFixture.h"

#include "site/ListingCache.h"
#include "site/TreeEntries.h"
#include "support/FtpServers.h"

#include <gtest/gtest.h>

#include <memory>

#include <fcntl.h>
#include <sys/stat.h>

using fernhop::test::ScriptedFtpServer;
using Lines = std::vector<std::string>;

namespace {

// A server that logs in "joe" / "pw" and lists `listing` for every LIST; `rules` come first.
std::string Script(const std::string &rules, const std::string &listing = "", const std::string &greeting = "")
{
    return R"({)" + (greeting.empty() ? std::string() : R"("greeting": )" + greeting + ",") + R"("rules": [)" +
           rules + R"(
        {"match": "^USER joe$", "reply": "331 Password please."},
        {"match": "^PASS pw$", "reply": "230 Logged in."},
        {"match": "^PASS ", "reply": "530 No."},
        {"match": "^SYST$", "reply": "215 UNIX Type: L8"},
        {"match": "^CWD ", "reply": "250 OK."},
        {"match": "^PWD$", "reply": "257 \"/\" is current."},
        {"match": "^TYPE ", "reply": "200 OK."},
        {"match": "^PASV$", "action": "pasv"},
        {"match": "^LIST", "action": "send", "data": [)" +
           listing + R"(]},
        {"match": "^STOR ", "action": "receive"},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})";
}

const std::string kFileLine = R"("-rw-r--r--   1 web  users  5 Mar  3  2001 a.html")";

bool Has(const Lines &lines, const std::string &line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool HasPrefix(const Lines &lines, const std::string &prefix)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::string &l) { return l.rfind(prefix, 0) == 0; });
}

class SessionScripted : public ::testing::Test, public SessionFixture {
protected:
    void StartServer(const std::string &script)
    {
        server = ScriptedFtpServer::start(script);
        ASSERT_TRUE(server);
    }
    SiteSpec Site(const std::string &nick = "web")
    {
        SiteSpec siteSpec;
        siteSpec.nickName = nick;
        siteSpec.port = server ? server->port() : 21;
        siteSpec.localDir = Directory("local-" + nick);
        return siteSpec;
    }

    std::unique_ptr<ScriptedFtpServer> server;
};

} // namespace

TEST_F(SessionScripted, CountdownThroughTheProxyTimesOutOnceAndExitClosesTheWindow)
{
    StartServer(Script("", "", "[]")); // accepts, never greets
    app.session.Timer1().stop();       // the test gives the ticks
    app.options.connectTimeOut = 1;
    app.options.exit = true;
    app.options.proxy = {"127.0.0.1", server->port(), true};
    SiteSpec siteSpec = Site();
    siteSpec.server = "ftp.example.com";
    UseSite(siteSpec);

    ASSERT_TRUE(app.session.Connect());
    app.session.Timer1Timer();
    EXPECT_EQ(view.LastStatus(), "Connecting via WinGate to: ftp.example.com  Timeout: 0");
    EXPECT_EQ(view.closes, 0);
    app.session.Timer1Timer(); // a countdown at 0 (connectTimeOut 0 too) ends at the next tick
    EXPECT_TRUE(view.Logged("Timeout connecting to: ftp.example.com"));
    EXPECT_EQ(DisconnectionsSeen(), 1);
    EXPECT_EQ(view.closes, 1);
    EXPECT_EQ(view.texts[TextSlot::connectCaption], "&Connect");
    // Whatever the dropped attempt still had queued runs no second disconnection.
    app.session.Timer1Timer();
    RunFor(200);
    EXPECT_EQ(DisconnectionsSeen(), 1);
    EXPECT_TRUE(server->commands().empty());
}

TEST_F(SessionScripted, FailedConnectionWithExitClosesAfterTheDisconnectionSteps)
{
    app.options.exit = true;
    app.options.sound.on[size_t(SoundEvent::Error) - 1] = true; // the refusal plays, it does not beep
    SiteSpec siteSpec = Site();
    siteSpec.port = fernhop::test::freeLoopbackPort(); // nobody listens
    UseSite(siteSpec);

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(RunUntil([&] { return view.closes > 0; }));
    EXPECT_EQ(DisconnectionsSeen(), 1);
    EXPECT_TRUE(view.Logged("FTP ERROR: connection refused"));
    EXPECT_FALSE(app.session.connected);
    EXPECT_EQ(view.beeps, 0); // never logged in
}

TEST_F(SessionScripted, WinGateSendsUserAtServerToTheProxyPort)
{
    StartServer(Script(R"({"match": "^USER joe@ftp.example.com$", "reply": "331 Password please."},)", kFileLine));
    app.options.proxy = {"127.0.0.1", server->port(), true};
    app.options.timeOffset = true; // no clock check
    SiteSpec siteSpec = Site();
    siteSpec.server = "ftp.example.com";
    siteSpec.port = 1; // would refuse: the connection must go to the proxy's port
    UseSite(siteSpec);

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    const Lines sent = server->commands();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0], "USER joe@ftp.example.com");
    EXPECT_EQ(sent[1], "PASS pw");
    EXPECT_EQ(view.texts[TextSlot::statusPanel0], "ftp.example.com");
    EXPECT_EQ(view.texts[TextSlot::statusPanel1], "UNIX TYPE: L8");
    EXPECT_EQ(view.texts[TextSlot::connectCaption], "Dis&connect");
    EXPECT_EQ(app.ws.remoteTree.Count(), 1);

    ASSERT_TRUE(Disconnect());
    EXPECT_TRUE(Has(server->commands(), "QUIT"));
    EXPECT_EQ(view.Count("Preparing to disconnect"), 1);
    EXPECT_EQ(DisconnectionsSeen(), 1);
    EXPECT_EQ(view.beeps, 1); // logged in, Disconnect sound off
    EXPECT_TRUE(app.ws.remoteTree.Empty());
}

// The cache stands once the top directory lists as cached: no check file, no walk below the top.
TEST_F(SessionScripted, CachedListingSkipsTheCheckFileAndTheWalk)
{
    StartServer(Script("", kFileLine));
    app.options.compare = true;
    SiteSpec siteSpec = Site();
    ASSERT_TRUE(WriteFile(siteSpec.localDir + "/a.html", "local"));
    const std::time_t old = 946684800; // 2000: the server's copy of 2001 is newer
    struct timespec times[2] = {{old, 0}, {old, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (siteSpec.localDir + "/a.html").c_str(), times, 0), 0);
    UseSite(siteSpec); // no saved server time: only the cache spares the check file
    TDetail entry;
    entry.kind = ekFile;
    entry.name = "a.html";
    entry.size = 5;
    entry.modified = EncodeDate(2001, 3, 3) + EncodeTime(12, 0, 0, 0); // within the listed day
    AddChildEntry(app.ws, app.ws.remoteTree, nullptr, entry);
    app.ws.saveListingCache();
    ClearTree(app.ws, app.ws.remoteTree);

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    EXPECT_EQ(server->commands(), (Lines{"USER joe", "PASS pw", "SYST", "FEAT", "CWD /", "PASV", "LIST -a"}));
    EXPECT_EQ(view.Count("Cached FTP File List Loaded"), 1);
    EXPECT_EQ(view.Count("Compare Done - [0 delete , 0 create, 0 transfer]"), 1);
    EXPECT_EQ(app.ws.remoteTree.Count(), 1);
}

TEST_F(SessionScripted, SavedServerTimeSkipsTheCheckFileUntilTheOffsetIsCleared)
{
    StartServer(Script(R"({"match": "^STOR ", "reply": "553 Not allowed."},)", kFileLine));
    app.options.forceRerfesh = true; // whatever the cache holds
    SiteSpec siteSpec = Site();
    siteSpec.remoteDir = "www/"; // formatted before the check file, so it lands where the listing looks
    siteSpec.savedPcTime = EncodeDate(2024, 5, 1) + EncodeTime(10, 0);
    siteSpec.savedServerTime = EncodeDate(2024, 5, 1) + EncodeTime(9, 0);
    UseSite(siteSpec);

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    EXPECT_FALSE(HasPrefix(server->commands(), "STOR"));
    EXPECT_TRUE(Has(server->commands(), "LIST -a"));

    // Cleared, the next refresh measures again; a refused store leaves both times 0 and the
    // listing goes on without an offset.
    app.ClearOffsetClick();
    app.session.RefreshRemoteButtonClick();
    ASSERT_TRUE(RunUntil([&] { return Settled() && view.Count("Remote Refresh Done") == 2; })) << server->log();
    EXPECT_TRUE(Has(server->commands(), "STOR /www/fernhop.chk"));
    EXPECT_EQ(view.Count("Could not obtain date and time from FTP server."), 1);
    EXPECT_EQ(app.sites.Current().SavedPcTime, 0);
    EXPECT_EQ(app.sites.Current().SavedServerTime, 0);
    EXPECT_EQ(app.sites.Current().RemoteDir, "/www");
    EXPECT_EQ(app.ws.remoteTree.Count(), 1);
}

TEST_F(SessionScripted, CancelledPasswordPromptQuitsInsteadOfSendingAPassword)
{
    StartServer(Script(R"({"match": "^PASS secret$", "reply": "230 Logged in."},)"));
    app.options.timeOffset = true;
    SiteSpec siteSpec = Site();
    siteSpec.password = "";
    UseSite(siteSpec);
    view.inputAnswers = {"\x1b", "secret"};

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(RunUntil([&] { return DisconnectionsSeen() > 0; })) << server->log();
    EXPECT_EQ(server->commands(), (Lines{"USER joe", "QUIT"}));
    EXPECT_EQ(view.Count("Login canceled"), 1);
    EXPECT_EQ(view.prompts, (Lines{"Fernhop FTP Login: Please enter the login password:"}));

    // Answered, the typed password is used and kept for this connection only.
    NoteDisconnections();
    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    EXPECT_TRUE(Has(server->commands(), "PASS secret"));
    EXPECT_EQ(app.session.loginPassword, "secret");
    EXPECT_EQ(app.sites.Current().Password, "");
}

TEST_F(SessionScripted, RefusedAfterLoginCommandStillListsTheServer)
{
    StartServer(Script(R"({"match": "^SITE IDLE", "reply": "500 Unknown."},)", kFileLine));
    app.options.timeOffset = true;
    SiteSpec siteSpec = Site();
    siteSpec.afterLoginCommand = "SITE IDLE 60";
    UseSite(siteSpec);

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    const Lines sent = server->commands();
    ASSERT_GE(sent.size(), 6u);
    EXPECT_EQ(sent[4], "SITE IDLE 60");
    EXPECT_EQ(sent[5], "CWD /");
    EXPECT_EQ(app.ws.remoteTree.Count(), 1);
    EXPECT_EQ(app.ws.run.afterCommand, 0);
}

TEST_F(SessionScripted, SlashOptionKeepsTheRemoteDirectoryAsTyped)
{
    StartServer(Script(""));
    app.options.timeOffset = true;
    app.options.slash = true;
    SiteSpec siteSpec = Site();
    siteSpec.remoteDir = "www/html/";
    UseSite(siteSpec);

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    EXPECT_TRUE(Has(server->commands(), "CWD www/html/"));
    EXPECT_EQ(view.texts[TextSlot::remoteDirEdit], "www/html/");
    EXPECT_EQ(app.sites.Current().RemoteDir, "www/html/");
}

TEST_F(SessionScripted, MultiSiteRunWithoutFlaggedSiteConnectsNothing)
{
    app.session.StartMultiSiteRun();
    EXPECT_TRUE(view.Shown("There are no FTP sites entered in the FTP setup"));
    EXPECT_EQ(view.closes, 0);

    SiteSpec siteSpec = Site();
    siteSpec.multiSite = false;
    AddSite(app.sites, siteSpec);
    AddSite(app.sites, Site("other"));
    app.sites.ToggleMultiSite();
    app.options.exit = true;
    app.session.StartMultiSiteRun();

    EXPECT_TRUE(view.Shown("There are no active FTP sites in your setup"));
    EXPECT_FALSE(app.session.multiSiteRun);
    EXPECT_EQ(app.ws.run.currentOperation, opIdle);
    EXPECT_EQ(app.session.multiSiteIndex, 2);
    // With `exit` on an unattended run ends the program instead of waiting forever.
    EXPECT_EQ(view.closes, 1);
}

TEST_F(SessionScripted, MultiSiteRunMovesOnAndEndsCleanlyAtASiteThatFailsItsChecks)
{
    StartServer(Script(""));
    app.options.exit = true;
    app.options.timeOffset = true;
    SiteSpec first = Site("first");
    ASSERT_TRUE(WriteFile(first.localDir + "/index.html", "<p>"));
    AddSite(app.sites, first);
    SiteSpec unflagged = Site("unflagged");
    unflagged.multiSite = false;
    AddSite(app.sites, unflagged);
    SiteSpec broken = Site("broken");
    broken.user = "";
    AddSite(app.sites, broken);

    app.session.StartMultiSiteRun();
    ASSERT_TRUE(RunUntil([&] { return view.closes > 0; })) << server->log();

    // The first site was compared, uploaded and left with QUIT; the third failed its checks.
    EXPECT_EQ(server->uploaded("/index.html"), "<p>");
    EXPECT_TRUE(Has(server->commands(), "QUIT"));
    EXPECT_EQ(server->connectionCount(), 1);
    EXPECT_TRUE(view.Shown("Please enter your username under the configuration menu"));
    EXPECT_EQ(app.session.multiSiteIndex, 3); // moved on past it: no site left
    EXPECT_FALSE(app.session.multiSiteRun);
    EXPECT_EQ(view.texts[TextSlot::windowTitle], "Fernhop - v3.7b - broken");
    EXPECT_EQ(view.closes, 1);
}

TEST_F(SessionScripted, AnIncompleteListingDropsTheCachedCopy)
{
    StartServer(Script(R"({"match": "^CWD /sub$", "reply": "550 No such directory."},)",
                       R"("drwxr-xr-x   2 web  users  0 Mar  3  2001 sub", )" + kFileLine));
    app.options.forceRerfesh = true; // list the server although a cache exists
    SiteSpec siteSpec = Site();
    siteSpec.savedPcTime = siteSpec.savedServerTime = 40000; // measured: no check file
    UseSite(siteSpec);
    const std::string cache = ListingCachePath(siteSpec.localDir, app.sites.CurrentCacheKey());
    ASSERT_TRUE(WriteFile(cache, "old cache\r\n"));

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession());
    EXPECT_EQ(app.walk.NotListedDirectories(), Lines{"/sub"});
    ASSERT_TRUE(Disconnect());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(cache)));
    EXPECT_TRUE(view.Logged("FERNHOP: the remote listing was incomplete; its cached copy was dropped"));
}
