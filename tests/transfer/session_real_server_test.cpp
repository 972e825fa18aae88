// The session against the real servers: the clock offset measured against a server that lists
// in UTC while the PC's clock is ten hours east of it, and an unattended multi-site run from
// start-up to exit.
#include "SessionFixture.h"
#include "TimeZoneGuard.h"

#include "config/Settings.h"
#include "site/LocalScan.h"
#include "support/FtpServers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <optional>

using fernhop::test::RealFtpServer;

namespace {

std::time_t WholeMinute(std::time_t t) { return t - t % 60; }

std::time_t ModificationTime(const std::string &path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

SiteSpec RealSite(const RealFtpServer &server, const std::string &nick, const std::string &localDir,
                  const std::string &remoteDir, bool download)
{
    SiteSpec siteSpec;
    siteSpec.nickName = nick;
    siteSpec.port = server.port();
    siteSpec.user = server.user();
    siteSpec.password = server.password();
    siteSpec.localDir = localDir;
    siteSpec.remoteDir = remoteDir;
    siteSpec.download = download;
    siteSpec.pasv = server.kind() == RealFtpServer::Kind::Pyftpdlib; // one passive, one active
    return siteSpec;
}

class SessionRealServer : public ::testing::Test, public SessionFixture {};

} // namespace

TEST_F(SessionRealServer, ClockOffsetAgainstAServerListingInUtc)
{
    TimeZoneGuard zone("FHT-10"); // ten hours east of UTC, no summer time
    auto server = RealFtpServer::start(RealFtpServer::Kind::Vsftpd);
    ASSERT_TRUE(server);
    const std::time_t fileTime = WholeMinute(std::time(nullptr) - 3 * 3600);
    ASSERT_TRUE(server->writeFile("www/same.html", "same"));
    ASSERT_TRUE(server->setModificationTime("www/same.html", fileTime));
    ASSERT_TRUE(server->writeFile("pub/new.html", "new"));
    ASSERT_TRUE(server->setModificationTime("pub/new.html", fileTime));

    // An upload site whose one file is the server's, untouched since.
    app.options.compare = true;
    const std::string upload = Directory("upload");
    ASSERT_TRUE(WriteFile(upload + "/same.html", "same"));
    struct timespec times[2] = {{fileTime, 0}, {fileTime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (upload + "/same.html").c_str(), times, 0), 0);
    UseSite(RealSite(*server, "up", upload, "/www", false));

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    const TmultFTP &up = app.sites.Current();
    ASSERT_NE(up.SavedPcTime, 0);
    ASSERT_NE(up.SavedServerTime, 0);
    const double hours = (up.SavedPcTime - up.SavedServerTime) * 24;
    EXPECT_NEAR(hours, 10.0, 1.5 / 60) << "offset in hours";
    // Ten hours apart on the clocks, the same file: nothing to send.
    EXPECT_EQ(app.ws.counters.transferTotal, 0);
    EXPECT_EQ(view.Count("Compare Done - [0 delete , 0 create, 0 transfer]"), 1);
    EXPECT_TRUE(server->exists("www/fernhop.chk"));
    ASSERT_TRUE(Disconnect());

    // A download site: the fetched file carries the server's time, not the listing's UTC clock.
    app.options.update = true;
    const std::string download = Directory("download");
    UseSite(RealSite(*server, "down", download, "/pub", true));
    NoteDisconnections();
    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    EXPECT_EQ(ReadWholeFile(download + "/new.html"), "new");
    EXPECT_LE(std::llabs(ModificationTime(download + "/new.html") - fileTime), 60);
    ASSERT_TRUE(Disconnect());
}

TEST_F(SessionRealServer, UnattendedMultiSiteRunFromStartUpToExit)
{
    auto pyftpd = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    auto vsftpd = RealFtpServer::start(RealFtpServer::Kind::Vsftpd);
    ASSERT_TRUE(pyftpd && vsftpd);
    ASSERT_TRUE(pyftpd->makeDir("www"));
    ASSERT_TRUE(pyftpd->writeFile("www/stale.html", "old")); // not on the PC: deleted
    ASSERT_TRUE(vsftpd->writeFile("pub/x.txt", "x"));
    ASSERT_TRUE(vsftpd->writeFile("pub/d/y.txt", "y"));
    ASSERT_TRUE(vsftpd->makeDir("site"));

    const std::string one = Directory("one"), two = Directory("two"), three = Directory("three");
    ASSERT_TRUE(WriteFile(one + "/a.html", "a"));
    ASSERT_TRUE(WriteFile(one + "/sub/b.html", "b"));
    ASSERT_TRUE(WriteFile(three + "/c.html", "c"));

    // The settings files as a user would leave them: multi-site update and exit on start-up.
    {
        SessionView setupView;
        Options options;
        options.multiSite = true;
        options.exit = true;
        IgnoreLists ignore;
        ExtensionTable extensions;
        ASSERT_EQ(SaveSettings(SettingsData{options, ignore, extensions}, setupView), "");
        SiteList sites;
        AddSite(sites, RealSite(*pyftpd, "one", one, "/www", false));
        SiteSpec skipped = RealSite(*pyftpd, "skipped", Directory("skipped"), "/nowhere", false);
        skipped.multiSite = false;
        AddSite(sites, skipped);
        AddSite(sites, RealSite(*vsftpd, "two", two, "/pub", true));
        AddSite(sites, RealSite(*vsftpd, "three", three, "/site", false));
        ASSERT_EQ(sites.Save(), "");
    }

    app.Start();
    ASSERT_TRUE(RunUntil([&] { return view.closes > 0; }, 40000)) << pyftpd->log() << vsftpd->log();
    EXPECT_EQ(view.closes, 1);
    EXPECT_TRUE(view.messages.empty()) << view.messages.front();

    EXPECT_EQ(pyftpd->readFile("www/a.html"), "a");
    EXPECT_EQ(pyftpd->readFile("www/sub/b.html"), "b");
    EXPECT_FALSE(pyftpd->exists("www/stale.html"));
    EXPECT_EQ(ReadWholeFile(two + "/x.txt"), "x");
    EXPECT_EQ(ReadWholeFile(two + "/d/y.txt"), "y");
    EXPECT_EQ(vsftpd->readFile("site/c.html"), "c");
    EXPECT_EQ(view.Count("Fernhop is no longer connected to the FTP server"), 3);

    // The site list was saved at the end, with each visited site's clock measured where the
    // server lists with LIST (vsftpd); pyftpdlib's exact times need no offset.
    SiteList saved;
    ASSERT_TRUE(saved.Load().empty());
    ASSERT_EQ(saved.Count(), 4);
    EXPECT_FALSE(pyftpd->exists("www/fernhop.chk"));
    EXPECT_EQ(saved.Row(0).SavedServerTime, 0);
    for (int row : {2, 3}) {
        EXPECT_NE(saved.Row(row).SavedPcTime, 0) << saved.Row(row).NickName;
        EXPECT_NE(saved.Row(row).SavedServerTime, 0) << saved.Row(row).NickName;
    }
    EXPECT_EQ(saved.Row(1).SavedPcTime, 0);
    EXPECT_EQ(saved.ActiveIndex(), 3); // the run made each site current in turn
}

namespace {
class DownloadOffsetReal : public ::testing::TestWithParam<RealFtpServer::Kind>, public SessionFixture {};
} // namespace

// A download site measures the server's clock from a listed file's time and its MDTM answer:
// nothing is written to the server, and the fetched file carries the server's time.
TEST_P(DownloadOffsetReal, MeasuredWithoutWritingToTheServer)
{
    TimeZoneGuard zone("FHT-10");
    auto server = RealFtpServer::start(GetParam());
    ASSERT_TRUE(server);
    const std::time_t fileTime = WholeMinute(std::time(nullptr) - 3 * 3600);
    ASSERT_TRUE(server->writeFile("pub/new.html", "new"));
    ASSERT_TRUE(server->setModificationTime("pub/new.html", fileTime));
    const std::vector<std::string> before = server->listTree();

    app.options.compare = app.options.update = true;
    app.options.useMLSD = false; // pyftpdlib's exact listing needs no offset at all
    const std::string download = Directory("download");
    UseSite(RealSite(*server, "down", download, "/pub", true));
    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    const TmultFTP &site = app.sites.Current();
    ASSERT_NE(site.SavedServerTime, 0);
    EXPECT_NEAR((site.SavedPcTime - site.SavedServerTime) * 24, 10.0, 1e-6) << "offset in hours";
    EXPECT_EQ(server->listTree(), before); // no check file, nothing else either
    EXPECT_EQ(ReadWholeFile(download + "/new.html"), "new");
    EXPECT_EQ(ModificationTime(download + "/new.html"), fileTime);
    ASSERT_TRUE(Disconnect());
}

INSTANTIATE_TEST_SUITE_P(Servers, DownloadOffsetReal,
                         ::testing::Values(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::Vsftpd));

// pyftpdlib offers MLSD and MFMT, vsftpd neither: exact times on the first, listed minutes and
// MDTM on the second. On both, an edit of the same size five seconds after an upload is sent.
TEST_P(DownloadOffsetReal, AnEditFiveSecondsAfterAnUploadIsSent)
{
    TimeZoneGuard zone("FHT-10");
    auto server = RealFtpServer::start(GetParam());
    ASSERT_TRUE(server);
    ASSERT_TRUE(server->makeDir("www"));
    app.options.compare = app.options.update = true;
    app.options.forceRerfesh = true; // the server's own listing every time, not the cache
    const std::string upload = Directory("upload");
    const std::time_t fileTime = WholeMinute(std::time(nullptr) - 600) + 20;
    ASSERT_TRUE(WriteFile(upload + "/a.html", "one"));
    struct timespec times[2] = {{fileTime, 0}, {fileTime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (upload + "/a.html").c_str(), times, 0), 0);
    UseSite(RealSite(*server, "up", upload, "/www", false));
    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    ASSERT_EQ(server->readFile("www/a.html"), "one");
    const bool exact = GetParam() == RealFtpServer::Kind::Pyftpdlib;
    // MFMT gave the server the local file's time; vsftpd keeps the time of the upload.
    if (exact) {
        EXPECT_EQ(ModificationTime(server->root() + "/www/a.html"), fileTime);
        EXPECT_FALSE(server->exists("www/fernhop.chk"));
    }
    ASSERT_TRUE(Disconnect());

    // The same size, five seconds after the server's time of the file (the local time where
    // MFMT set it, else the upload's): found on either road.
    const std::time_t editTime = (exact ? fileTime : std::time(nullptr)) + 5;
    ASSERT_TRUE(WriteFile(upload + "/a.html", "two"));
    times[0].tv_sec = times[1].tv_sec = editTime;
    ASSERT_EQ(utimensat(AT_FDCWD, (upload + "/a.html").c_str(), times, 0), 0);
    ASSERT_TRUE(LoadLocalTree(app.ws));
    NoteDisconnections();
    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    EXPECT_EQ(server->readFile("www/a.html"), "two");
    if (exact) {
        EXPECT_EQ(ModificationTime(server->root() + "/www/a.html"), editTime);
    }
    ASSERT_TRUE(Disconnect());

    // And with exact times nothing more to send after that (on vsftpd the edit's time lies
    // ahead of the second upload's, so the file would rightly go again).
    if (!exact)
        return;
    NoteDisconnections();
    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    EXPECT_EQ(view.Count("Compare Done - [0 delete , 0 create, 0 transfer]"), 1);
    ASSERT_TRUE(Disconnect());
}
