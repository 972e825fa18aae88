// A download site's clock offset against the scripted server: measured from one listed file's
// MDTM answer without writing to the server; the check file only where the server gives no
// exact time; nothing measured where no listed file shows a time of day.
#include "OffsetScript.h"
#include "SessionFixture.h"
#include "TimeZoneGuard.h"

#include "support/FtpServers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

using fernhop::test::ScriptedFtpServer;
using namespace offset_script;

namespace {

class DownloadOffset : public ::testing::Test, public SessionFixture {
protected:
    void SetUp() override { app.options.compare = app.options.update = true; }
    void Run(const std::string &script)
    {
        server = ScriptedFtpServer::start(script);
        ASSERT_TRUE(server);
        SiteSpec siteSpec;
        siteSpec.nickName = "down";
        siteSpec.port = server->port();
        siteSpec.localDir = Directory("down");
        siteSpec.download = true;
        UseSite(siteSpec);
        ASSERT_TRUE(app.session.Connect());
        ASSERT_TRUE(WaitForSession()) << server->log() << Joined(view.logLines);
    }
    double OffsetHours() const { return (app.sites.Current().SavedPcTime - app.sites.Current().SavedServerTime) * 24; }

    std::unique_ptr<ScriptedFtpServer> server;
};

} // namespace

TEST_F(DownloadOffset, MdtmOfAListedFileGivesTheOffsetAndNothingIsStored)
{
    TimeZoneGuard zone("FHT-10");
    const TDateTime day = std::floor(Now()) - 3;
    // The listing's clock shows 15:45 for a file whose exact time is 10:15:30 UTC, 20:15:30 on
    // this PC: the listing runs 4.5 hours behind the PC.
    Run(Script(R"({"match": "^MDTM /a.html$", "reply": "213 )" + MdtmStamp(day, 10, 15, 30) + R"("},)" +
               ListRule({RecentLine("a.html", day, 15, 45), "-rw-r--r--   1 web  users  3 Mar  3  2001 old.txt"})));
    const Lines sent = server->commands();
    EXPECT_EQ(Count(sent, "MDTM"), 1);
    EXPECT_EQ(Count(sent, "STOR"), 0);
    EXPECT_EQ(Count(sent, "LIST"), 1);
    EXPECT_EQ(Count(sent, "RETR"), 2);
    ASSERT_NE(app.sites.Current().SavedServerTime, 0);
    EXPECT_NEAR(OffsetHours(), 4.5, 1e-6);
    EXPECT_EQ(app.sites.Current().SavedServerTime, day + EncodeTime(15, 45));
    // The fetched file is stamped on the PC's clock: the listed minute plus the offset.
    struct stat st{};
    ASSERT_EQ(::stat((app.sites.Current().LocalDir + "/a.html").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, LocalDateTimeToUnix(day + EncodeTime(20, 15)));
}

TEST_F(DownloadOffset, RefusedMdtmFallsBackToTheCheckFileOnce)
{
    const TDateTime day = std::floor(Now()) - 3;
    const Lines listing = {RecentLine("a.html", day, 15, 45)};
    Lines withCheckFile = listing;
    const TDateTime now = Now();
    const TimeParts t = DecodeTime(now);
    withCheckFile.push_back(RecentLine("fernhop.chk", now, t.hour, t.minute));
    Run(Script(R"({"match": "^MDTM ", "reply": "502 Command not implemented."},)" + ListRule(listing, true) +
               ListRule(withCheckFile)));
    const Lines sent = server->commands();
    EXPECT_EQ(Count(sent, "MDTM"), 1);
    EXPECT_EQ(Count(sent, "STOR /fernhop.chk"), 1);
    EXPECT_EQ(Count(sent, "LIST"), 2); // listed again to read the check file's time
    EXPECT_EQ(Count(sent, "RETR"), 1);
    EXPECT_TRUE(view.Logged("FERNHOP: the server gave no time for /a.html; the clock offset is measured with a check "
                            "file in the remote directory"));
    EXPECT_NE(app.sites.Current().SavedServerTime, 0);
    EXPECT_NEAR(OffsetHours(), 0, 2.0 / 60);
}

TEST_F(DownloadOffset, WithoutATimeOfDayNothingIsMeasuredOrStored)
{
    Run(Script(ListRule({"-rw-r--r--   1 web  users  3 Mar  3  2001 old.txt"})));
    const Lines sent = server->commands();
    EXPECT_EQ(Count(sent, "MDTM"), 0);
    EXPECT_EQ(Count(sent, "STOR"), 0);
    EXPECT_EQ(Count(sent, "RETR"), 1);
    EXPECT_EQ(app.sites.Current().SavedServerTime, 0);
    EXPECT_TRUE(view.Logged("FERNHOP: no listed file shows a time of day; the clock offset is measured on a later run"));
}
