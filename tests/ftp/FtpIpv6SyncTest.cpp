// Whole syncs over IPv6: the fernhop program against pyftpdlib and vsftpd listening on ::1 only,
// in passive (EPSV) and active (EPRT) mode, an upload site and then a download site, each side
// equal to the other byte for byte afterwards.
#include "support/FernhopProcess.h"
#include "support/FileTree.h"
#include "support/FtpServers.h"

#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

using fernhop::test::RealFtpServer;
namespace fs = std::filesystem;
using namespace fernhop::test;

namespace {

class Ipv6Sync : public ::testing::TestWithParam<std::tuple<RealFtpServer::Kind, bool>> {
protected:
    QTemporaryDir tmp;

    bool Passive() const { return std::get<1>(GetParam()); }
    fs::path Dir(const char *name) const { return fs::path(tmp.path().toStdString()) / name; }
    FernhopRun Fernhop(const QStringList &args) { return RunFernhop(tmp.path() + "/settings", args); }

    void AddSite(const char *nick, const RealFtpServer &server, const std::string &serverField, const fs::path &local,
                 bool download)
    {
        QStringList args{"--add-site", nick, "--server", QString::fromStdString(serverField), "--port",
                         QString::number(server.port()), "--user", QString::fromStdString(server.user()),
                         "--password", QString::fromStdString(server.password()), "--local",
                         QString::fromStdString(local.string()), "--remote", "/www"};
        if (download)
            args << "--download";
        if (Passive())
            args << "--pasv";
        ASSERT_EQ(Fernhop(args).status, 0);
    }

    // The data connections were set up the IPv6 way only.
    void ExpectExtendedCommands(const std::string &log) const
    {
        EXPECT_GT(Count(log, Passive() ? "\nEPSV" : "\nEPRT |2|::1|"), 0u) << log;
        EXPECT_EQ(Count(log, "\nPASV"), 0u) << log;
        EXPECT_EQ(Count(log, "\nPORT "), 0u);
    }
};

} // namespace

TEST_P(Ipv6Sync, UploadThenDownloadOverIpv6)
{
    auto server = RealFtpServer::startOnIpv6(std::get<0>(GetParam()));
    ASSERT_TRUE(server);
    ASSERT_TRUE(server->makeDir("www"));
    const fs::path up = Dir("up");
    WriteFile(up / "index.html", "<h1>over IPv6</h1>");
    WriteFile(up / "css/site.css", "body { color: black }");
    std::string binary(200000, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 7919) >> 3);
    WriteFile(up / "img/photo.bin", binary);
    fs::create_directories(up / "empty");

    // The server field in brackets for one site, plain for the other.
    AddSite("up", *server, "[::1]", up, false);
    FernhopRun upload = Fernhop({"--batch", "-v", "up"});
    ASSERT_EQ(upload.status, 0) << upload.err;
    EXPECT_EQ(Snapshot(fs::path(server->root()) / "www"), Snapshot(up));
    ExpectExtendedCommands(upload.err);

    const fs::path down = Dir("down");
    fs::create_directories(down);
    AddSite("down", *server, "::1", down, true);
    FernhopRun download = Fernhop({"--batch", "-v", "down"});
    ASSERT_EQ(download.status, 0) << download.err;
    EXPECT_EQ(Snapshot(down), Snapshot(fs::path(server->root()) / "www"));
    ExpectExtendedCommands(download.err);

    // Listed with the address in brackets, however it was typed.
    const std::string listed = Fernhop({"--list-sites"}).out;
    EXPECT_EQ(Count(listed, "\t[::1]:" + std::to_string(server->port()) + "\t"), 2u) << listed;
}

INSTANTIATE_TEST_SUITE_P(
    ServersAndModes, Ipv6Sync,
    ::testing::Combine(::testing::Values(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::Vsftpd),
                       ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<RealFtpServer::Kind, bool>> &info) {
        return std::string(std::get<0>(info.param) == RealFtpServer::Kind::Vsftpd ? "vsftpd" : "pyftpdlib") +
               (std::get<1>(info.param) ? "_passive" : "_active");
    });
