#pragma once
// The main window: owns one Fernhop and only turns clicks into its calls and its MainView calls
// into pixels. Layout and geometry are in MainWindow.cpp, menus, buttons and popups in
// MainWindowMenus.cpp, the MainView side in MainWindowView.cpp, the trees in MainWindowTrees.cpp.
#include "base/MainView.h"
#include "site/Detail.h"

#include <QMainWindow>

#include <map>
#include <memory>
#include <string>

class DropPanel;
class FileLabel;
class Fernhop;
class LogMemo;
class QAbstractButton;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QPushButton;
class QSplitter;
class SignalStop;
class HintPanel;
class SiteTreeView;
class TransferPanel;

class MainWindow : public QMainWindow, public MainView {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 635;
    static constexpr int kDefaultHeight = 428;
    static constexpr int kDefaultSplit = 210;

    // Makes the window and starts the core: the socket layer, the welcome lines, and the
    // settings loaded on the first turn of the event loop (with the command-line site choice).
    explicit MainWindow(const std::string &commandLineSite = std::string(), QWidget *parent = nullptr);
    ~MainWindow() override;

    Fernhop &App() { return *app_; }

    // ---- what tests and the single-instance socket reach ----
    QWidget *ControlWidget(Control control) const;
    QAction *MenuAction(const QString &text) const; // by its caption, "&Reset FTP"
    QMenu *LocalPopup() const { return localPopup_; }
    QMenu *RemotePopup() const { return remotePopup_; }
    SiteTreeView *LocalTree() const { return localTree_; }
    SiteTreeView *RemoteTree() const { return remoteTree_; }
    HintPanel *Hint() const { return hintPanel_; }
    QLineEdit *RemoteDirEdit() const { return remoteDirEdit_; }
    QLabel *StatusPanel(int index) const { return statusPanels_[index]; }
    LogMemo *Log() const { return logMemo_; }
    DropPanel *Drop() const { return dropPanel_; }
    TransferPanel *Transfer() const { return transferPanel_; }
    int LocalTreeWidth() const;
    // The local tree's width, the layout following (the split bar, "&Default Screen Size").
    void SetLocalTreeWidth(int width);
    // Brings the window forward (a second start asked for it).
    void ComeForward();
    // Prompts open now (the close query refuses while one is).
    int OpenPrompts() const { return openPrompts_; }
    // The desktop session is about to end (the session manager asks first): the settings are
    // saved now, the window stays.
    void CommitData();

    // ---- MainView ----
    void ShowStatusText(const std::string &text) override;
    void AppendLogLine(const std::string &text) override;
    void ClearLog() override;
    void SetEnabled(Control control, bool enabled) override;
    void SetText(TextSlot slot, const std::string &text) override;
    void ShowProgressPanel(bool visible) override;
    void SetProgressBar(int percent) override;
    void ShowFileLabels(bool visible) override;
    void KeepInView(SiteTree &tree, SiteNode *node) override;
    void MakeVisible(SiteTree &tree, SiteNode *node) override;
    PromptAnswer AskUser(const std::string &caption, const std::string &text, int buttons = 3) override;
    bool Confirm(const std::string &text) override;
    void Message(const std::string &text) override;
    bool InputQuery(const std::string &caption, const std::string &prompt, std::string &text) override;
    bool MaskedInputQuery(const std::string &caption, const std::string &prompt, std::string &text) override;
    bool ChooseFolder(const std::string &start, std::string &chosen) override;
    CertificateTrust AskTrustCertificate(const CertificateQuestion &question) override;
    CertificateTrust AskTrustHostKey(const HostKeyQuestion &question) override;
    void PlaySound(SoundEvent event, const std::string &file) override;
    void Beep() override;
    void CloseWindow() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // MainWindow.cpp
    void BuildLayout();
    QWidget *BuildTopBar();
    QWidget *BuildLeftStrip();
    QWidget *BuildCentre();
    QWidget *BuildBottomBand();
    void BuildStatusBar();
    void ApplyStoredGeometry();
    void NoteGeometry();
    void DefaultScreenSize();
    void ShowDropPanel(bool shown);

    // MainWindowMenus.cpp
    void BuildMenus();
    void BuildPopups();
    void WireButtons();
    void WireCore();
    void SetupClick(int page);
    void GettingStartedClick();
    void ToggleVerboseTrace();
    void ToggleDebugTrace();
    void AfterSettingsLoaded();
    // SIGTERM or SIGINT: saved as on a close, and the window ends at once.
    void EndNow();
    void RebuildNickNameCombo();
    void SelectNickNameItem(int item);
    void NickNameChosen(int item);
    void LocalDeleteNowClick();
    void ViewFileClick();

    // MainWindowTrees.cpp
    void AttachTrees();
    SiteNode *SelectedNode(int tag) const;
    SiteTreeView *TreeView(const SiteTree &tree) const;
    bool DecodeDrop(const QMimeData *mime, TDetail &entry) const;

    std::unique_ptr<Fernhop> app_;
    std::unique_ptr<SignalStop> signalStop_;
    std::string commandLineSite_;

    QComboBox *nickNameCombo_ = nullptr;
    QPushButton *connectBtn_ = nullptr;
    QPushButton *compareBtn_ = nullptr;
    QPushButton *updateBtn_ = nullptr;
    QPushButton *stopBtn_ = nullptr;
    QPushButton *ntDebugButton_ = nullptr;
    QLabel *versionLabel_ = nullptr;
    QLabel *versLabelGraphic_ = nullptr;
    QSplitter *splitter_ = nullptr;
    SiteTreeView *localTree_ = nullptr;
    SiteTreeView *remoteTree_ = nullptr;
    HintPanel *hintPanel_ = nullptr;
    FileLabel *localDirLabel_ = nullptr;
    QPushButton *changeLocalBtn_ = nullptr;
    QPushButton *refreshLocalBtn_ = nullptr;
    QLineEdit *remoteDirEdit_ = nullptr;
    QPushButton *refreshRemoteBtn_ = nullptr;
    DropPanel *dropPanel_ = nullptr;
    LogMemo *logMemo_ = nullptr;
    TransferPanel *transferPanel_ = nullptr;
    QLabel *statusPanels_[3] = {};
    QMenu *localPopup_ = nullptr;
    QMenu *remotePopup_ = nullptr;
    QAction *ignoreListAction_ = nullptr;
    QAction *localDeleteNow_ = nullptr;
    QAction *remoteDeleteNow_ = nullptr;
    std::map<QString, QAction *> actions_;
    QObject *treeModels_[2] = {}; // the tree models, owned by the views

    int openPrompts_ = 0;
    bool closing_ = false;       // the core has closed: the next close event is let through
    bool inCloseEvent_ = false;
    bool geometryReady_ = false; // the stored geometry has been applied
};
