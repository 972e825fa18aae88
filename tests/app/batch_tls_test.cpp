// Sites over explicit TLS end to end: the fernhop program against vsftpd with a self-signed
// certificate. An untrusted certificate stops the run before the login (exit 2, the fingerprint
// in the message); a fingerprint given or stored lets it through; a changed one is refused.
#include "support/FernhopProcess.h"
#include "support/FileTree.h"
#include "support/FtpServers.h"
#include "support/TestCertificate.h"

#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>

using namespace fernhop::test;
namespace fs = std::filesystem;

namespace {

class BatchTls : public ::testing::Test {
protected:
    void SetUp() override
    {
        certificate = TestCertificate::make();
        ASSERT_TRUE(certificate);
        server = RealFtpServer::start(RealFtpServer::Kind::Vsftpd, {certificate->certificateFile(), certificate->keyFile()});
        ASSERT_TRUE(server);
        ASSERT_TRUE(server->makeDir("www"));
    }
    fs::path Local() const { return fs::path(tmp.path().toStdString()) / "site"; }
    FernhopRun Fernhop(const QStringList &args) { return RunFernhop(tmp.path() + "/settings", args); }
    QString Shown() const { return QString::fromStdString(certificate->shownFingerprint()); }

    QTemporaryDir tmp;
    std::unique_ptr<TestCertificate> certificate;
    std::unique_ptr<RealFtpServer> server;
};

} // namespace

TEST_F(BatchTls, CertificateTrustedOnlyByItsFingerprint)
{
    WriteFile(Local() / "index.html", "<h1>secure</h1>");
    WriteFile(Local() / "img/logo.bin", std::string(300000, '\x5a'));
    FernhopRun add = Fernhop({"--add-site", "sec", "--server", "127.0.0.1", "--port", QString::number(server->port()),
                              "--user", QString::fromStdString(server->user()), "--password",
                              QString::fromStdString(server->password()), "--local",
                              QString::fromStdString(Local().string()), "--remote", "www", "--tls"});
    ASSERT_EQ(add.status, 0) << add.err;

    // Not trusted: no login, exit 2, and the fingerprint to trust it by.
    FernhopRun refused = Fernhop({"--batch", "sec"});
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_NE(refused.err.find("is not trusted (self-signed certificate)"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--trust-cert " + certificate->shownFingerprint()), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("USER "), std::string::npos) << refused.err;
    EXPECT_TRUE(server->listTree() == std::vector<std::string>{"www/"});

    // Given for the run: the site is synced, over TLS, byte for byte.
    FernhopRun given = Fernhop({"--batch", "-v", "sec", "--trust-cert", Shown()});
    ASSERT_EQ(given.status, 0) << given.err;
    EXPECT_NE(given.err.find("TLS: TLSv1."), std::string::npos) << given.err;
    EXPECT_EQ(Snapshot(fs::path(server->root()) / "www"), Snapshot(Local()));

    // Stored with the site: later runs need nothing more.
    WriteFile(Local() / "index.html", "<h1>secure, again</h1>");
    ASSERT_EQ(Fernhop({"--replace-site", "sec", "--trust-cert", Shown().toLower()}).status, 0);
    FernhopRun stored = Fernhop({"--batch", "sec"});
    ASSERT_EQ(stored.status, 0) << stored.err;
    EXPECT_EQ(server->readFile("www/index.html"), "<h1>secure, again</h1>");

    // A different certificate than the stored one: refused with a warning, even if asked again.
    auto other = TestCertificate::make();
    ASSERT_TRUE(other);
    ASSERT_EQ(Fernhop({"--replace-site", "sec", "--trust-cert", QString::fromStdString(other->shownFingerprint())}).status, 0);
    WriteFile(Local() / "index.html", "<h1>not sent</h1>");
    FernhopRun changed = Fernhop({"--batch", "sec"});
    EXPECT_EQ(changed.status, 2) << changed.err;
    EXPECT_NE(changed.err.find("has changed since it was trusted"), std::string::npos) << changed.err;
    EXPECT_EQ(server->readFile("www/index.html"), "<h1>secure, again</h1>");
}
