#include "ui/SetupSettingsPages.h"

#include "transfer/Fernhop.h"
#include "ui/PagesDlg.h"
#include "ui/SetupBinding.h"

#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <climits>

namespace {

QLabel *Note(const QString &text, QWidget *parent)
{
    auto *note = new QLabel(text, parent);
    note->setWordWrap(true);
    QFont font = note->font();
    font.setItalic(true);
    note->setFont(font);
    return note;
}

QFrame *Divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

QWidget *MakeSettingsPage(TPagesDlg &dialog)
{
    Options &o = dialog.app.options;
    auto *page = new QWidget;
    page->setObjectName("settingsPage");
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(BoundCheck(page, "CheckBox5", "Delete Files/Directories when marked with trash icon", o.delete_));
    layout->addWidget(BoundCheck(page, "confirmDeleteCheck", "Prompt before deleting", o.confirmDelete));
    layout->addWidget(BoundCheck(page, "fastCompareCheck", "Fast Compare (don't display file icons during compare)",
                                 o.fastCompare));
    layout->addWidget(BoundCheck(page, "deleteRefreshCheck",
                                 "Delete files marked for 'refresh' before uploading new file", o.deleteRefresh));
    layout->addWidget(BoundCheck(page, "tildeCheck", "Prefix remote directory with a tilde (~)", o.tilde));
    layout->addWidget(BoundCheck(page, "wakeupCheck", "Stop FTP server timeout during long 'compares'", o.wakeup));
    layout->addWidget(BoundCheck(page, "expandTreeCheck", "Expand tree display when building lists", o.expandTree));
    layout->addWidget(BoundCheck(page, "errorPromptCheck", "Prompt on errors before continuing", o.errorPrompt));
    layout->addWidget(BoundCheck(page, "slashCheckBox", "Do not auto-format remote path with leading '/'", o.slash));
    layout->addWidget(BoundCheck(page, "refreshIgnoredCheck",
                                 "Do not load 'ignored files' when refreshing file lists", o.refreshIgnore));
    layout->addWidget(BoundCheck(page, "checkSizeCheck", "Force transfer when file sizes are different",
                                 o.fileSizeCheck));
    layout->addWidget(BoundCheck(page, "followOutsideLinksCheck",
                                 "Follow local links that lead outside the local directory", o.followOutsideLinks));
    layout->addWidget(BoundCheck(page, "useMLSDCheck", "Use exact server times (MLSD) where the server offers them",
                                 o.useMLSD));
    // The time-outs and the reconnect count side by side; 0 turns a time-out (or reconnecting) off.
    auto *numbers = new QGridLayout;
    auto addNumber = [&](int row, int column, const char *name, const char *caption, int &value) {
        QSpinBox *spin = BoundSpin(page, name, 0, INT_MAX, value);
        auto *label = new QLabel(caption, page);
        label->setBuddy(spin);
        numbers->addWidget(label, row, column);
        numbers->addWidget(spin, row, column + 1);
    };
    addNumber(0, 0, "ConnectTimeoutSpin", "FTP connect timeout: (sec)", o.connectTimeOut);
    addNumber(0, 2, "replyTimeOutSpin", "Reply timeout: (sec)", o.replyTimeOut);
    addNumber(1, 0, "reconnectTriesSpin", "Reconnect tries after a lost session:", o.reconnectTries);
    addNumber(1, 2, "maxDeletePercentSpin", "Ask before deleting more than: (% of files)", o.maxDeletePercent);
    addNumber(2, 0, "connectionsSpin", "Connections at once (a site may set its own):", o.connections);
    numbers->setColumnStretch(4, 1);
    layout->addSpacing(6);
    layout->addLayout(numbers);
    layout->addStretch();
    return page;
}

QWidget *MakeAutoPage(TPagesDlg &dialog)
{
    Options &o = dialog.app.options;
    auto *page = new QWidget;
    page->setObjectName("autoPage");

    auto *startup = new QGroupBox(" Fernhop Startup Options", page);
    auto *left = new QVBoxLayout(startup);
    left->addWidget(BoundCheck(startup, "checkBox6", "Connect on startup", o.connect));
    left->addWidget(BoundCheck(startup, "forceRefreshCheckBox", "Don't load cached file list, force a FTP refresh",
                               o.forceRerfesh));
    left->addWidget(BoundCheck(startup, "CheckBox1", "Compare sites after login", o.compare));
    left->addWidget(BoundCheck(startup, "CheckBox3", "Start transferring files after compare", o.update));
    left->addWidget(BoundCheck(startup, "CheckBox4", "Exit Fernhop when complete", o.exit));
    left->addWidget(Note("To exit multi-site update when complete, check the 'Exit Fernhop' option.", startup));
    left->addWidget(Note("Fernhop will also exit if a login attempt times out.", startup));
    left->addWidget(Divider(startup));
    left->addWidget(BoundCheck(startup, "multiUpdateCheck", "Automatic multi-site update on start-up", o.multiSite));
    left->addWidget(Note("Fernhop will connect, compare and updated all 'active entries' on the 'FTP Setup' page "
                         "when Fernhop is first started.",
                         startup));
    left->addWidget(Note("All other 'Auto Connection' options above are ignored when using the multi-site update "
                         "feature. (Exit is the exception, see note above)",
                         startup));
    left->addStretch();

    auto *separate = new QGroupBox(" Separate Automatic Options", page);
    auto *right = new QVBoxLayout(separate);
    right->addWidget(BoundCheck(separate, "compareRefreshCheck", "Compare sites after FTP server refresh",
                                o.compareAndRefresh));
    right->addStretch();

    auto *layout = new QHBoxLayout(page);
    layout->addWidget(startup, 3);
    layout->addWidget(separate, 2);
    return page;
}

QWidget *MakeWinGatePage(TPagesDlg &dialog)
{
    Fernhop &app = dialog.app;
    ProxyOptions &proxy = app.options.proxy;
    auto *page = new QWidget;
    page->setObjectName("winGatePage");
    QLineEdit *edit = BoundEdit(page, "proxyEdit", proxy.server);
    QSpinBox *spin = BoundSpin(page, "proxySpin", 0, 65535, proxy.port);
    spin->setMaximumWidth(100);
    edit->setMaximumWidth(260);
    QCheckBox *check = BoundCheck(page, "proxyCheck", "Use WinGate:", proxy.active);
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, &app](const QString &text) {
        if (text.isEmpty() || text[0].isDigit())
            return;
        app.view.Message(kProxyHostNameRefused);
        edit->clear();
    });

    auto *box = new QGroupBox(" WinGate Proxy", page);
    auto *form = new QFormLayout(box);
    form->addRow("WinGate PC:", edit);
    form->addRow("Proxy Port:", spin);
    form->addRow(QString(), check);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(box);
    layout->addWidget(Note("FTP connections go through the WinGate PC while it is in use: the user name is sent "
                           "as user@server to the proxy's port.",
                           page));
    layout->addStretch();
    return page;
}

QWidget *MakeSpecialPage(TPagesDlg &dialog)
{
    Fernhop &app = dialog.app;
    Options &o = app.options;
    auto *content = new QWidget;

    auto *logs = new QGroupBox(" Transfer Logs", content);
    auto *logLayout = new QGridLayout(logs);
    logLayout->addWidget(BoundCheck(logs, "CheckBox8", "Save download log file", o.saveUpLog), 0, 0, 1, 3);
    logLayout->addWidget(BoundCheck(logs, "CheckBox9", "Save upload log file", o.saveDownLog), 1, 0, 1, 3);
    logLayout->addWidget(BoundCheck(logs, "CheckBox10", "Save comprehensive log", o.saveAllLog), 2, 0, 1, 3);
    QLineEdit *logDirEdit = BoundEdit(logs, "logDirEdit", o.saveLogDir);
    auto *browse = new QPushButton("&Browse...", logs);
    browse->setObjectName("Button3");
    browse->setAutoDefault(false);
    QObject::connect(browse, &QPushButton::clicked, logs, [&app, logDirEdit] {
        std::string chosen;
        if (app.view.ChooseFolder(app.options.saveLogDir, chosen))
            logDirEdit->setText(QString::fromStdString(chosen));
    });
    logLayout->addWidget(new QLabel("Log file directory:", logs), 3, 0);
    logLayout->addWidget(logDirEdit, 3, 1);
    logLayout->addWidget(browse, 3, 2);
    logLayout->setColumnStretch(1, 1);

    auto *permissionsBox = new QGroupBox(" UNIX File Permissions", content);
    auto *unixLayout = new QGridLayout(permissionsBox);
    unixLayout->addWidget(new QLabel("SITE CHMOD", permissionsBox), 0, 0, 1, 2);
    unixLayout->addWidget(
        BoundCheck(permissionsBox, "unixPermissionsCheck", "Set UNIX file permissions after upload:", o.useCHMOD), 1, 0);
    QLineEdit *permissions = BoundEdit(permissionsBox, "unixPermissionsEdit", o.CHMODcmd);
    permissions->setMaximumWidth(60);
    unixLayout->addWidget(permissions, 1, 1);
    unixLayout->setColumnStretch(2, 1);

    auto *get = new QGroupBox("Additonal GET parameters", content);
    auto *getLayout = new QGridLayout(get);
    getLayout->addWidget(BoundCheck(get, "CheckBox7", "Issue GET command with extra text after filename:", o.saveExt),
                         0, 0, 1, 2);
    getLayout->addWidget(new QLabel("File GET extension:", get), 1, 0);
    getLayout->addWidget(BoundEdit(get, "fileGetEdit", o.fileGet), 1, 1);
    getLayout->setColumnStretch(1, 1);

    auto *compare = new QGroupBox("Alternate Compare Rule", content);
    auto *compareLayout = new QVBoxLayout(compare);
    compareLayout->addWidget(
        BoundCheck(compare, "noDateMatchCheck", "Force file transfer files if date && time do not match", o.noDateMatch));
    compareLayout->addWidget(Note("A file is transferred whenever its date and time differ from the other side's, "
                                  "older or newer; normally only a newer file is sent.",
                                  compare));

    auto *layout = new QVBoxLayout(content);
    layout->addWidget(logs);
    layout->addWidget(permissionsBox);
    layout->addWidget(get);
    layout->addWidget(compare);
    layout->addStretch();

    auto *scroll = new QScrollArea;
    scroll->setObjectName("specialPage");
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    return scroll;
}
