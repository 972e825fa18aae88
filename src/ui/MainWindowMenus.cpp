// The main window's menus, buttons and tree popups: each turns into one core call.
#include "ui/MainWindow.h"

#include "base/SignalStop.h"
#include "site/LocalScan.h"
#include "site/Marking.h"
#include "transfer/Fernhop.h"
#include "transfer/TransferPaths.h"
#include "ui/DropPanel.h"
#include "ui/LogMemo.h"
#include "ui/MainWindowParts.h"
#include "ui/SiteTreeView.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>
#include <QTreeView>
#include <QUrl>

namespace {
constexpr int kNickNameRowRole = Qt::UserRole + 1;
} // namespace

void MainWindow::BuildMenus()
{
    auto add = [this](QMenu *menu, const QString &text, auto slot) {
        QAction *action = menu->addAction(text);
        connect(action, &QAction::triggered, this, slot);
        actions_[text] = action;
        return action;
    };
    QMenu *main = menuBar()->addMenu(tr("&Fernhop"));
    add(main, tr("&Setup..."), [this] { SetupClick(-1); });
    main->addSeparator();
    ignoreListAction_ = add(main, tr("Display &Ignore List"), [this](bool checked) { ShowDropPanel(checked); });
    ignoreListAction_->setCheckable(true);
    add(main, tr("Start &Multi-Site Transfer"), [this] { app_->session.StartMultiSiteRun(); });
    main->addSeparator();
    add(main, tr("&Default Screen Size"), [this] { DefaultScreenSize(); });
    add(main, tr("&Clear FTP Log"), [this] { logMemo_->ClearLines(); });
    add(main, tr("&Reset FTP"), [this] { app_->session.ResetFtpClick(); });
    main->addSeparator();
    // No network check and no help file on this system: the items exist, hidden.
    add(main, tr("&Online Version Check..."), [] {})->setVisible(false);
    add(main, tr("&Exit"), [this] { app_->ExitClick(); });

    QMenu *ftp = menuBar()->addMenu(tr("&FTP"));
    add(ftp, tr("&Create Directory..."), [this] { app_->sequencer.CreateDirectoryCommand(); })->setEnabled(false);
    ftp->menuAction()->setVisible(false);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    add(help, tr("&Getting Started..."), [this] { GettingStartedClick(); });
    add(help, tr("Icon Legend..."), [this] { SetupClick(kSetupIconsPage); });
    help->addSeparator();
    add(help, tr("&About..."), [this] { SetupClick(kSetupAboutPage); });
    add(help, tr("&Help File..."), [] {})->setVisible(false);
}

QAction *MainWindow::MenuAction(const QString &text) const
{
    auto it = actions_.find(text);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::BuildPopups()
{
    Workspace &ws = app_->ws;
    localPopup_ = new QMenu(this);
    auto local = [this](const QString &text, auto slot) {
        QAction *action = localPopup_->addAction(text);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    local(tr("&Ignore during transfer"), [this, &ws] { Ignore1Click(ws, 1, SelectedNode(1)); });
    local(tr("&Upload in transfer"), [this, &ws] { Upload1Click(ws, SelectedNode(1)); });
    localPopup_->addSeparator();
    local(tr("&Restore"), [this, &ws] { Restore1Click(ws, 1, SelectedNode(1)); });
    localPopup_->addSeparator();
    localDeleteNow_ = local(tr("&Delete File NOW"), [this] { LocalDeleteNowClick(); });
    localPopup_->addSeparator();
    local(tr("&View File"), [this] { ViewFileClick(); });

    remotePopup_ = new QMenu(this);
    auto remote = [this](const QString &text, auto slot) {
        QAction *action = remotePopup_->addAction(text);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    remote(tr("Ignore during transfer"), [this, &ws] { Ignore1Click(ws, 2, SelectedNode(2)); });
    remote(tr("&Download in transfer"), [this, &ws] { Download1Click(ws, SelectedNode(2)); });
    remote(tr("D&elete before transfer"), [this, &ws] { Delete2Click(ws, SelectedNode(2)); });
    remotePopup_->addSeparator();
    remote(tr("&Restore"), [this, &ws] { Restore1Click(ws, 2, SelectedNode(2)); });
    remotePopup_->addSeparator();
    remoteDeleteNow_ = remote(tr("&Delete File NOW"), [this] { app_->sequencer.DeleteRemoteNow(SelectedNode(2)); });

    // "&Delete File NOW" only for a selected file.
    auto fileSelected = [this](int tag) {
        const SiteNode *node = SelectedNode(tag);
        return node && node->detail.kind == ekFile;
    };
    connect(localPopup_, &QMenu::aboutToShow, this, [this, fileSelected] { localDeleteNow_->setEnabled(fileSelected(1)); });
    connect(remotePopup_, &QMenu::aboutToShow, this, [this, fileSelected] { remoteDeleteNow_->setEnabled(fileSelected(2)); });
    connect(localTree_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { localPopup_->popup(localTree_->viewport()->mapToGlobal(at)); });
    connect(remoteTree_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { remotePopup_->popup(remoteTree_->viewport()->mapToGlobal(at)); });
}

void MainWindow::WireButtons()
{
    connect(connectBtn_, &QPushButton::clicked, this, [this] { app_->session.ConnectButtonClick(); });
    connect(compareBtn_, &QPushButton::clicked, this, [this] { app_->CompareClick(); });
    connect(updateBtn_, &QPushButton::clicked, this, [this] { app_->UpdateClick(); });
    connect(stopBtn_, &QPushButton::clicked, this, [this] { app_->sequencer.Stop(); });
    connect(changeLocalBtn_, &QPushButton::clicked, this, [this] { ChangeLocalCommand(app_->ws); });
    connect(refreshLocalBtn_, &QPushButton::clicked, this, [this] { RefreshLocalCommand(app_->ws); });
    connect(refreshRemoteBtn_, &QPushButton::clicked, this, [this] { app_->session.RefreshRemoteButtonClick(); });
    connect(ntDebugButton_, &QPushButton::clicked, this, [this] { ToggleVerboseTrace(); });
    connect(remoteDirEdit_, &QLineEdit::textEdited, this,
            [this](const QString &text) { app_->session.RemoteDirEditChanged(text.toStdString()); });
    connect(remoteDirEdit_, &QLineEdit::returnPressed, this, [this] { app_->session.RemoteDirEditCommit(); });
    connect(nickNameCombo_, &QComboBox::activated, this, [this](int item) { NickNameChosen(item); });
    dropPanel_->decodeDrop = [this](const QMimeData *mime, TDetail &entry) { return DecodeDrop(mime, entry); };
}

void MainWindow::WireCore()
{
    app_->session.selectNickNameItem = [this](int item) { SelectNickNameItem(item); };
    // The debug trace's dump at shutdown writes what the log memo holds.
    app_->sequencer.display.memoLines = [this] {
        std::vector<std::string> lines;
        for (const QString &line : logMemo_->Lines())
            lines.push_back(line.toStdString());
        return lines;
    };
    // A logout or a shutdown (SIGTERM, or the session manager's request) saves the settings as
    // a close does.
    signalStop_ = std::make_unique<SignalStop>([this](int) { EndNow(); });
#if QT_CONFIG(sessionmanager)
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { CommitData(); });
#endif
}

void MainWindow::CommitData()
{
    NoteGeometry();
    if (!app_->Closed())
        app_->SaveAll();
}

void MainWindow::EndNow()
{
    // No waiting for the server's goodbye or for an answer to an open prompt: the process is
    // about to be ended.
    NoteGeometry();
    app_->FormClose();
    closing_ = true;
    close();
    QCoreApplication::quit();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == remoteDirEdit_ && event->type() == QEvent::FocusOut) {
        // Leaving the box commits, as Enter does (both, when both happen).
        app_->session.RemoteDirEditCommit();
    } else if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == versionLabel_)
            ntDebugButton_->setVisible(app_->sequencer.display.VersionCaptionClick());
        else if (watched == versLabelGraphic_)
            ToggleDebugTrace();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::ToggleVerboseTrace()
{
    app_->sequencer.display.NTdebugButtonClick();
    ntDebugButton_->setText(QString::fromStdString(app_->sequencer.display.NTdebugButtonCaption()));
}

void MainWindow::ToggleDebugTrace()
{
    app_->sequencer.display.VersionLabelClick();
}

// ---- start-up and sites ------------------------------------------------------------------------

void MainWindow::AfterSettingsLoaded()
{
    RebuildNickNameCombo();
    dropPanel_->Reload();
}

void MainWindow::RebuildNickNameCombo()
{
    const QSignalBlocker block(nickNameCombo_);
    nickNameCombo_->clear();
    const SiteList &sites = app_->sites;
    for (const NickNameItem &item : sites.NickNames()) {
        nickNameCombo_->addItem(SiteDirectionIcon(sites.Row(item.row).Download), QString::fromStdString(item.nickName),
                                item.row);
        nickNameCombo_->setItemData(nickNameCombo_->count() - 1, item.row, kNickNameRowRole);
    }
    nickNameCombo_->setCurrentIndex(sites.NickNameItemOfRow(sites.CurrentRow()));
}

void MainWindow::SelectNickNameItem(int item)
{
    const QSignalBlocker block(nickNameCombo_);
    nickNameCombo_->setCurrentIndex(item);
}

void MainWindow::NickNameChosen(int item)
{
    app_->NickNameComboChange(item);
    // A refused switch (connected) leaves the current site showing.
    SelectNickNameItem(app_->sites.NickNameItemOfRow(app_->sites.CurrentRow()));
}

void MainWindow::SetupClick(int page)
{
    ++openPrompts_;
    OpenSetupDialog(*app_, this, page);
    --openPrompts_;
    RebuildNickNameCombo();
}

void MainWindow::GettingStartedClick()
{
    ++openPrompts_;
    ShowGettingStarted(this);
    --openPrompts_;
}

// ---- local file commands -----------------------------------------------------------------------

void MainWindow::LocalDeleteNowClick()
{
    app_->sequencer.DeleteLocalNow(SelectedNode(1));
}

void MainWindow::ViewFileClick()
{
    const SiteNode *node = SelectedNode(1);
    if (!node || node->detail.kind != ekFile || !StaysBelowTop(node->detail))
        return;
    const std::string path = LocalPath(app_->ws.localTopDirectory, node->detail);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))))
        app_->ws.LogLine("FERNHOP: no program was found to show " + path);
}
