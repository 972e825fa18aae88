// Every Alt key has one meaning: in each window, each state of the main window that changes
// captions, and each page of the setup dialog, no two controls on show share a mnemonic letter.
#include "WindowFixture.h"

#include "support/FtpServers.h"
#include "ui/AdvancedSiteForm.h"
#include "ui/CertificateDialog.h"
#include "ui/InputDialog.h"
#include "ui/PageControl.h"
#include "ui/PagesDlg.h"
#include "ui/PromptDialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>

#include <gtest/gtest.h>

#include <map>

using fernhop::test::RealFtpServer;

namespace {

// The letter after a single "&", upper-cased; none for "&&" or no "&".
QChar Mnemonic(const QString &text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&')
            continue;
        if (text[i + 1] == u'&') {
            ++i;
            continue;
        }
        return text[i + 1].toUpper();
    }
    return {};
}

// The captions of `top` that Alt+letter reaches as it is shown now: buttons, labels with a
// buddy, group boxes, the menu bar's menus and the tabs; "letter: caption | caption" for each
// letter more than one of them has.
QStringList Clashes(QWidget *top)
{
    std::map<QChar, QStringList> byLetter;
    auto note = [&](QWidget *widget, const QString &text) {
        if (widget != top && !widget->isVisibleTo(top))
            return;
        const QChar letter = Mnemonic(text);
        if (!letter.isNull())
            byLetter[letter] << text;
    };
    for (QAbstractButton *button : top->findChildren<QAbstractButton *>())
        note(button, button->text());
    for (QLabel *label : top->findChildren<QLabel *>())
        if (label->buddy())
            note(label, label->text());
    for (QGroupBox *box : top->findChildren<QGroupBox *>())
        note(box, box->title());
    for (QTabBar *tabs : top->findChildren<QTabBar *>())
        for (int i = 0; i < tabs->count(); ++i)
            note(tabs, tabs->tabText(i));
    if (auto *window = qobject_cast<QMainWindow *>(top))
        for (QAction *menu : window->menuBar()->actions())
            if (menu->isVisible())
                note(window->menuBar(), menu->text());
    QStringList clashes;
    for (const auto &[letter, captions] : byLetter)
        if (captions.size() > 1)
            clashes << QString(letter) + ": " + captions.join(" | ");
    return clashes;
}

class MnemonicsTest : public ::testing::Test, public WindowFixture {};

} // namespace

TEST_F(MnemonicsTest, NoTwoControlsOnShowShareAnAltKey)
{
    auto server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
    ASSERT_TRUE(server);
    Open();
    App().options.sound.on.fill(false);
    App().options.reconnectTries = 0;
    SiteSpec site;
    site.nickName = "down";
    site.port = server->port();
    site.user = server->user();
    site.password = server->password();
    site.localDir = Directory("local");
    site.download = true;
    site.savedServerTime = 1; // no clock check
    UseSite(site);
    ASSERT_TRUE(RunUntil([&] { return Settled(); }));
    window->MenuAction("Display &Ignore List")->trigger();
    EXPECT_EQ(Clashes(window.get()), QStringList()) << "disconnected";

    static_cast<QPushButton *>(window->ControlWidget(Control::connectBtn))->click();
    ASSERT_TRUE(RunUntil([&] { return App().session.connected && Settled(); }));
    EXPECT_EQ(Clashes(window.get()), QStringList()) << "connected to a download site";

    // The setup dialog, page by page, as "&Setup..." opens it.
    std::map<QString, QStringList> pageClashes;
    int pagesSeen = 0;
    PromptAnswerer closer;
    closer.Answer("&Close", [&] {
        auto *dialog = qobject_cast<TPagesDlg *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        for (int page = 0; page < dialog->pages->count(); ++page) {
            dialog->ShowPage(page);
            pageClashes[dialog->pages->tabText(page)] = Clashes(dialog);
            ++pagesSeen;
        }
    });
    window->MenuAction("&Setup...")->trigger();
    ASSERT_TRUE(closer.answered);
    EXPECT_EQ(pagesSeen, setupPageCount);
    for (const auto &[page, clashes] : pageClashes)
        EXPECT_EQ(clashes, QStringList()) << page.toStdString();

    // The small dialogs.
    TadvancedForm advanced(window.get());
    EXPECT_EQ(Clashes(&advanced), QStringList()) << "advanced";
    PromptDialog prompt(window.get());
    prompt.Setup("Delete?", "/www/a.html", 3);
    EXPECT_EQ(Clashes(&prompt), QStringList()) << "prompt";
    InputDialog input(window.get());
    input.Setup("Password", "Password for joe:", true, QString());
    EXPECT_EQ(Clashes(&input), QStringList()) << "input";
    CertificateQuestion question;
    question.host = "127.0.0.1";
    question.problem = "self-signed certificate";
    CertificateDialog certificate(question, window.get());
    EXPECT_EQ(Clashes(&certificate), QStringList()) << "certificate";
}
