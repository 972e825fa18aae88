// The listing walk against pyftpdlib and vsftpd, active and passive: the remote tree built over
// the wire must match a local scan of the server's own directory.
#include "ListingWalkFixture.h"

#include "site/LocalScan.h"
#include "support/FtpServers.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

using fernhop::test::RealFtpServer;
using Lines = std::vector<std::string>;

namespace {

// Three levels, 303 entries, names in mixed case (no dot files: vsftpd hides them).
bool WriteSite(RealFtpServer &server)
{
    int n = 0;
    auto file = [&](const std::string &path) { return server.writeFile(path, std::string(size_t(n++ * 37 % 700), 'x')); };
    bool ok = server.makeDir("Empty");
    for (int i = 0; i < 20; ++i)
        ok &= file("Page" + std::to_string(i) + (i % 3 ? ".html" : ".GIF"));
    for (const std::string top : {"alpha", "Beta", "gamma"}) {
        for (int i = 0; i < 15; ++i)
            ok &= file(top + "/doc_" + std::to_string(i) + ".txt");
        for (const std::string sub : {"img", "Old", "z9"})
            for (int i = 0; i < 25; ++i)
                ok &= file(top + "/" + sub + "/f" + std::to_string(100 - i) + (i % 2 ? ".jpg" : ".PNG"));
    }
    return ok;
}

// Directory sizes differ by nature (the listing's block size, 0 for a scan).
Lines Shape(const SiteTree &tree)
{
    Lines out;
    for (SiteNode *n = tree.First(); n; n = tree.Next(n)) {
        const TDetail &d = n->detail;
        out.push_back(d.kind == ekDirectory ? "D " + d.Path() : "F " + d.Path() + " " + std::to_string(d.size));
    }
    return out;
}

class ListingWalkReal : public ::testing::TestWithParam<std::tuple<RealFtpServer::Kind, bool>>,
                        public ListingWalkFixture {};

} // namespace

TEST_P(ListingWalkReal, RemoteTreeEqualsALocalScanOfTheServerRoot)
{
    auto server = RealFtpServer::start(std::get<0>(GetParam()));
    ASSERT_TRUE(server);
    ASSERT_TRUE(WriteSite(*server));
    passive = std::get<1>(GetParam());
    ASSERT_TRUE(Login(server->port(), server->user(), server->password())) << server->log();

    ASSERT_TRUE(Walk()) << server->log();
    EXPECT_EQ(view.LastStatus(), "Remote Refresh Done");
    EXPECT_FALSE(walk.ListingFailed());
    EXPECT_FALSE(walk.DateError());

    ws.localTopDirectory = server->root();
    ASSERT_TRUE(LoadLocalTree(ws));
    ASSERT_EQ(ws.localTree.Count(), 303); // 24 at the top, 93 in each of the three directories
    EXPECT_EQ(Shape(ws.remoteTree), Shape(ws.localTree));
    for (SiteNode *n = ws.remoteTree.First(); n; n = ws.remoteTree.Next(n))
        EXPECT_FALSE(n->detail.notListed) << n->detail.Path();
}

INSTANTIATE_TEST_SUITE_P(Servers, ListingWalkReal,
                         ::testing::Combine(::testing::Values(RealFtpServer::Kind::Pyftpdlib, RealFtpServer::Kind::Vsftpd),
                                            ::testing::Bool()),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param) == RealFtpServer::Kind::Vsftpd ? "vsftpd"
                                                                                                       : "pyftpdlib") +
                                    (std::get<1>(info.param) ? "_passive" : "_active");
                         });
