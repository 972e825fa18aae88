// The question about an untrusted server certificate: what it shows, its three answers and the
// cancel of Escape, Enter and the window's close; and the window asking it for a real server
// over TLS, where "always" keeps the fingerprint with the site.
#include "WindowFixture.h"

#include "support/FtpServers.h"
#include "support/TestCertificate.h"
#include "ui/CertificateDialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using fernhop::test::RealFtpServer;
using fernhop::test::TestCertificate;

namespace {

CertificateQuestion Question()
{
    return {"ftp.example.org",
            "CN = ftp.example.org, O = <b>Example</b>",
            "CN = Example CA",
            "Dec  7 18:17:52 2026 GMT",
            "Dec  9 18:17:52 2026 GMT",
            "AB:12:CD:34:EF:56:AB:12:CD:34:EF:56:AB:12:CD:34:EF:56:AB:12:CD:34:EF:56:AB:12:CD:34:EF:56:AB:12",
            "self-signed certificate"};
}

// Asks with the dialog and, once it is open, does `act` to it.
CertificateTrust AskAnd(const std::function<void(CertificateDialog &)> &act)
{
    QTimer::singleShot(0, [act] {
        auto *dialog = qobject_cast<CertificateDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
    return AskCertificateTrust(nullptr, Question());
}

} // namespace

TEST(CertificateDialog, ShowsTheCertificateAsTheServerGaveIt)
{
    CertificateDialog dialog(Question());
    EXPECT_TRUE(dialog.windowTitle().contains("ftp.example.org"));
    EXPECT_EQ(dialog.problemLbl->text(), "self-signed certificate");
    EXPECT_EQ(dialog.subjectLbl->text(), "CN = ftp.example.org, O = <b>Example</b>");
    EXPECT_EQ(dialog.subjectLbl->textFormat(), Qt::PlainText) << "the server's words are never markup";
    EXPECT_EQ(dialog.issuerLbl->text(), "CN = Example CA");
    EXPECT_EQ(dialog.validFromLbl->text(), "Dec  7 18:17:52 2026 GMT");
    EXPECT_EQ(dialog.validUntilLbl->text(), "Dec  9 18:17:52 2026 GMT");
    EXPECT_EQ(dialog.fingerprintLbl->text().toStdString(), Question().fingerprint);
    const QFontMetrics pitch = dialog.fingerprintLbl->fontMetrics(); // fixed: every character as wide
    EXPECT_EQ(pitch.horizontalAdvance("1111"), pitch.horizontalAdvance("DDDD"));
    EXPECT_TRUE(dialog.fingerprintLbl->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(dialog.onceBtn->text(), "Trust &Once");
    EXPECT_EQ(dialog.alwaysBtn->text(), "&Always Trust This Certificate for This Site");
    EXPECT_EQ(dialog.cancelBtn->text(), "&Cancel");

    // The fingerprint is shown whole, on one line.
    dialog.show();
    EXPECT_GE(dialog.fingerprintLbl->width(),
              dialog.fingerprintLbl->fontMetrics().horizontalAdvance(dialog.fingerprintLbl->text()));
}

TEST(CertificateDialog, TrustsOnlyOnAClickOfATrustButton)
{
    EXPECT_EQ(AskAnd([](CertificateDialog &d) { d.onceBtn->click(); }), CertificateTrust::Once);
    EXPECT_EQ(AskAnd([](CertificateDialog &d) { d.alwaysBtn->click(); }), CertificateTrust::Always);
    EXPECT_EQ(AskAnd([](CertificateDialog &d) { d.cancelBtn->click(); }), CertificateTrust::Cancel);
    EXPECT_EQ(AskAnd([](CertificateDialog &d) { QTest::keyClick(&d, Qt::Key_Escape); }), CertificateTrust::Cancel);
    EXPECT_EQ(AskAnd([](CertificateDialog &d) { d.close(); }), CertificateTrust::Cancel);
    // Enter presses the default button, which is Cancel, wherever the focus was put.
    EXPECT_EQ(AskAnd([](CertificateDialog &d) {
                  EXPECT_TRUE(d.cancelBtn->isDefault());
                  QTest::keyClick(&d, Qt::Key_Return);
              }),
              CertificateTrust::Cancel);
    // An answer of an earlier showing is not the answer of the next.
    CertificateDialog dialog(Question());
    QTimer::singleShot(0, &dialog, [&] { dialog.alwaysBtn->click(); });
    dialog.exec();
    QTimer::singleShot(0, &dialog, [&] { dialog.close(); });
    dialog.exec();
    EXPECT_EQ(dialog.Answer(), CertificateTrust::Cancel);
}

namespace {
class WindowTls : public ::testing::Test, public WindowFixture {
protected:
    void SetUp() override
    {
        certificate = TestCertificate::make();
        ASSERT_TRUE(certificate);
        server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib,
                                      RealFtpServer::Tls::With(certificate->certificateFile(), certificate->keyFile()));
        ASSERT_TRUE(server);
        ASSERT_TRUE(server->writeFile("www/index.html", "hello"));
        Open();
        App().options.sound.on.fill(false);
        App().options.reconnectTries = 0;
        SiteSpec site;
        site.nickName = "secure";
        site.port = server->port();
        site.user = server->user();
        site.password = server->password();
        site.localDir = Directory("local");
        site.remoteDir = "/www";
        site.savedServerTime = 1; // no clock check
        UseSite(site);
        App().sites.edits.requireTls = true;
        ASSERT_EQ(App().sites.Replace(), "");
        RunUntil([&] { return Settled(); });
    }
    // Connects and waits until the session is up, or has ended.
    bool Connect()
    {
        App().session.ConnectButtonClick();
        RunUntil([&] { return Settled() && (App().session.connected || !App().ws.FtpClient1.Connected()); });
        return App().session.connected;
    }

    std::unique_ptr<TestCertificate> certificate;
    std::unique_ptr<RealFtpServer> server;
};
} // namespace

TEST_F(WindowTls, TheWindowAsksAboutAnUntrustedCertificateAndAlwaysKeepsItWithTheSite)
{
    // Cancel: no login, nothing kept.
    PromptAnswerer cancel;
    QString shownFingerprint;
    cancel.Answer("&Cancel", [&] {
        auto *dialog = qobject_cast<CertificateDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        shownFingerprint = dialog->fingerprintLbl->text();
        window->close();
        EXPECT_TRUE(window->isVisible()) << "the window stays while its question is open";
    });
    EXPECT_FALSE(Connect());
    ASSERT_TRUE(cancel.answered);
    EXPECT_EQ(shownFingerprint.toStdString(), certificate->shownFingerprint());
    EXPECT_EQ(App().sites.Current().TrustedCert, "");

    // Always: logged in over TLS, and the site keeps the fingerprint.
    PromptAnswerer always;
    always.Answer("&Always Trust This Certificate for This Site");
    ASSERT_TRUE(Connect());
    ASSERT_TRUE(always.answered);
    EXPECT_EQ(App().ws.remoteTree.Count(), 1);
    EXPECT_EQ(App().sites.Current().TrustedCert, certificate->fingerprint());
    App().session.ConnectButtonClick();
    ASSERT_TRUE(RunUntil([&] { return !App().session.connected && Settled(); }));

    // The next connection does not ask.
    bool asked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            asked = true;
            modal->close();
        }
    });
    poll.start(10);
    EXPECT_TRUE(Connect());
    EXPECT_FALSE(asked);
}
