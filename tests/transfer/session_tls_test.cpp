// TLS as the session sets it up from the site: the box ticked in the setup dialog counts before it
// is stored, and the connect countdown waits while the certificate question is open.
#include "SessionFixture.h"

#include "support/FtpServers.h"
#include "support/TestCertificate.h"

#include <gtest/gtest.h>

using fernhop::test::RealFtpServer;
using fernhop::test::ScriptedFtpServer;
using fernhop::test::TestCertificate;

namespace {
class SessionTls : public ::testing::Test, public SessionFixture {};
} // namespace

TEST_F(SessionTls, ATickedButUnstoredTlsBoxStillKeepsTheLoginOffTheWire)
{
    auto server = ScriptedFtpServer::start(R"({"rules": [
        {"match": "^AUTH ", "reply": "500 AUTH not understood."},
        {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})");
    ASSERT_TRUE(server);
    SiteSpec site;
    site.nickName = "web";
    site.port = server->port();
    site.localDir = Directory("local");
    UseSite(site);                     // stored without TLS
    app.sites.edits.requireTls = true; // ticked, not yet stored with Replace

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(RunUntil([&] { return DisconnectionsSeen() > 0; }));
    const std::vector<std::string> commands = server->commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), "AUTH TLS");
    for (const std::string &line : commands)
        EXPECT_TRUE(line.rfind("USER", 0) != 0 && line.rfind("PASS", 0) != 0) << line;
}

TEST_F(SessionTls, TheConnectCountdownWaitsWhileTheUserLooksAtTheCertificate)
{
    auto certificate = TestCertificate::make();
    ASSERT_TRUE(certificate);
    auto server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib,
                                       RealFtpServer::Tls::With(certificate->certificateFile(), certificate->keyFile()));
    ASSERT_TRUE(server);
    app.session.Timer1().stop(); // the test gives the ticks
    app.options.connectTimeOut = 1;
    app.options.timeOffset = true; // no clock check
    SiteSpec site;
    site.nickName = "web";
    site.port = server->port();
    site.user = server->user();
    site.password = server->password();
    site.localDir = Directory("local");
    site.tls = true;
    UseSite(site);
    view.answerCertificate = [&](const CertificateQuestion &question) {
        EXPECT_EQ(TlsChannel::NormalFingerprint(question.fingerprint), certificate->fingerprint());
        for (int tick = 0; tick < 3; ++tick) // seconds pass while the user compares fingerprints
            app.session.Timer1Timer();
        return CertificateTrust::Once;
    };

    ASSERT_TRUE(app.session.Connect());
    ASSERT_TRUE(WaitForSession()) << server->log();
    EXPECT_EQ(view.certificateQuestions, 1);
    EXPECT_FALSE(view.Logged("Timeout connecting to: 127.0.0.1"));
    EXPECT_TRUE(Disconnect());
}
