// The batch mode when the server goes away in the middle of a run: the exit status says so.
#include "support/FernhopProcess.h"
#include "support/FileTree.h"
#include "support/FtpServers.h"

#include <QDir>
#include <QTemporaryDir>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using fernhop::test::ScriptedFtpServer;
namespace fs = std::filesystem;
using namespace fernhop::test;

namespace {
// A listing line for a file the server lists with the time of now (UTC, as the servers list).
std::string LineNow(const std::string &name, int size)
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char when[32];
    std::strftime(when, sizeof when, "%b %d %H:%M", &utc);
    return "-rw-r--r-- 1 u g " + std::to_string(size) + " " + when + " " + name;
}
} // namespace

// The server closes the connection in the middle of the first download and the session does not
// reconnect: the user's copy stays, the rest of the run is not done, and the batch exits 1 naming
// the cut.
TEST(BatchCutShort, ServerGoneDuringADownloadExitsWithOne)
{
    QTemporaryDir tmp;
    const fs::path local = fs::path(tmp.path().toStdString()) / "site";
    fs::create_directories(local);
    std::ofstream(local / "a.txt", std::ios::binary) << "old a";
    const std::string listing = "[\"" + LineNow("fernhop.chk", 30) + "\", \"" + LineNow("a.txt", 6) + "\", \"" +
                                LineNow("b.txt", 2) + "\"]";
    auto server = ScriptedFtpServer::start(R"({"rules": [
        {"match": "^USER ", "reply": "331 Password please."},
        {"match": "^PASS ", "reply": "230 Logged in."},
        {"match": "^SYST$", "reply": "215 UNIX Type: L8"},
        {"match": "^TYPE ", "reply": "200 Type set."},
        {"match": "^PASV$", "action": "pasv"},
        {"match": "^CWD ", "reply": "250 OK."},
        {"match": "^PWD$", "reply": "257 \"/www\" is the current directory."},
        {"match": "^STOR ", "action": "receive"},
        {"match": "^LIST", "action": "send", "data": )" + listing + R"(},
        {"match": "^RETR .*a.txt$", "action": "send", "data": "par", "then": [], "close": true},
        {"match": "^RETR ", "action": "send", "data": "bb"},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})");
    ASSERT_TRUE(server);
    qputenv("TZ", "UTC");
    const QString settings = tmp.path() + "/settings";
    ASSERT_EQ(RunFernhop(settings, {"--add-site", "web", "--server", "127.0.0.1", "--port",
                                    QString::number(server->port()), "--user", "joe", "--password", "pw", "--local",
                                    QString::fromStdString(local.string()), "--remote", "/www", "--download",
                                    "--pasv"})
                  .status,
              0);

    // No reconnect: the session gives up at once.
    ASSERT_EQ(RunFernhop(settings, {"--set", "reconnectTries=0"}).status, 0);

    const FernhopRun run = RunFernhop(settings, {"--batch", "-v", "web"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(Count(run.err, "failed: download /a.txt: "), 1u) << run.err;
    EXPECT_NE(run.out.find("transferred 0, failed 1"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Site web: failed: 1 step failed; the session ended before the run was done"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Run cut short: the connection to the server was lost at a.txt"), std::string::npos)
        << run.err;
    EXPECT_EQ(ReadFile(local / "a.txt"), "old a");
    EXPECT_FALSE(fs::exists(local / "b.txt"));
    for (const auto &entry : fs::directory_iterator(local))
        EXPECT_EQ(entry.path().filename().string().find(".fhpart"), std::string::npos) << entry.path();
}
