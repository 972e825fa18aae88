// Stop while a download site's walk waits for the MDTM answer that measures the server's clock:
// the refresh ends as canceled with nothing compared or fetched, and the answer that comes late
// neither sets an offset nor disturbs what the session does next.
#include "OffsetScript.h"
#include "SessionFixture.h"
#include "TimeZoneGuard.h"

#include "support/FtpServers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <memory>

using fernhop::test::ScriptedFtpServer;
using namespace offset_script;

namespace {

class DownloadOffsetStop : public ::testing::Test, public SessionFixture {
protected:
    void SetUp() override { app.options.compare = app.options.update = true; }

    // Connects a download site to a server that lists a.html at 15:45 three days ago. The first
    // MDTM is answered only after a pause, long enough for Stop to come while it is on its way;
    // its answer would put the listing 4.5 hours behind the PC, a later one 2 hours.
    void ConnectUntilTheMdtmIsOutstanding()
    {
        day = std::floor(Now()) - 3;
        const std::string late = R"({"match": "^MDTM /a.html$", "times": 1, "delay_ms": 1500, "reply": "213 )" +
                                 MdtmStamp(day, 10, 15, 30) + R"("},)";
        const std::string prompt = R"({"match": "^MDTM /a.html$", "reply": "213 )" + MdtmStamp(day, 7, 45, 10) + R"("},)";
        server = ScriptedFtpServer::start(Script(late + prompt + ListRule({RecentLine("a.html", day, 15, 45)})));
        ASSERT_TRUE(server);
        SiteSpec siteSpec;
        siteSpec.nickName = "down";
        siteSpec.port = server->port();
        siteSpec.localDir = Directory("down");
        siteSpec.download = true;
        UseSite(siteSpec);
        ASSERT_TRUE(app.session.Connect());
        ASSERT_TRUE(server->waitForCommand("^MDTM /a.html$")) << server->log() << Joined(view.logLines);
        ASSERT_TRUE(app.ws.FtpClient1.Busy()) << "the MDTM was answered before Stop";
    }

    // Stop, as the Stop button gives it.
    void StopAndExpectTheRefreshCanceled()
    {
        app.sequencer.Stop();
        EXPECT_EQ(view.Count("Remote Refresh Canceled"), 1);
        EXPECT_TRUE(Settled());
        EXPECT_EQ(app.sites.Current().SavedServerTime, 0);
    }

    bool Compared() const
    {
        return std::any_of(view.statuses.begin(), view.statuses.end(),
                           [](const std::string &s) { return s.rfind("Comparing", 0) == 0; });
    }
    double OffsetHours() const { return (app.sites.Current().SavedPcTime - app.sites.Current().SavedServerTime) * 24; }

    TDateTime day = 0;
    std::unique_ptr<ScriptedFtpServer> server;
};

} // namespace

TEST_F(DownloadOffsetStop, TheRefreshEndsCanceledAndTheLateAnswerSetsNoOffset)
{
    TimeZoneGuard zone("FHT-10");
    ConnectUntilTheMdtmIsOutstanding();
    StopAndExpectTheRefreshCanceled();
    ASSERT_TRUE(RunUntil([&] { return !app.ws.FtpClient1.Busy(); })) << "the late answer never came";
    ASSERT_TRUE(Disconnect());

    const Lines sent = server->commands();
    EXPECT_EQ(Count(sent, "MDTM"), 1);
    EXPECT_EQ(Count(sent, "RETR"), 0);
    EXPECT_EQ(Count(sent, "STOR"), 0);
    EXPECT_EQ(sent.back(), "QUIT");
    EXPECT_FALSE(Compared());
    EXPECT_EQ(app.sites.Current().SavedServerTime, 0);
    EXPECT_EQ(app.sites.Current().SavedPcTime, 0);
    struct stat st{};
    EXPECT_NE(::stat((app.sites.Current().LocalDir + "/a.html").c_str(), &st), 0);
}

TEST_F(DownloadOffsetStop, ARefreshAskedMeanwhileWaitsForTheLateAnswerAndMeasuresAgain)
{
    TimeZoneGuard zone("FHT-10");
    ConnectUntilTheMdtmIsOutstanding();
    StopAndExpectTheRefreshCanceled();
    app.session.RefreshRemoteButtonClick();
    EXPECT_EQ(view.LastStatus(), "Waiting for the server to answer the stopped command");
    ASSERT_TRUE(RunUntil([&] { return Count(server->commands(), "RETR") == 1 && Settled() && !app.ws.FtpClient1.Busy(); }))
        << server->log() << Joined(view.logLines);

    // Only the second answer measured the clock, and the fetched file is stamped with it.
    const Lines sent = server->commands();
    EXPECT_EQ(Count(sent, "MDTM"), 2);
    EXPECT_EQ(Count(sent, "LIST"), 2);
    EXPECT_EQ(Count(sent, "STOR"), 0);
    EXPECT_NEAR(OffsetHours(), 2.0, 1e-6);
    struct stat st{};
    ASSERT_EQ(::stat((app.sites.Current().LocalDir + "/a.html").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, LocalDateTimeToUnix(day + EncodeTime(17, 45)));
    EXPECT_TRUE(Disconnect());
}
