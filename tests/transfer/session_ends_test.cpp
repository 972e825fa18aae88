// How a session's work ends against the scripted FTP server: a multi-site run that meets a
// failing site, a Refresh right after Stop, and an upload site whose remote directory is missing.
#include "SessionFixture.h"

#include "support/FtpServers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using fernhop::test::ScriptedFtpServer;
using Lines = std::vector<std::string>;

namespace {

// Logs in "joe" / "pw"; `rules` come first, then plain answers and `listing` for every LIST.
std::string Script(const std::string &rules, const std::string &listing = "")
{
    return R"({"rules": [)" + rules + R"(
        {"match": "^USER joe$", "reply": "331 Password please."},
        {"match": "^PASS pw$", "reply": "230 Logged in."},
        {"match": "^SYST$", "reply": "215 UNIX Type: L8"},
        {"match": "^CWD ", "reply": "250 OK."},
        {"match": "^MKD ", "reply": "257 Created."},
        {"match": "^PWD$", "reply": "257 \"/\" is current."},
        {"match": "^TYPE ", "reply": "200 OK."},
        {"match": "^PASV$", "action": "pasv"},
        {"match": "^LIST", "action": "send", "data": [)" +
           listing + R"(]},
        {"match": "^STOR ", "action": "receive"},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})";
}

std::string DirLine(const std::string &name) { return "\"drwxr-xr-x   2 web  users  0 Mar  3  2001 " + name + "\""; }
std::string FileLine(const std::string &name) { return "\"-rw-r--r--   1 web  users  5 Mar  3  2001 " + name + "\""; }

size_t Index(const Lines &lines, const std::string &line, size_t from = 0)
{
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i] == line)
            return i;
    return lines.size();
}

class SessionEnds : public ::testing::Test, public SessionFixture {
protected:
    void StartServer(const std::string &script)
    {
        server = ScriptedFtpServer::start(script);
        ASSERT_TRUE(server);
    }
    SiteSpec Site(const std::string &nick)
    {
        SiteSpec siteSpec;
        siteSpec.nickName = nick;
        siteSpec.port = server->port();
        siteSpec.localDir = Directory("local-" + nick);
        siteSpec.savedPcTime = siteSpec.savedServerTime = 40000; // measured: no check file
        return siteSpec;
    }

    std::unique_ptr<ScriptedFtpServer> server;
};

} // namespace

TEST_F(SessionEnds, MultiSiteRunQuitsASiteWhoseListingFailedAndGoesOnWithTheNext)
{
    StartServer(Script(R"({"match": "^CWD /gone$", "reply": "550 No such directory."},)"));
    app.options.exit = true;
    SiteSpec broken = Site("broken");
    broken.remoteDir = "/gone";
    broken.download = true; // nothing to create: its listing simply fails
    AddSite(app.sites, broken);
    SiteSpec unchecked = Site("unchecked");
    unchecked.user = "";
    AddSite(app.sites, unchecked);
    SiteSpec good = Site("good");
    ASSERT_TRUE(WriteFile(good.localDir + "/index.html", "<p>"));
    AddSite(app.sites, good);

    std::vector<std::string> offsetPageSites; // the site the "Time Offset" page shows, each refresh
    app.offsetLabelsChanged = [&] { offsetPageSites.push_back(app.sites.Current().NickName); };

    app.session.StartMultiSiteRun();
    ASSERT_TRUE(RunUntil([&] { return view.closes > 0; })) << server->log();
    EXPECT_EQ(offsetPageSites, (Lines{"broken", "unchecked", "good"}));

    // The failed site was left with QUIT, the one failing its checks passed over, the last
    // one compared and uploaded.
    EXPECT_EQ(server->connectionCount(), 2);
    const Lines sent = server->commands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "QUIT"), 2);
    EXPECT_EQ(server->uploaded("/index.html"), "<p>");
    EXPECT_TRUE(view.Shown("Please enter your username under the configuration menu"));
    EXPECT_FALSE(app.session.multiSiteRun);
    EXPECT_EQ(view.closes, 1);
}

TEST_F(SessionEnds, RefreshRightAfterStopWaitsForTheStoppedCommandsReply)
{
    // The listing of the top names "a"; the change into it is answered late.
    StartServer(Script(R"({"match": "^CWD /www/a$", "reply": "250 OK.", "delay_ms": 400},
                          {"match": "^LIST", "action": "send", "data": [)" +
                       DirLine("a") + ", " + FileLine("top.html") + R"(], "times": 2},)",
                       FileLine("inner.html")));
    app.options.forceRerfesh = true;
    SiteSpec siteSpec = Site("web");
    siteSpec.remoteDir = "/www";
    UseSite(siteSpec);
    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(server->waitForCommand("^CWD /www/a$")) << server->log();

    app.sequencer.Stop(); // the Stop button while "CWD /www/a" awaits its reply
    app.session.RefreshRemoteButtonClick();
    EXPECT_EQ(view.LastStatus(), "Waiting for the server to answer the stopped command");
    ASSERT_TRUE(RunUntil([&] { return Settled() && view.Count("Remote Refresh Done") == 1; })) << server->log();

    // The refresh's own CWD goes out only after the stopped one was answered, so its reply is
    // never taken for the top's.
    const Lines sent = server->commands();
    const size_t stopped = Index(sent, "CWD /www/a");
    ASSERT_LT(stopped, sent.size());
    EXPECT_EQ(sent[stopped + 1], "CWD /www") << ::testing::PrintToString(sent);
    EXPECT_EQ(view.Count("Remote Refresh Canceled"), 1);
    EXPECT_NE(app.ws.remoteTree.First(), nullptr);
    EXPECT_EQ(app.ws.remoteTree.Count(), 3); // a, a/inner.html, top.html
}

TEST_F(SessionEnds, ConnectWhileTheStoppedAttemptIsStillEndingIsRefused)
{
    StartServer(Script(""));
    UseSite(Site("web"));
    ASSERT_TRUE(app.session.Connect());
    app.sequencer.Stop(); // Stop during the connection attempt: its quit is still to come
    EXPECT_FALSE(app.session.Connect());
    EXPECT_EQ(view.LastStatus(), "Please wait: the last connection is still closing");
    ASSERT_TRUE(RunUntil([&] { return DisconnectionsSeen() == 1; }));
    NoteDisconnections();
    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
}

TEST_F(SessionEnds, UploadSiteCreatesItsMissingRemoteDirectoryLevelByLevelAfterAsking)
{
    // "/new/deep" exists only once it has been made.
    StartServer(Script(R"({"match": "^CWD /new/deep$", "reply": "550 No such directory.", "times": 1},)"));
    app.options.compare = app.options.update = true;
    SiteSpec siteSpec = Site("web");
    siteSpec.remoteDir = "/new/deep";
    ASSERT_TRUE(WriteFile(siteSpec.localDir + "/index.html", "<p>"));
    UseSite(siteSpec);

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(RunUntil([&] { return server->uploaded("/new/deep/index.html").has_value(); })) << server->log();
    ASSERT_TRUE(RunUntil([&] { return Settled(); }));

    const Lines sent = server->commands();
    const size_t first = Index(sent, "CWD /new/deep");
    ASSERT_LT(first + 4, sent.size());
    EXPECT_EQ(Lines(sent.begin() + long(first), sent.begin() + long(first) + 4),
              (Lines{"CWD /new/deep", "MKD /new", "MKD /new/deep", "CWD /new/deep"}));
    EXPECT_EQ(view.prompts, (Lines{"The remote directory /new/deep does not exist or cannot be entered.: Create it?"}));
    EXPECT_TRUE(view.Logged("FERNHOP: created /new/deep"));
    EXPECT_FALSE(app.walk.ListingFailed());
}

TEST_F(SessionEnds, MissingRemoteDirectoryIsNotCreatedWhenTheUserSaysNo)
{
    StartServer(Script(R"({"match": "^CWD /new$", "reply": "550 No such directory."},)"));
    SiteSpec siteSpec = Site("web");
    siteSpec.remoteDir = "/new";
    UseSite(siteSpec);
    view.askAnswers = {PromptAnswer::No};

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    const Lines sent = server->commands();
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string &c) { return c.rfind("MKD", 0) == 0; }), 0);
    EXPECT_TRUE(app.walk.ListingFailed());
    EXPECT_EQ(view.LastStatus(), "Refresh Canceled - Could not change to remote directory");
}

namespace {
// The fourth PASV gets "500 OOPS" and the connection is closed; a new session works again. (The
// empty top takes two listings: LIST -a, then a plain LIST to see that "-a" was no name.)
const std::string kOopsRules = R"({"match": "^PASV$", "action": "pasv", "times": 3},
    {"match": "^PASV$", "reply": "500 OOPS: vsf_sysutil_bind", "close": true, "times": 1},)";
} // namespace

TEST_F(SessionEnds, WindowAsksToReconnectAndTheRunGoesOnWithWhatIsLeft)
{
    StartServer(Script(kOopsRules));
    app.options.compare = app.options.update = true;
    SiteSpec siteSpec = Site("web");
    for (const char *name : {"a.html", "b.html", "c.html"})
        ASSERT_TRUE(WriteFile(siteSpec.localDir + "/" + name, name));
    UseSite(siteSpec);

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(RunUntil([&] { return server->uploaded("/c.html").has_value() && Settled() && app.session.connected; }))
        << server->log();
    EXPECT_EQ(view.prompts, (Lines{"The connection to the server was lost: protocol error: Reconnect and continue?"}));
    EXPECT_EQ(server->connectionCount(), 2);
    for (const char *name : {"a.html", "b.html"})
        EXPECT_EQ(server->uploaded(std::string("/") + name), std::optional<std::string>(name));
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");
    EXPECT_EQ(app.ws.counters.transferRemain, 0);
    EXPECT_EQ(app.ws.remoteTree.Count(), 3);
}

TEST_F(SessionEnds, NoToReconnectEndsTheRunAndNamesTheFileInHand)
{
    StartServer(Script(kOopsRules));
    app.options.compare = app.options.update = true;
    SiteSpec siteSpec = Site("web");
    for (const char *name : {"a.html", "b.html", "c.html"})
        ASSERT_TRUE(WriteFile(siteSpec.localDir + "/" + name, name));
    UseSite(siteSpec);
    view.askAnswers = {PromptAnswer::No};

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(RunUntil([&] { return DisconnectionsSeen() == 1; })) << server->log();
    EXPECT_EQ(server->connectionCount(), 1);
    EXPECT_EQ(view.Count("Could not upload: b.html"), 1);
    EXPECT_FALSE(server->uploaded("/c.html").has_value());
    EXPECT_FALSE(app.sequencer.Running());
}

TEST_F(SessionEnds, DownloadCutOffByAClosedConnectionIsFetchedAgainAfterReconnecting)
{
    StartServer(Script(R"({"match": "^RETR /b.txt$", "reply": "150 Opening data connection.", "close": true, "times": 1},
                          {"match": "^RETR /a.txt$", "action": "send", "data": "aaaaa"},
                          {"match": "^RETR /b.txt$", "action": "send", "data": "bbbbb"},
                          {"match": "^RETR /c.txt$", "action": "send", "data": "ccccc"},)",
                       FileLine("a.txt") + ", " + FileLine("b.txt") + ", " + FileLine("c.txt")));
    app.options.compare = app.options.update = true;
    SiteSpec siteSpec = Site("mirror");
    siteSpec.download = true;
    UseSite(siteSpec);

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(RunUntil([&] { return view.Count("Local Site Mirror Complete") == 1 && Settled(); })) << server->log();
    EXPECT_EQ(view.prompts, (Lines{"The connection to the server was lost: connection aborted: Reconnect and continue?"}));
    EXPECT_EQ(server->connectionCount(), 2);
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        EXPECT_EQ(ReadWholeFile(siteSpec.localDir + "/" + name), std::string(5, name[0])) << name;
    // No temporary file of the cut-off fetch is left behind.
    EXPECT_EQ(QDir(QString::fromStdString(siteSpec.localDir)).entryList(QDir::Files | QDir::Hidden).size(), 3);
    EXPECT_EQ(view.Count("Could not download: b.txt"), 0);
}

TEST_F(SessionEnds, ASilentServerEndsTheSessionWithItsReasonShownAndTheRunCountsItsFileAsFailed)
{
    StartServer(Script(R"({"match": "^STOR /b.html$", "times": 1},)")); // never answered
    app.options.compare = app.options.update = true;
    app.options.replyTimeOut = 1;
    SiteSpec siteSpec = Site("web");
    for (const char *name : {"a.html", "b.html"})
        ASSERT_TRUE(WriteFile(siteSpec.localDir + "/" + name, name));
    UseSite(siteSpec);
    view.askAnswers = {PromptAnswer::No}; // no reconnect

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(RunUntil([&] { return DisconnectionsSeen() == 1; })) << server->log();
    EXPECT_EQ(view.LastStatus().rfind("Server did not answer STOR /b.html for 1 second", 0), 0u) << view.LastStatus();
    EXPECT_TRUE(std::any_of(view.logLines.begin(), view.logLines.end(), [](const std::string &l) {
        return l.rfind("FTP ERROR: Server did not answer STOR /b.html", 0) == 0;
    }));
    EXPECT_EQ(view.Count("Could not upload: b.html"), 1);
    EXPECT_EQ(server->uploaded("/a.html"), std::optional<std::string>("a.html"));
}

TEST_F(SessionEnds, TheConnectTimeOutIsNotReportedDuringTheReconnectPause)
{
    StartServer(Script(R"({"match": "^STOR /b.html$", "times": 1},)")); // never answered
    app.options.compare = app.options.update = true;
    app.options.connectTimeOut = 1;
    app.session.reconnectAutomatically = true;
    app.session.reconnectPausesMs = {0, 60000};
    SiteSpec siteSpec = Site("web");
    for (const char *name : {"a.html", "b.html"})
        ASSERT_TRUE(WriteFile(siteSpec.localDir + "/" + name, name));
    UseSite(siteSpec);

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(RunUntil([&] {
        const Lines sent = server->commands();
        return std::find(sent.begin(), sent.end(), "STOR /b.html") != sent.end();
    })) << server->log();
    server.reset(); // the connection goes, and the first reconnect is refused
    ASSERT_TRUE(RunUntil([&] {
        return std::count(view.logLines.begin(), view.logLines.end(), "FERNHOP: Connection lost; reconnecting in 60 s (try 2 of 3)") == 1;
    }));
    // The one-second tick goes on during the pause: nothing is connecting, nothing times out.
    for (int tick = 0; tick < 5; ++tick)
        app.session.Timer1Timer();
    for (const std::string &line : view.logLines)
        EXPECT_EQ(line.rfind("Timeout connecting to", 0), std::string::npos) << line;
    EXPECT_TRUE(app.session.Reconnecting());
}
