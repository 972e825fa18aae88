// The window's question about an SFTP server's host key that known_hosts does not name, asked as
// the client asks it: Cancel refuses, "Always Trust" keeps the key with the site, the next
// connection takes that key without asking, and another key is refused without asking.
#include "WindowFixture.h"

#include "ui/HostKeyDialog.h"
#include "ui/LogMemo.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class WindowHostKey : public ::testing::Test, public WindowFixture {
protected:
    void SetUp() override
    {
        Open();
        SiteSpec site;
        site.nickName = "shell";
        site.server = "vps.example.net";
        site.port = 2222;
        site.localDir = Directory("local");
        UseSite(site);
        App().sites.edits.useSftp = true;
        ASSERT_EQ(App().sites.Replace(), "");
    }
    // What the client does with a key that known_hosts does not name.
    bool Offer(const SshHostKey &key)
    {
        TFtpClient &ftp = App().ws.FtpClient1;
        return ftp.OnSshHostKey && ftp.OnSshHostKey(&ftp, key);
    }
    bool LogHolds(const QString &text) { return window->Log()->Lines().join("\n").contains(text); }
};

const SshHostKey kKey{"ssh-ed25519", "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU"};
const SshHostKey kOtherKey{"ssh-ed25519", "SHA256:uNiVztksCsDhcc0u9e8BujQXVUpKZIDTMczCvj3tD2s"};

} // namespace

TEST_F(WindowHostKey, AlwaysTrustKeepsTheKeyWithTheSiteAndAnotherKeyIsRefusedWithoutAsking)
{
    PromptAnswerer cancel;
    QString shown;
    cancel.Answer("&Cancel", [&] {
        auto *dialog = qobject_cast<HostKeyDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->cancelBtn->isDefault());
        shown = dialog->hostLbl->text() + " " + dialog->typeLbl->text() + " " + dialog->fingerprintLbl->text();
    });
    EXPECT_FALSE(Offer(kKey));
    ASSERT_TRUE(cancel.answered);
    EXPECT_EQ(shown.toStdString(), "vps.example.net:2222 ssh-ed25519 " + kKey.fingerprint);
    EXPECT_EQ(App().sites.Current().TrustedHostKey, "");

    PromptAnswerer always;
    always.Answer("&Always Trust");
    EXPECT_TRUE(Offer(kKey));
    ASSERT_TRUE(always.answered);
    EXPECT_EQ(App().sites.Current().TrustedHostKey, kKey.fingerprint);
    ASSERT_EQ(App().sites.Save(), "");
    SiteList stored;
    stored.Load();
    ASSERT_EQ(stored.Count(), 1);
    EXPECT_EQ(stored.Row(0).TrustedHostKey, kKey.fingerprint);

    // From now on nobody is asked: the stored key is taken, another one refused and said so.
    bool asked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            asked = true;
            modal->close();
        }
    });
    poll.start(10);
    EXPECT_TRUE(Offer(kKey));
    EXPECT_FALSE(Offer(kOtherKey));
    EXPECT_FALSE(asked);
    EXPECT_TRUE(LogHolds("has changed since it was trusted")) << window->Log()->Lines().join("\n").toStdString();
    EXPECT_EQ(App().sites.Current().TrustedHostKey, kKey.fingerprint);
}
