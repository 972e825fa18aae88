// The listing walk over several connections, end to end: the program against both real servers
// and against a scripted server that refuses one directory.
#include "support/BatchSites.h"
#include "support/FileTree.h"
#include "support/FtpServers.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using fernhop::test::RealFtpServer;
namespace fs = std::filesystem;
using namespace fernhop::test;

namespace {

// Each directory the run changed to, and how often, whichever connection did it ("[3] CWD /x"
// counts as "CWD /x").
std::map<std::string, int> DirectoriesEntered(const std::string &log)
{
    std::map<std::string, int> entered;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() > 4 && line[0] == '[' && line.find("] ") != std::string::npos)
            line = line.substr(line.find("] ") + 2);
        if (line.rfind("CWD ", 0) == 0)
            ++entered[line.substr(4)];
    }
    return entered;
}

bool ListedElsewhere(const std::string &log)
{
    for (const char *n : {"[2] LIST", "[3] LIST", "[4] LIST", "[2] MLSD", "[3] MLSD", "[4] MLSD"})
        if (Has(log, n))
            return true;
    return false;
}

std::string SummaryOf(const std::string &out)
{
    const size_t at = out.find("Summary: ");
    return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
}

class ListingConnections : public ::testing::TestWithParam<RealFtpServer::Kind> {};

} // namespace

// A download mirror is the listing's harshest reader: whatever the walk misses or files under
// the wrong directory turns into a deletion or a wrong file. Mirrored with a forced listing over
// one and over four connections, the two mirrors, plans and summaries must be the same.
TEST_P(ListingConnections, AForcedListingOverFourConnectionsSeesTheTreeOneConnectionSees)
{
    auto server = RealFtpServer::start(GetParam());
    ASSERT_TRUE(server);
    // 4 x 6 x 3 directories, a quarter of them empty, names with spaces.
    for (int t = 0; t < 4; ++t)
        for (int s = 0; s < 6; ++s)
            for (int u = 0; u < 3; ++u) {
                const std::string dir = "pub/top " + std::to_string(t) + "/s" + std::to_string(s) + "/inner " +
                                        std::to_string(u);
                if ((t + s + u) % 4 == 0)
                    ASSERT_TRUE(server->makeDir(dir));
                else
                    ASSERT_TRUE(server->writeFile(dir + "/page " + std::to_string(u) + ".html", dir));
            }
    ASSERT_TRUE(server->writeFile("pub/index.html", "top"));
    BatchSites s;
    for (const char *nick : {"one", "four"}) {
        // What a mirror must lose: a file and a directory the server does not have.
        WriteFile(s.Dir(nick) / "top 1/s2/stale.html", "stale");
        WriteFile(s.Dir(nick) / "top 3/gone/old.html", "old");
        s.Add(nick, *server, s.Dir(nick), "/pub", {"--download"});
    }
    ASSERT_EQ(s.Run({"--set", "forceRerfesh=1"}).status, 0);

    const FernhopRun one = s.Run({"--batch", "-v", "--connections", "1", "one"});
    const FernhopRun four = s.Run({"--batch", "-v", "--connections", "4", "four"});
    ASSERT_EQ(one.status, 0) << one.out << one.err;
    ASSERT_EQ(four.status, 0) << four.out << four.err;
    EXPECT_EQ(SummaryOf(four.out), SummaryOf(one.out)) << four.out << one.out;
    EXPECT_TRUE(Has(one.out, "deleted 3,")) << one.out;
    EXPECT_EQ(Snapshot(s.Dir("one")), Snapshot(fs::path(server->root()) / "pub"));
    EXPECT_EQ(Snapshot(s.Dir("four")), Snapshot(s.Dir("one")));
    // Every directory listed exactly once, some of them over the other connections (vsftpd takes
    // longer to log a connection in than the session's connection takes to walk this tree here).
    EXPECT_FALSE(Has(one.err, "[2] ")) << one.err;
    if (GetParam() == RealFtpServer::Kind::Pyftpdlib) {
        EXPECT_TRUE(ListedElsewhere(four.err)) << four.err;
    }
    const auto entered = DirectoriesEntered(four.err);
    EXPECT_EQ(entered.size(), 1u + 4 + 24 + 72) << four.err;
    for (const auto &[directory, times] : entered)
        EXPECT_EQ(times, 1) << directory;
    EXPECT_EQ(DirectoriesEntered(one.err), entered);

    // Listed again, nothing is found to differ.
    for (const char *nick : {"one", "four"}) {
        const FernhopRun again = s.Run({"--batch", "--connections", nick[0] == 'o' ? "1" : "4", nick});
        ASSERT_EQ(again.status, 0) << again.out << again.err;
        EXPECT_TRUE(Has(again.out, "Summary: deleted 0, created 0, transferred 0, failed 0")) << again.out;
    }
}

INSTANTIATE_TEST_SUITE_P(BothServers, ListingConnections,
                         ::testing::Values(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::Vsftpd));

// The session's connection is held up on /a, so the other directories go to other connections:
// the server refuses /b dir, which is then not listed, never taken for empty, and asked for once
// only; the connection that asks for /c is cut, and /c is listed over another one.
TEST(ListingConnectionsFaults, ARefusedDirectoryIsNotListedAndOneWhoseConnectionIsLostIsListedAgain)
{
    const std::string dir = "drwxr-xr-x   2 web  users   512 Jan 12  1996 ";
    auto server = ScriptedFtpServer::start(std::string(R"({"rules": [
        {"match": "^CWD /a$", "reply": "250 OK.", "delay_ms": 1500},
        {"match": "^CWD /b dir$", "reply": "550 Permission denied."},
        {"match": "^CWD /c$", "close": true, "times": 1},
        {"match": "^LIST", "action": "send", "times": 1, "data": [")") +
                                           dir + "a\", \"" + dir + "b dir\", \"" + dir + R"(c"]},
        {"match": "^LIST", "action": "send", "data": []},)" + kScriptedLoginRules + R"(
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})");
    ASSERT_TRUE(server);
    BatchSites s;
    WriteFile(s.Dir("mirror") / "b dir/keep.html", "mine");
    s.Add("mirror", server->port(), "joe", "pw", s.Dir("mirror"), "/", {"--download", "--pasv"});
    ASSERT_EQ(s.Run({"--set", "timeOffset=1"}).status, 0);

    const FernhopRun run = s.Run({"--batch", "-v", "--connections", "4", "mirror"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(ReadFile(s.Dir("mirror") / "b dir/keep.html"), "mine");
    EXPECT_TRUE(Has(run.err, "FERNHOP: could not list /b dir (its listing failed on connection [")) << run.err;
    EXPECT_TRUE(Has(run.err, "not listed: mirror /b dir")) << run.err;
    EXPECT_TRUE(Has(run.err, "Site mirror: failed: 1 remote directory could not be listed; nothing under it was deleted"))
        << run.err;
    EXPECT_TRUE(Has(run.err, "was lost; \"/c\" is listed again")) << run.err;
    EXPECT_TRUE(fs::is_directory(s.Dir("mirror") / "a"));
    EXPECT_TRUE(fs::is_directory(s.Dir("mirror") / "c"));
    const auto sent = server->commands();
    for (const char *cwd : {"CWD /", "CWD /a", "CWD /b dir"})
        EXPECT_EQ(std::count(sent.begin(), sent.end(), cwd), 1) << cwd;
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "CWD /c"), 2);
    // A partial listing is not cached: the next run lists again.
    for (const auto &entry : fs::directory_iterator(s.Dir("mirror")))
        EXPECT_NE(entry.path().extension(), ".fhx");
}
