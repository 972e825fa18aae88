// The main window on the offscreen platform: start-up look, titles, sizes, the enable states of
// a whole session against a real server, prompts (button counts, and a connection that ends
// under one), the remote directory commit and the log memo's cap.
#include "WindowFixture.h"

#include "support/FtpServers.h"
#include "ui/DropPanel.h"
#include "ui/FileLabel.h"
#include "ui/EntryDrag.h"
#include "ui/LogMemo.h"
#include "ui/MainWindowParts.h"
#include "ui/PageControl.h"
#include "ui/PagesDlg.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSplitter>
#include <QTest>
#include "ui/SiteTreeView.h"
#include <gtest/gtest.h>

using fernhop::test::RealFtpServer;

namespace {

class MainWindowTest : public ::testing::Test, public WindowFixture {};

std::string Caption(QWidget *widget)
{
    return static_cast<QPushButton *>(widget)->text().toStdString();
}

} // namespace

TEST_F(MainWindowTest, FirstStartWithoutSettings)
{
    window = std::make_unique<MainWindow>();
    EXPECT_EQ(window->windowTitle(), "Fernhop") << "until the settings are loaded";
    for (Control c : {Control::connectBtn, Control::compareBtn, Control::updateBtn, Control::stopBtn})
        EXPECT_FALSE(Enabled(c));
    window->show();
    RunUntil([&] { return App().LoadSettingsDone(); });
    QCoreApplication::processEvents();

    EXPECT_EQ(window->windowTitle(), "Fernhop - v3.7b");
    EXPECT_EQ(window->size(), QSize(615, 428));
    EXPECT_EQ(window->LocalTreeWidth(), 210);
    // The details panel floats over the trees: it is no third pane of the split.
    auto *split = window->findChild<QSplitter *>();
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(split->count(), 2);
    const QStringList log = window->Log()->Lines();
    EXPECT_TRUE(log.contains("Please change to a local directory before connecting"));
    EXPECT_TRUE(log.contains("Please enter the top remote directory of your FTP server in the box under the right hand "
                             "window. eg. /www/users/html"));
    // Idle: the main buttons on, Stop off, nothing to refresh remotely.
    EXPECT_TRUE(Enabled(Control::connectBtn));
    EXPECT_TRUE(Enabled(Control::compareBtn));
    EXPECT_TRUE(Enabled(Control::changeLocalBtn));
    EXPECT_TRUE(Enabled(Control::nickNameCombo));
    EXPECT_FALSE(Enabled(Control::stopBtn));
    EXPECT_FALSE(Enabled(Control::refreshRemoteBtn));
    // Hidden items stay hidden.
    EXPECT_FALSE(window->MenuAction("&Online Version Check...")->isVisible());
    EXPECT_FALSE(window->MenuAction("&Help File...")->isVisible());

    window->SetLocalTreeWidth(300);
    window->MenuAction("&Default Screen Size")->trigger();
    EXPECT_EQ(window->size(), QSize(635, 428));
    EXPECT_EQ(window->LocalTreeWidth(), 210);
}

TEST_F(MainWindowTest, TitlesFollowTheChosenSite)
{
    Open();
    EXPECT_EQ(window->windowTitle(), "Fernhop - v3.7b");
    SiteSpec site;
    site.nickName = "web";
    site.localDir = Directory("local");
    UseSite(site);
    EXPECT_EQ(window->windowTitle(), "Fernhop - v3.7b - web");
}

TEST_F(MainWindowTest, GeometryAndSplitAreSavedOnceAtClose)
{
    Open();
    window->resize(700, 500);
    window->SetLocalTreeWidth(260);
    window->close();
    EXPECT_TRUE(App().Closed());
    const std::string ini = ReadWholeFile((SettingsDir() + "/FERNHOP.INI").toStdString());
    EXPECT_NE(ini.find("width=700"), std::string::npos) << ini;
    EXPECT_NE(ini.find("height=500"), std::string::npos);
    EXPECT_NE(ini.find("split=260"), std::string::npos);

    // A second window opens the way the first closed.
    window.reset();
    Open();
    EXPECT_EQ(window->size(), QSize(700, 500));
    EXPECT_EQ(window->LocalTreeWidth(), 260);
}

TEST_F(MainWindowTest, PromptShowsOneToThreeButtonsAndReportsTheAnswer)
{
    Open();
    struct Case {
        int buttons;
        QString click;
        PromptAnswer answer;
        QStringList shown;
    };
    const Case cases[] = {
        {1, "&Yes", PromptAnswer::Yes, {"&Yes"}},
        {2, "&No", PromptAnswer::No, {"&Yes", "&No"}},
        {3, "&Cancel", PromptAnswer::Cancel, {"&Yes", "&No", "&Cancel"}},
        {3, "&No", PromptAnswer::No, {"&Yes", "&No", "&Cancel"}},
    };
    for (const Case &c : cases) {
        PromptAnswerer answerer;
        answerer.Answer(c.click);
        EXPECT_EQ(window->AskUser("line one", "line two", c.buttons), c.answer) << c.buttons;
        QStringList shown = answerer.captions;
        shown.sort();
        QStringList expected = c.shown;
        expected.sort();
        EXPECT_EQ(shown, expected) << c.buttons;
    }
}

TEST_F(MainWindowTest, RemoteDirectoryCommitsOnEnterOnLeavingAndBeforeACommand)
{
    Open();
    SiteSpec site;
    site.nickName = "web";
    site.localDir = Directory("local");
    site.remoteDir = "/old";
    UseSite(site);
    QLineEdit *edit = window->RemoteDirEdit();
    EXPECT_EQ(edit->text(), "/old");

    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "/typed");
    // A shortcut leaves the focus in the box: Compare commits the typed directory first.
    static_cast<QPushButton *>(window->ControlWidget(Control::compareBtn))->click();
    EXPECT_EQ(App().sites.Current().RemoteDir, "/typed");

    edit->selectAll();
    QTest::keyClicks(edit, "/entered");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(App().sites.Current().RemoteDir, "/entered");
    EXPECT_EQ(window->StatusPanel(2)->text(), "Remote Directory Path Updated");

    // Leaving the box commits too.
    edit->selectAll();
    QTest::keyClicks(edit, "/left");
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(edit, &leave);
    EXPECT_EQ(App().sites.Current().RemoteDir, "/left");
}

TEST_F(MainWindowTest, LogMemoKeepsTheNewestLines)
{
    LogMemo memo;
    for (int i = 0; i < LogMemo::kMaxLines + 5000; ++i)
        memo.AppendLine(QString::number(i));
    EXPECT_EQ(memo.LineCount(), LogMemo::kMaxLines);
    const QStringList lines = memo.Lines();
    EXPECT_EQ(lines.front(), QString::number(5000));
    EXPECT_EQ(lines.back(), QString::number(LogMemo::kMaxLines + 4999));
    memo.ClearLines();
    EXPECT_EQ(memo.LineCount(), 0);
}

// ---- against a real server ----------------------------------------------------------------------

namespace {
class WindowSession : public ::testing::Test, public WindowFixture {
protected:
    void SetUp() override
    {
        server = RealFtpServer::start(RealFtpServer::Kind::Pyftpdlib);
        ASSERT_TRUE(server);
        ASSERT_TRUE(server->writeFile("www/index.html", "old"));
        ASSERT_TRUE(server->writeFile("www/gone.html", "gone"));
        local = Directory("local");
        WriteWholeFile(local + "/index.html", "new and longer");
        WriteWholeFile(local + "/new.html", "new");
        Open();
        App().options.sound.on.fill(false);
        App().options.confirmDelete = true;
        App().options.reconnectTries = 0;
        SiteSpec site;
        site.nickName = "web";
        site.port = server->port();
        site.user = server->user();
        site.password = server->password();
        site.localDir = local;
        site.remoteDir = "/www";
        site.savedServerTime = 1; // no clock check
        UseSite(site);
        RunUntil([&] { return Settled(); });
    }
    void Click(Control control) { static_cast<QPushButton *>(window->ControlWidget(control))->click(); }

    std::unique_ptr<RealFtpServer> server;
    std::string local;
};
} // namespace

TEST_F(WindowSession, EnableStatesThroughASession)
{
    ASSERT_TRUE(Enabled(Control::nickNameCombo));
    Click(Control::connectBtn);
    ASSERT_TRUE(RunUntil([&] { return App().session.connected && Settled(); }));
    EXPECT_EQ(Caption(window->ControlWidget(Control::connectBtn)), "Dis&connect");
    EXPECT_TRUE(Enabled(Control::connectBtn));
    EXPECT_TRUE(Enabled(Control::compareBtn));
    EXPECT_TRUE(Enabled(Control::refreshRemoteBtn));
    EXPECT_FALSE(Enabled(Control::nickNameCombo)) << "no site switch while logged in";
    EXPECT_FALSE(Enabled(Control::stopBtn));
    EXPECT_EQ(window->StatusPanel(0)->text(), "127.0.0.1");
    EXPECT_EQ(App().ws.remoteTree.Count(), 2);

    Click(Control::compareBtn);
    ASSERT_TRUE(RunUntil([&] { return Settled(); }));
    EXPECT_TRUE(Enabled(Control::updateBtn));
    EXPECT_EQ(Caption(window->ControlWidget(Control::updateBtn)), "&Upload");

    // The run stops at the deletion prompt: every long-operation control is off, Stop is on.
    std::map<Control, bool> during;
    PromptAnswerer answerer;
    answerer.Answer("&Yes", [&] {
        for (Control c : {Control::connectBtn, Control::compareBtn, Control::updateBtn, Control::stopBtn,
                          Control::changeLocalBtn, Control::refreshLocalBtn, Control::refreshRemoteBtn,
                          Control::nickNameCombo})
            during[c] = Enabled(c);
    });
    Click(Control::updateBtn);
    ASSERT_TRUE(RunUntil([&] { return Settled(); }));
    ASSERT_TRUE(answerer.answered);
    EXPECT_TRUE(during[Control::stopBtn]);
    for (Control c : {Control::connectBtn, Control::compareBtn, Control::updateBtn, Control::changeLocalBtn,
                      Control::refreshLocalBtn, Control::refreshRemoteBtn, Control::nickNameCombo})
        EXPECT_FALSE(during[c]) << int(c);
    EXPECT_EQ(server->readFile("www/index.html"), "new and longer");
    EXPECT_EQ(server->readFile("www/new.html"), "new");
    EXPECT_FALSE(server->exists("www/gone.html"));
    EXPECT_FALSE(Enabled(Control::stopBtn));
    EXPECT_TRUE(Enabled(Control::compareBtn));

    Click(Control::connectBtn);
    ASSERT_TRUE(RunUntil([&] { return !App().session.connected && Settled(); }));
    EXPECT_EQ(Caption(window->ControlWidget(Control::connectBtn)), "&Connect");
    EXPECT_TRUE(Enabled(Control::nickNameCombo));
    EXPECT_FALSE(Enabled(Control::refreshRemoteBtn));
    EXPECT_EQ(window->StatusPanel(0)->text(), "");
    EXPECT_EQ(App().ws.remoteTree.Count(), 0);
}

// At the default size after a compare, the status panel shows the whole summary; at any split
// the local directory label shows its last part whole, inside its frame's indent.
TEST_F(WindowSession, TextsFitTheirPanels)
{
    window->MenuAction("&Default Screen Size")->trigger();
    Click(Control::connectBtn);
    ASSERT_TRUE(RunUntil([&] { return App().session.connected && Settled(); }));
    Click(Control::compareBtn);
    ASSERT_TRUE(RunUntil([&] { return Settled(); }));
    QCoreApplication::processEvents();
    QLabel *status = window->StatusPanel(2);
    ASSERT_TRUE(status->text().startsWith("Compare Done - [")) << status->text().toStdString();
    EXPECT_LE(status->fontMetrics().horizontalAdvance(status->text()), status->contentsRect().width());

    auto *label = window->findChild<FileLabel *>("localDirLabel");
    ASSERT_TRUE(label);
    // A framed label's text starts half an "x" in.
    const int indent = label->fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2;
    for (int width = 220; width < 520; ++width) {
        window->SetLocalTreeWidth(width);
        const QString shown = label->text();
        ASSERT_TRUE(shown.endsWith("/local")) << width << " " << shown.toStdString();
        ASSERT_LE(label->fontMetrics().horizontalAdvance(shown) + indent, label->contentsRect().width())
            << width << " " << shown.toStdString();
    }
}

// "&View File" where no program shows files: the log says so.
TEST_F(WindowSession, ViewFileWithoutAViewerSaysSoInTheLog)
{
    EnvironmentGuard noPrograms("PATH", "");
    SiteTreeView *tree = window->LocalTree();
    QModelIndex file;
    for (int row = 0; row < tree->model()->rowCount(); ++row)
        if (tree->model()->index(row, 0).data().toString() == "new.html")
            file = tree->model()->index(row, 0);
    ASSERT_TRUE(file.isValid());
    tree->setCurrentIndex(file);
    QAction *view = nullptr;
    for (QAction *action : window->LocalPopup()->actions())
        if (action->text() == "&View File")
            view = action;
    ASSERT_TRUE(view);
    view->trigger();
    EXPECT_TRUE(window->Log()->Lines().contains(
        QString::fromStdString("FERNHOP: no program was found to show " + local + "/new.html")))
        << window->Log()->Lines().join("\n").toStdString();
}

TEST_F(WindowSession, ConnectionEndsUnderTheDeletionPrompt)
{
    Click(Control::connectBtn);
    ASSERT_TRUE(RunUntil([&] { return App().session.connected && Settled(); }));
    Click(Control::compareBtn);
    ASSERT_TRUE(RunUntil([&] { return Settled(); }));

    PromptAnswerer answerer;
    answerer.Answer("&No", [&] {
        server->stop();
        EXPECT_TRUE(RunUntil([&] { return !App().session.connected; }));
        EXPECT_EQ(App().ws.remoteTree.Count(), 0) << "the tree went with the connection";
    });
    Click(Control::updateBtn);
    ASSERT_TRUE(RunUntil([&] { return answerer.answered && Settled(); }));
    EXPECT_FALSE(App().sequencer.Running());
    EXPECT_EQ(Caption(window->ControlWidget(Control::connectBtn)), "&Connect");
    EXPECT_TRUE(Enabled(Control::connectBtn));
    EXPECT_TRUE(Enabled(Control::nickNameCombo));
    EXPECT_TRUE(server->exists("www/gone.html"));
}

TEST_F(WindowSession, CloseWhileConnectedQuitsFirstAndClosesWhenTheSessionHasEnded)
{
    Click(Control::connectBtn);
    ASSERT_TRUE(RunUntil([&] { return App().session.connected && Settled(); }));
    window->close();
    EXPECT_TRUE(window->isVisible()) << "the close waits for the server's goodbye";
    EXPECT_FALSE(App().Closed());
    EXPECT_TRUE(window->Log()->Lines().contains(
        "If Fernhop cannot close you MAY have to use the menu option to 'reset FTP' to quit."));
    ASSERT_TRUE(RunUntil([&] { return !window->isVisible(); }));
    EXPECT_TRUE(App().Closed());
    EXPECT_FALSE(App().session.connected);
    EXPECT_TRUE(QFile::exists(SettingsDir() + "/FERNHOP.FTP"));
}

TEST_F(MainWindowTest, EntriesDroppedOnTheIgnoreLists)
{
    Open();
    window->MenuAction("Display &Ignore List")->trigger();
    EXPECT_TRUE(window->Drop()->isVisible());
    EXPECT_EQ(window->Drop()->width(), DropPanel::kWidth);

    TDetail file;
    file.kind = ekFile;
    file.directory = "/docs";
    file.name = "Report.tar.GZ";
    // What the tree views drag is read back and dropped; anything else is refused.
    DropPanel &panel = *window->Drop();
    auto drop = [&](IgnoreListKind kind, const QMimeData &mime) {
        TDetail entry;
        if (!panel.decodeDrop(&mime, entry))
            return false;
        panel.DropEntry(kind, entry);
        return true;
    };
    std::unique_ptr<QMimeData> dragged(EncodeEntryDrag({1, {file}}));
    EXPECT_TRUE(drop(IgnoreListKind::Names, *dragged));
    EXPECT_TRUE(drop(IgnoreListKind::Extensions, *dragged));
    ASSERT_EQ(panel.List(IgnoreListKind::Names)->count(), 1);
    ASSERT_EQ(panel.List(IgnoreListKind::Extensions)->count(), 1);
    EXPECT_EQ(panel.List(IgnoreListKind::Names)->item(0)->text(), "/docs/Report.tar.GZ");
    EXPECT_EQ(panel.List(IgnoreListKind::Extensions)->item(0)->text(), ".GZ");
    EXPECT_EQ(App().ws.ignore.names.Items(), std::vector<std::string>{"/docs/Report.tar.GZ"});
    QMimeData text;
    text.setText("/etc/passwd");
    EXPECT_FALSE(drop(IgnoreListKind::Names, text));
    EXPECT_EQ(App().ws.ignore.names.Count(), 1);

    // "De&lete" removes the selected items of the list clicked last.
    window->Drop()->List(IgnoreListKind::Extensions)->item(0)->setSelected(true);
    App().ws.ignore.lastClicked = IgnoreListKind::Extensions;
    window->Drop()->DeleteClicked();
    EXPECT_EQ(App().ws.ignore.extensions.Count(), 0);
    EXPECT_EQ(App().ws.ignore.names.Count(), 1);
}

TEST_F(MainWindowTest, SetupItemsOpenTheSetupDialogOnTheirPage)
{
    Open();
    for (const auto &[item, page] : {std::pair{"Icon Legend...", int(pageIcons)}, std::pair{"&About...", int(pageAbout)}}) {
        int shown = -1;
        QTimer::singleShot(0, [&] {
            RunUntil([] { return QApplication::activeModalWidget() != nullptr; });
            auto *dialog = qobject_cast<TPagesDlg *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(window->OpenPrompts(), 1) << "the close query waits for it";
            shown = dialog->pages->currentIndex();
            dialog->reject();
        });
        window->MenuAction(item)->trigger();
        EXPECT_EQ(shown, page) << item;
    }
    EXPECT_EQ(window->OpenPrompts(), 0);
    EXPECT_EQ(window->windowTitle(), "Fernhop - v3.7b");
}
