// Sites over explicit TLS end to end: the fernhop program against vsftpd with a self-signed
// certificate. An untrusted certificate stops the run before the login (exit 2, the fingerprint
// in the message); a fingerprint given or stored lets it through; a changed one is refused.
#include "support/FernhopProcess.h"
#include "support/FileTree.h"
#include "support/FtpServers.h"
#include "support/TestCertificate.h"
#include "config/Cipher.h"

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
        server = RealFtpServer::start(RealFtpServer::Kind::Vsftpd,
                                      RealFtpServer::Tls::With(certificate->certificateFile(), certificate->keyFile()));
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

// Four connections over TLS: each extra one takes the certificate the first one took (here
// trusted for the run by its fingerprint) and logs in only after its own handshake; their data
// connections resume their sessions, as vsftpd insists.
TEST_F(BatchTls, ExtraConnectionsTakeTheCertificateTheFirstTook)
{
    for (int i = 0; i < 16; ++i)
        WriteFile(Local() / ("p" + std::to_string(i) + ".html"), std::string(20000 + i, char('a' + i)));
    ASSERT_EQ(Fernhop({"--add-site", "sec", "--server", "127.0.0.1", "--port", QString::number(server->port()), "--user",
                       QString::fromStdString(server->user()), "--password", QString::fromStdString(server->password()),
                       "--local", QString::fromStdString(Local().string()), "--remote", "www", "--tls", "--pasv"})
                  .status,
              0);
    FernhopRun run = Fernhop({"--batch", "-v", "--connections", "4", "sec", "--trust-cert", Shown()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Snapshot(fs::path(server->root()) / "www"), Snapshot(Local()));
    EXPECT_NE(run.err.find("[2] AUTH TLS"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("did not take another connection"), std::string::npos) << run.err;
    // The user name went out on each only after TLS was up.
    EXPECT_LT(run.err.find("[2] AUTH TLS"), run.err.find("[2] USER ")) << run.err;
}

// --trust-cert says "check the server's certificate"; without TLS there is none to check and the
// password would go in clear: bad usage, before anything is stored or sent.
TEST(BatchTlsUsage, TrustCertWithoutTlsIsRefused)
{
    QTemporaryDir tmp;
    const QString settings = tmp.path() + "/settings";
    const QString fingerprint = QString(64, 'A');
    const QStringList site{"--server", "127.0.0.1", "--port", "1", "--user", "u", "--password", "p",
                           "--local", tmp.path(), "--remote", "/"};
    FernhopRun add = RunFernhop(settings, QStringList{"--add-site", "plain"} + site + QStringList{"--trust-cert", fingerprint});
    EXPECT_EQ(add.status, 64) << add.err;
    EXPECT_NE(add.err.find("--trust-cert needs TLS"), std::string::npos) << add.err;

    ASSERT_EQ(RunFernhop(settings, QStringList{"--add-site", "plain"} + site).status, 0);
    FernhopRun replace = RunFernhop(settings, {"--replace-site", "plain", "--trust-cert", fingerprint});
    EXPECT_EQ(replace.status, 64) << replace.err;
    EXPECT_NE(replace.err.find("--trust-cert needs TLS"), std::string::npos) << replace.err;
    for (const QStringList &batch : {QStringList{"--batch", "plain"}, QStringList{"--batch", "--multi-site"}}) {
        FernhopRun run = RunFernhop(settings, batch + QStringList{"--trust-cert", fingerprint});
        EXPECT_EQ(run.status, 64) << run.err;
        EXPECT_NE(run.err.find("--trust-cert needs TLS"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("USER"), std::string::npos) << run.err;
    }
    // With TLS it is what it says.
    EXPECT_EQ(RunFernhop(settings, {"--replace-site", "plain", "--tls", "--trust-cert", fingerprint}).status, 0);
}

namespace {

// Runs against a server whose certificate a CA of the test's own signed, that CA being the
// run's whole CA store (SSL_CERT_FILE).
class BatchTlsAuthority : public ::testing::Test {
protected:
    void SetUp() override
    {
        authority = TestCertificate::makeAuthority();
        ASSERT_TRUE(authority);
    }
    // Starts a TLS server (again) with `certificate`; the site follows it to its new port.
    void Serve(RealFtpServer::Kind kind, const TestCertificate &certificate)
    {
        server.reset();
        server = RealFtpServer::start(kind, RealFtpServer::Tls::With(certificate.certificateFile(), certificate.keyFile()));
        ASSERT_TRUE(server);
        ASSERT_TRUE(server->makeDir("www"));
    }
    FernhopRun Fernhop(const QStringList &args)
    {
        return RunFernhop(tmp.path() + "/settings", args, 120000,
                          {"SSL_CERT_FILE=" + QString::fromStdString(authority->certificateFile())});
    }
    QString Port() const { return QString::number(server->port()); }
    fs::path Local() const { return fs::path(tmp.path().toStdString()) / "site"; }

    QTemporaryDir tmp;
    std::unique_ptr<TestCertificate> authority;
    std::unique_ptr<RealFtpServer> server;
};

} // namespace

// The rule for a site that keeps a fingerprint: a certificate the CA store trusts for the
// server's name is taken (a move from a self-signed certificate to a CA-signed one, and every
// renewal after it, keeps working; the stored fingerprint is kept, untouched); a certificate the
// CA store does not trust must be the stored one exactly.
TEST_F(BatchTlsAuthority, APinnedSiteTakesACaSignedCertificateButNoOtherSelfSignedOne)
{
    auto selfSigned = TestCertificate::make();
    ASSERT_TRUE(selfSigned);
    ASSERT_NO_FATAL_FAILURE(Serve(RealFtpServer::Kind::Vsftpd, *selfSigned));
    WriteFile(Local() / "index.html", "one");
    ASSERT_EQ(Fernhop({"--add-site", "sec", "--server", "localhost", "--port", Port(), "--user",
                       QString::fromStdString(server->user()), "--password", QString::fromStdString(server->password()),
                       "--local", QString::fromStdString(Local().string()), "--remote", "www", "--tls", "--trust-cert",
                       QString::fromStdString(selfSigned->shownFingerprint())})
                  .status,
              0);
    FernhopRun pinned = Fernhop({"--batch", "sec"});
    ASSERT_EQ(pinned.status, 0) << pinned.err;

    auto caSigned = TestCertificate::makeSignedBy(*authority, "localhost", "DNS:localhost");
    ASSERT_TRUE(caSigned);
    ASSERT_NO_FATAL_FAILURE(Serve(RealFtpServer::Kind::Vsftpd, *caSigned));
    ASSERT_EQ(Fernhop({"--replace-site", "sec", "--port", Port()}).status, 0);
    WriteFile(Local() / "index.html", "two");
    FernhopRun renewed = Fernhop({"--batch", "-v", "sec"});
    ASSERT_EQ(renewed.status, 0) << renewed.err;
    EXPECT_EQ(server->readFile("www/index.html"), "two");
    EXPECT_NE(renewed.err.find("Certificate verified for localhost"), std::string::npos) << renewed.err;
    EXPECT_NE(renewed.err.find("the fingerprint stored with the site (" + selfSigned->shownFingerprint() +
                               ") is another certificate's; it is kept"),
              std::string::npos)
        << renewed.err;

    auto otherSelfSigned = TestCertificate::make();
    ASSERT_TRUE(otherSelfSigned);
    ASSERT_NO_FATAL_FAILURE(Serve(RealFtpServer::Kind::Vsftpd, *otherSelfSigned));
    ASSERT_EQ(Fernhop({"--replace-site", "sec", "--port", Port()}).status, 0);
    FernhopRun replaced = Fernhop({"--batch", "sec"});
    EXPECT_EQ(replaced.status, 2) << replaced.err;
    EXPECT_NE(replaced.err.find("has changed since it was trusted"), std::string::npos) << replaced.err;
    EXPECT_EQ(replaced.err.find("USER "), std::string::npos) << replaced.err;
}

// What the CA store vouches for is the server's own name, as its certificate's DNS names say:
// not a common name alone, not a partial wildcard, and through the proxy option the server's
// name, never the proxy's. The site's server is www.example.com, reached through the proxy
// (this machine); the login is then refused by the test server, so only the verdict on the
// certificate counts here.
TEST_F(BatchTlsAuthority, TheCertificateMustNameTheServer)
{
    fs::create_directories(Local());
    struct Case {
        const char *what;
        std::string commonName, altNames;
        bool trusted;
    };
    const Case cases[] = {
        {"the server's name", "www.example.com", "DNS:www.example.com", true},
        {"the proxy's address", "127.0.0.1", "IP:127.0.0.1", false},
        {"a common name alone", "www.example.com", "", false},
        {"a partial wildcard", "www.example.com", "DNS:w*.example.com", false},
    };
    bool siteAdded = false;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto certificate = TestCertificate::makeSignedBy(*authority, c.commonName, c.altNames);
        ASSERT_TRUE(certificate);
        ASSERT_NO_FATAL_FAILURE(Serve(RealFtpServer::Kind::Pyftpdlib, *certificate));
        if (!siteAdded) {
            ASSERT_EQ(Fernhop({"--add-site", "far", "--server", "www.example.com", "--user", "u", "--password", "p",
                               "--local", QString::fromStdString(Local().string()), "--remote", "/www", "--pasv",
                               "--tls"})
                          .status,
                      0);
            siteAdded = true;
        }
        WriteFile(fs::path(tmp.path().toStdString()) / "settings/FERNHOP.INI",
                  "[Proxy]\r\nserver=" + EncipherText("127.0.0.1") + "\r\nport=" + Port().toStdString() +
                      "\r\nactive=1\r\n");
        FernhopRun run = Fernhop({"--batch", "-v", "far"});
        EXPECT_EQ(run.status, 2) << run.err;
        if (c.trusted) {
            EXPECT_NE(run.err.find("Certificate verified for www.example.com"), std::string::npos) << run.err;
        } else {
            EXPECT_NE(run.err.find("The certificate of www.example.com is not trusted"), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find("USER "), std::string::npos) << run.err;
        }
    }
}
