// The listing walk against the scripted FTP server: command order, the failure and stop paths,
// and the limits that keep a hostile server from steering it.
#include "ListingWalkFixture.h"

#include "support/FtpServers.h"

#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using fernhop::test::ScriptedFtpServer;
using Lines = std::vector<std::string>;

namespace {

std::string Dir(const std::string &name) { return "drwxr-xr-x   2 web  users   512 Jan 12  1996 " + name; }
std::string File(const std::string &name, int size)
{
    return "-rw-r--r--   1 web  users  " + std::to_string(size) + " Mar  3  2001 " + name;
}

// One LIST rule per listing, used once each in the order given.
std::string ListRules(const std::vector<Lines> &listings, bool unlimited = false)
{
    std::string rules;
    for (const Lines &listing : listings) {
        std::string data;
        for (const std::string &line : listing)
            data += (data.empty() ? "\"" : ", \"") + line + "\""; // no quotes in the lines
        rules += R"({"match": "^LIST", "action": "send", "data": [)" + data + "]" +
                 (unlimited ? "" : R"(, "times": 1)") + "},\n";
    }
    return rules;
}

std::string Script(const std::string &rules)
{
    return R"({"rules": [)" + rules + R"(
        {"match": "^USER ", "reply": "331 Password please."},
        {"match": "^PASS ", "reply": "230 Logged in."},
        {"match": "^SYST$", "reply": "215 UNIX Type: L8"},
        {"match": "^CWD ", "reply": "250 OK."},
        {"match": "^PWD$", "reply": "257 \"/\" is current."},
        {"match": "^TYPE ", "reply": "200 OK."},
        {"match": "^PASV$", "action": "pasv"},
        {"match": "^PORT ", "action": "port"},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})";
}

// Top "a" (with "c" below it) and "b"; "b" is listed last.
const std::vector<Lines> kSmallSite = {
    {"total 3", File("z.txt", 10), Dir("b"), Dir("a")},
    {Dir("c"), File("one.htm", 5)},
    {File("two.htm", 7)},
    {"total 0"},
};

class ListingWalkScripted : public ::testing::Test, public ListingWalkFixture {
protected:
    void Start(const std::string &rules)
    {
        server = ScriptedFtpServer::start(Script(rules));
        ASSERT_TRUE(server);
        ASSERT_TRUE(Login(server->port(), "joe", "pw")) << server->log();
    }

    Lines CommandsAfterLogin() const
    {
        // The login ends with FEAT.
        Lines all = server->commands();
        return Lines(all.begin() + std::min<size_t>(4, all.size()), all.end());
    }

    std::string Trace() const
    {
        return "commands: " + ::testing::PrintToString(server->commands()) +
               "\nstatuses: " + ::testing::PrintToString(view.statuses);
    }

    std::unique_ptr<ScriptedFtpServer> server;
};

} // namespace

TEST_F(ListingWalkScripted, PassiveWalkIsDepthFirstFromTheSlashTopThenCompareAndTransfer)
{
    passive = true;
    ws.debugTrace = true;
    options.compare = options.update = true;
    ASSERT_NO_FATAL_FAILURE(Start(ListRules(kSmallSite)));
    ASSERT_TRUE(Walk()) << Trace();

    const Lines listing = {"PASV", "LIST -a"};
    Lines expected;
    for (const char *dir : {"/", "/a", "/a/c", "/b"}) {
        expected.push_back(std::string("CWD ") + dir); // never "//a"
        expected.insert(expected.end(), listing.begin(), listing.end());
    }
    EXPECT_EQ(CommandsAfterLogin(), expected);
    EXPECT_EQ(Dump(ws.remoteTree),
              (Lines{"D /a", "D /a/c", "F /a/c/two.htm 7", "F /a/one.htm 5", "D /b", "F /z.txt 10"}));
    EXPECT_NE(std::find(view.logLines.begin(), view.logLines.end(), "DEBUG: changing to: /a/c"), view.logLines.end());
    EXPECT_TRUE(StatusSeen("Remote Refresh Done"));
    EXPECT_EQ(SoundCount(SoundEvent::Refresh), 1);
    EXPECT_TRUE(StatusSeen("Updating site"));
    EXPECT_EQ(transferStarts, 1);
    EXPECT_FALSE(ws.remoteListing);
}

bool Logged(const std::vector<std::string> &lines, const std::string &line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(ListingWalkScripted, RefusedDirectoriesAreMarkedNamedAndTheRunGoesOnEvenWhenTheLastIsRefused)
{
    remoteDirectory = "/www";
    options.compare = options.update = true;
    site.download = true; // a refused directory's local partner must be kept, not deleted
    ASSERT_NO_FATAL_FAILURE(Start(R"({"match": "^CWD /www/[ab]$", "reply": "550 No access."},)" +
                                  ListRules({kSmallSite[0]})));
    ASSERT_TRUE(Walk()) << Trace();

    // Active mode for the top only; "a" is skipped, the walk goes on to "b", the last one.
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"CWD /www", "PWD", "TYPE A", server->commands()[7], "LIST -a",
                                           "CWD /www/a", "CWD /www/b"}));
    EXPECT_TRUE(FindRemote("/a")->detail.notListed);
    EXPECT_TRUE(FindRemote("/b")->detail.notListed);
    EXPECT_FALSE(walk.ListingFailed());
    EXPECT_EQ(walk.NotListedDirectories(), (Lines{"/a", "/b"}));
    EXPECT_TRUE(StatusSeen("Could not change directory: a"));
    EXPECT_TRUE(StatusSeen("Remote Refresh Done - 2 directories could not be listed"));
    EXPECT_FALSE(StatusSeen("Remote Refresh Done"));
    EXPECT_TRUE(Logged(view.logLines, "FERNHOP: could not list /b (could not change to it); nothing is deleted because of it"));
    EXPECT_EQ(SoundCount(SoundEvent::Error), 1);
    // The rest of the tree is complete: compare and transfer follow.
    EXPECT_EQ(SoundCount(SoundEvent::Compare), 1);
    EXPECT_EQ(transferStarts, 1);
}

TEST_F(ListingWalkScripted, FailedListingOfASubdirectoryIsNotListedAndTheWalkGoesOn)
{
    options.compare = true;
    // "LIST -a", then plain LIST: both refused for every directory below the top.
    ASSERT_NO_FATAL_FAILURE(Start(ListRules({kSmallSite[0]}) + R"({"match": "^LIST", "reply": "550 Permission denied."},)"));
    ASSERT_TRUE(Walk()) << Trace();

    EXPECT_EQ(Dump(ws.remoteTree), (Lines{"D /a", "D /b", "F /z.txt 10"}));
    EXPECT_TRUE(FindRemote("/a")->detail.notListed);
    EXPECT_TRUE(FindRemote("/b")->detail.notListed);
    EXPECT_EQ(walk.NotListedDirectories(), (Lines{"/a", "/b"}));
    EXPECT_TRUE(Logged(view.logLines, "FERNHOP: could not list /a (its listing failed); nothing is deleted because of it"));
    EXPECT_TRUE(StatusSeen("Remote Refresh Done - 2 directories could not be listed"));
    EXPECT_EQ(SoundCount(SoundEvent::Compare), 1);
}

TEST_F(ListingWalkScripted, AServerThatCannotListHiddenNamesIsNoted)
{
    ASSERT_NO_FATAL_FAILURE(Start(R"({"match": "^LIST -a$", "reply": "501 Illegal option."},)" + ListRules({{File("a.txt", 1)}})));
    ASSERT_TRUE(Walk()) << Trace();
    EXPECT_EQ(ws.remoteTree.Count(), 1);
    EXPECT_TRUE(ws.remoteHiddenUnlisted);
}

TEST_F(ListingWalkScripted, AServerThatListsHiddenNamesLeavesNothingUnsure)
{
    ws.remoteHiddenUnlisted = true; // from an earlier session
    ASSERT_NO_FATAL_FAILURE(Start(ListRules({{File(".htaccess", 1)}})));
    ASSERT_TRUE(Walk()) << Trace();
    EXPECT_EQ(Dump(ws.remoteTree), Lines{"F /.htaccess 1"});
    EXPECT_FALSE(ws.remoteHiddenUnlisted);
    EXPECT_EQ(CommandsAfterLogin().back(), "LIST -a");
}

TEST_F(ListingWalkScripted, RefusedTopDirectoryEndsTheRunAtOnce)
{
    remoteDirectory = "/gone";
    options.compare = true;
    ASSERT_NO_FATAL_FAILURE(Start(R"({"match": "^CWD /gone$", "reply": "550 No such directory."},)"));
    ASSERT_TRUE(Walk()) << Trace();

    EXPECT_EQ(CommandsAfterLogin(), Lines{"CWD /gone"});
    EXPECT_TRUE(StatusSeen("Could not change directory"));
    EXPECT_EQ(view.LastStatus(), "Refresh Canceled - Could not change to remote directory");
    EXPECT_EQ(SoundCount(SoundEvent::Compare), 0);
}

TEST_F(ListingWalkScripted, StopWhileAChangeOfDirectoryIsInFlightIgnoresItsLateReply)
{
    remoteDirectory = "/www";
    options.compare = options.update = true;
    ASSERT_NO_FATAL_FAILURE(Start(ListRules(kSmallSite)));
    int readies = 0;
    ws.FtpClient1.OnFtpReady = [&](TFtpClient *) { ++readies; };
    ws.FtpClient1.OnFtpInfo = [&](TFtpClient *, FtpInfo info, const std::string &text) {
        if (info == fiCommandSent && text.rfind("CWD /www/a\r\n", 0) == 0)
            QTimer::singleShot(0, [&] {
                walk.StopListing();
                walk.EndListingRun(); // as the run state's Stop does for a listing
            });
    };
    ASSERT_TRUE(Walk()) << Trace();
    // The top's CWD and LIST, then the CWD of "a" whose reply must not lead to its listing.
    ASSERT_TRUE(RunUntil([&] { return readies == 3 && !ws.FtpClient1.Busy(); }));

    EXPECT_EQ(CommandsAfterLogin().back(), "CWD /www/a");
    EXPECT_EQ(std::count(view.statuses.begin(), view.statuses.end(), "Remote Refresh Canceled"), 1);
    EXPECT_EQ(view.sounds, std::vector<SoundEvent>{});
    EXPECT_EQ(transferStarts, 0);
    EXPECT_FALSE(ws.remoteListing);
}

TEST_F(ListingWalkScripted, StopAndRefreshDuringTheParseStartsAFreshWalkAfterIt)
{
    Lines top = {Dir("a")};
    for (int i = 0; i < 120; ++i)
        top.push_back(File("f" + std::to_string(1000 + i) + ".txt", i));
    ASSERT_NO_FATAL_FAILURE(Start(ListRules({top, top, {"total 0"}})));
    view.onStatus = [&](const std::string &text) {
        if (text == "Processing directory listing: 50 of 121 files" && view.Count("Remote Refresh Canceled") == 0)
            QTimer::singleShot(0, [&] {
                walk.StopListing();
                walk.RefreshRemoteTree(); // the Refresh button, while the stopped parse is still on the stack
            });
    };
    ASSERT_TRUE(Walk()) << Trace();
    ASSERT_TRUE(RunUntil([&] { return !walk.Running() && view.Count("Remote Refresh Done") == 1; }));

    EXPECT_EQ(view.Count("Remote Refresh Canceled"), 1);
    EXPECT_EQ(ws.remoteTree.Count(), 121);
    EXPECT_EQ(Dump(ws.remoteTree)[1], "F /f1000.txt 0");
}

TEST_F(ListingWalkScripted, EndlessNestingStopsAtTheLengthLimit)
{
    const std::string name(200, 'd');
    ASSERT_NO_FATAL_FAILURE(Start(ListRules({{Dir(name)}}, true)));
    ASSERT_TRUE(Walk()) << Trace();

    const Lines cmds = CommandsAfterLogin();
    const size_t levels = kMaxListedPath / (name.size() + 1); // 20 directories fit
    EXPECT_EQ(size_t(std::count_if(cmds.begin(), cmds.end(), [](const std::string &c) { return c.rfind("CWD ", 0) == 0; })),
              levels + 1);
    SiteNode *deepest = ws.remoteTree.Last();
    EXPECT_EQ(ws.remoteTree.Depth(deepest), int(levels));
    EXPECT_TRUE(deepest->detail.notListed);
    EXPECT_EQ(view.LastStatus(), "Remote Refresh Done - 1 directory could not be listed");
    EXPECT_NE(std::find_if(view.logLines.begin(), view.logLines.end(),
                           [](const std::string &l) { return l.find("longer than 4096") != std::string::npos; }),
              view.logLines.end());
}

TEST_F(ListingWalkScripted, DateErrorIsReportedOnceAndStartsNoTransfer)
{
    options.compare = options.update = true;
    ASSERT_NO_FATAL_FAILURE(Start(ListRules({{File("a.txt", 1), "-rw-r--r--   1 web  users  3 Feb 31  1997 b.txt"}})));
    ASSERT_TRUE(Walk()) << Trace();

    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.LastStatus(), "Remote Refresh Done");
    EXPECT_EQ(transferStarts, 0);
    EXPECT_EQ(ws.run.currentOperation, opIdle);
}

// A cached tree is taken once the top directory lists as the cache has it: its listed minute
// holds the cached second, a directory's own time is not compared. Another size makes it a
// listing of the whole server, logged with the reason.
TEST_F(ListingWalkScripted, CachedTreeIsTakenWhenTheTopListsAsCached)
{
    options.compare = true;
    const Lines top = {Dir("a"), "-rw-r--r--   1 web  users  10 Mar  3 14:07 z.txt"};
    const Lines changed = {Dir("a"), File("z.txt", 11)};
    ASSERT_NO_FATAL_FAILURE(Start(ListRules({top, changed, changed, {}})));
    auto cache = [&](int64_t size) {
        ws.remoteTree.Clear();
        TDetail directory;
        directory.kind = ekDirectory;
        directory.name = "a";
        ws.remoteTree.Append(nullptr, directory);
        TDetail file;
        file.kind = ekFile;
        file.name = "z.txt";
        file.size = size;
        file.modified = EncodeDate(DecodeDate(Now()).year, 3, 3) + EncodeTime(14, 7, 31, 0);
        if (file.modified > Now() + 2)
            file.modified = EncodeDate(DecodeDate(Now()).year - 1, 3, 3) + EncodeTime(14, 7, 31, 0);
        ws.remoteTree.Append(nullptr, file);
    };
    cache(10);
    walk.StartRemoteRefresh();
    ASSERT_TRUE(RunUntil([&] { return !walk.Running(); })) << Trace();
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"CWD /", "PWD", "TYPE A", server->commands()[7], "LIST -a"}));
    EXPECT_TRUE(Logged(view.logLines, "FERNHOP: the server's top directory lists as the cached file list has it"));
    EXPECT_EQ(ws.remoteTree.Count(), 2);
    EXPECT_EQ(SoundCount(SoundEvent::Compare), 1);

    cache(12);
    walk.StartRemoteRefresh();
    ASSERT_TRUE(RunUntil([&] { return !walk.Running(); })) << Trace();
    EXPECT_TRUE(Logged(view.logLines, "FERNHOP: the cached file list is not used: z.txt has 11 bytes on the server, "
                                      "12 in the cached list; the server is listed"));
    EXPECT_EQ(Dump(ws.remoteTree), (Lines{"D /a", "F /z.txt 11"}));
    EXPECT_EQ(SoundCount(SoundEvent::Compare), 2);
}

// Without a server: the choice StartRemoteRefresh makes before any listing.
TEST(ListingWalkStart, TheCheckFileWaitsForItsCompletion)
{
    ListingWalkFixture f;
    f.options.compare = true;
    int checkFiles = 0;
    f.walk.startCheckFile = [&] { ++checkFiles; };

    TDetail cached;
    cached.kind = ekFile;
    cached.name = "index.html";
    f.ws.remoteTree.Append(nullptr, cached);
    f.options.forceRerfesh = true;
    f.site.savedServerTime = 0;
    f.walk.StartRemoteRefresh();
    EXPECT_EQ(checkFiles, 1);
    EXPECT_EQ(f.view.LastStatus(), "Obtaining remote server date and time...");
    EXPECT_EQ(f.walk.CurrentPhase(), ListingWalk::Phase::measuring);

    f.walk.StopListing(); // Stop before the check file's completion
    EXPECT_EQ(f.view.LastStatus(), "Remote Refresh Canceled");
    f.walk.ContinueAfterCheckFile();
    EXPECT_FALSE(f.walk.Running());
    EXPECT_EQ(f.ws.remoteTree.Count(), 1); // not cleared by a listing start
}
