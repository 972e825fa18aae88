#include "ui/SetupSitesPage.h"

#include "net/TlsChannel.h"
#include "transfer/Fernhop.h"
#include "ui/AdvancedSiteForm.h"
#include "ui/PagesDlg.h"
#include "ui/SetupImages.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString Q(const std::string &text)
{
    return QString::fromStdString(text);
}

QLineEdit *SiteEdit(QWidget *parent, const char *name, std::string &field, bool &updating)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    QObject::connect(edit, &QLineEdit::textChanged, edit, [&field, &updating](const QString &text) {
        if (!updating)
            field = text.toStdString();
    });
    return edit;
}

} // namespace

SetupSitesPage::SetupSitesPage(TPagesDlg &dialog) : dialog_(dialog), app_(dialog.app)
{
    setObjectName("ftpSetupPage");
    SiteEdits &edits = app_.sites.edits;

    multNickNameEdit = SiteEdit(this, "multNickNameEdit", edits.nickName, updating_);
    multFTPEdit = SiteEdit(this, "multFTPEdit", edits.server, updating_);
    multUserEdit = SiteEdit(this, "multUserEdit", edits.userName, updating_);
    multPassEdit = SiteEdit(this, "multPassEdit", edits.password, updating_);
    multPassEdit->setEchoMode(QLineEdit::Password);
    multPassEdit->setStyleSheet("lineedit-password-character: 42"); // "*" for each character
    multPassEdit->setToolTip("Leave blank to be prompted when connecting");
    multLocalDirEdit = SiteEdit(this, "multLocalDirEdit", edits.localDir, updating_);
    multRemoteDirEdit = SiteEdit(this, "multRemoteDirEdit", edits.remoteDir, updating_);
    multPortSpin = new QSpinBox(this);
    multPortSpin->setObjectName("multPortSpin");
    multPortSpin->setRange(0, 65535);
    connect(multPortSpin, &QSpinBox::valueChanged, this, [this](int port) {
        if (!updating_)
            app_.sites.edits.port = port;
    });
    multConnectionsSpin = new QSpinBox(this);
    multConnectionsSpin->setObjectName("multConnectionsSpin");
    multConnectionsSpin->setRange(0, 16);
    multConnectionsSpin->setSpecialValueText("global");
    multConnectionsSpin->setToolTip("Files moved at once, each over its own connection; 'global' takes the number on "
                                    "the Settings page");
    connect(multConnectionsSpin, &QSpinBox::valueChanged, this, [this](int count) {
        if (!updating_)
            app_.sites.edits.connections = count;
    });
    multFirewallCheck = new QCheckBox("use PASV", this);
    multFirewallCheck->setObjectName("multFirewallCheck");
    connect(multFirewallCheck, &QCheckBox::toggled, this, [this](bool on) {
        if (!updating_)
            app_.sites.edits.usePasv = on;
    });
    multProtocolCombo = new QComboBox(this);
    multProtocolCombo->setObjectName("multProtocolCombo");
    multProtocolCombo->addItems({"FTP", "FTP over explicit TLS (FTPS)", "SFTP (over SSH)"});
    multProtocolCombo->setToolTip("FTP over TLS logs in over TLS only: the connection stops before the user name is "
                                  "sent if the server offers no TLS. SFTP needs SSH access to the server.");
    connect(multProtocolCombo, &QComboBox::currentIndexChanged, this, &SetupSitesPage::ProtocolChosen);
    multKeyFileEdit = SiteEdit(this, "multKeyFileEdit", edits.keyFile, updating_);
    multKeyFileEdit->setToolTip("An OpenSSH private key file, tried after the SSH agent's keys; its passphrase is "
                                "asked for when connecting, never stored");
    multKeyBrowseBtn = new QPushButton("Bro&wse...", this);
    multKeyBrowseBtn->setObjectName("multKeyBrowseBtn");
    multBrowseBtn = new QPushButton("&Browse...", this);
    multBrowseBtn->setObjectName("multBrowseBtn");
    extraButton = new QPushButton("Ad&vanced...", this);
    extraButton->setObjectName("extraButton");
    // After "Ad&vanced..." in the tab order. "Certificate:" is no wider than the other
    // captions, so the edits keep their left edge.
    trustedCertLbl = new QLabel("Certificate:", this);
    trustedCertEdit = new QLineEdit(this);
    trustedCertEdit->setObjectName("trustedCertEdit");
    trustedCertEdit->setReadOnly(true);
    // A size smaller, so that all 32 groups of the fingerprint fit the edit's width.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(fixed.pointSizeF() * 0.9);
    trustedCertEdit->setFont(fixed);
    trustedCertLbl->setBuddy(trustedCertEdit);
    forgetCertBtn = new QPushButton("&Forget", this);
    forgetCertBtn->setObjectName("forgetCertBtn");
    forgetCertBtn->setToolTip("Forget the trusted certificate: the next connection asks about it again");

    auto label = [this](const QString &text, QWidget *buddy) {
        auto *l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    // Left column: who and where; right column: how. The protocol takes three rows under the
    // directories: the choice, the SFTP key file, and the certificate or host key the site trusts.
    // That last row keeps its room while empty, so that the list below does not move when the
    // current site changes.
    auto *fields = new QGridLayout;
    fields->addWidget(label("Nickname:", multNickNameEdit), 0, 0);
    fields->addWidget(multNickNameEdit, 0, 1);
    fields->addWidget(label("FTP Server:", multFTPEdit), 1, 0);
    fields->addWidget(multFTPEdit, 1, 1);
    fields->addWidget(label("User Name:", multUserEdit), 2, 0);
    fields->addWidget(multUserEdit, 2, 1);
    fields->addWidget(label("Password:", multPassEdit), 3, 0);
    fields->addWidget(multPassEdit, 3, 1);
    fields->addWidget(label("Port:", multPortSpin), 0, 3);
    fields->addWidget(multPortSpin, 0, 4);
    fields->addWidget(multFirewallCheck, 1, 3, 1, 2);
    fields->addWidget(label("Connections:", multConnectionsSpin), 2, 3);
    fields->addWidget(multConnectionsSpin, 2, 4);
    fields->addWidget(extraButton, 3, 3, 1, 2);
    fields->addWidget(label("Local Directory:", multLocalDirEdit), 4, 0);
    fields->addWidget(multLocalDirEdit, 4, 1);
    fields->addWidget(multBrowseBtn, 4, 3, 1, 2);
    fields->addWidget(label("Remote Directory:", multRemoteDirEdit), 5, 0);
    fields->addWidget(multRemoteDirEdit, 5, 1);
    fields->addWidget(label("Pr&otocol:", multProtocolCombo), 6, 0);
    fields->addWidget(multProtocolCombo, 6, 1, Qt::AlignLeft);
    fields->addWidget(label("&Key File:", multKeyFileEdit), 7, 0);
    fields->addWidget(multKeyFileEdit, 7, 1);
    fields->addWidget(multKeyBrowseBtn, 7, 3, 1, 2);
    fields->addWidget(trustedCertLbl, 8, 0);
    fields->addWidget(trustedCertEdit, 8, 1);
    fields->addWidget(forgetCertBtn, 8, 3, 1, 2);
    for (QWidget *widget : {static_cast<QWidget *>(trustedCertLbl), static_cast<QWidget *>(trustedCertEdit),
                            static_cast<QWidget *>(forgetCertBtn)}) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }
    fields->setColumnStretch(1, 1);
    fields->setColumnMinimumWidth(2, 12);

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName("ListView1");
    ListView1->setColumnCount(5);
    ListView1->setHeaderLabels({"Nickname", "Direction", "FTP Server", "Local Directory", "Remote Directory"});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSortingEnabled(false);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->header()->setSectionsMovable(false);
    ListView1->header()->setSectionsClickable(false);
    ListView1->headerItem()->setTextAlignment(1, Qt::AlignHCenter | Qt::AlignVCenter);
    // The selection stays visible while another control has the focus.
    QPalette palette = ListView1->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    ListView1->setPalette(palette);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);

    popup = new QMenu(this);
    menuMultiSite = popup->addAction("&Exclude from multi-site update");
    menuMultiSite->setObjectName("menuMultiSite");
    popup->addSeparator();
    menuTransferMode = popup->addAction("Change site to &Download");
    menuTransferMode->setObjectName("menuTransferMode");

    multAddBtn = new QPushButton("&Add", this);
    multAddBtn->setObjectName("multAddBtn");
    multReplaceBtn = new QPushButton("&Replace", this);
    multReplaceBtn->setObjectName("multReplaceBtn");
    multDeleteBtn = new QPushButton("&Delete", this);
    multDeleteBtn->setObjectName("multDeleteBtn");
    multNewBtn = new QPushButton("&New", this);
    multNewBtn->setObjectName("multNewBtn");
    for (QPushButton *button :
         {multBrowseBtn, extraButton, multKeyBrowseBtn, forgetCertBtn, multAddBtn, multReplaceBtn, multDeleteBtn, multNewBtn})
        button->setAutoDefault(false);
    auto *note = new QLabel("Right-click on an entry to change to download and more...", this);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(multAddBtn);
    buttons->addWidget(multReplaceBtn);
    buttons->addWidget(multDeleteBtn);
    buttons->addWidget(multNewBtn);
    buttons->addSpacing(12);
    buttons->addWidget(note, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);

    // The user moving the current row chooses a site. Queued: the view finishes its own
    // selection first, so that a refusal can put the selection back.
    connect(ListView1, &QTreeWidget::currentItemChanged, this, &SetupSitesPage::RowChosen, Qt::QueuedConnection);
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QTreeWidgetItem *item = ListView1->itemAt(pos);
        if (item && PreparePopup(ListView1->indexOfTopLevelItem(item)))
            popup->popup(ListView1->viewport()->mapToGlobal(pos));
    });
    connect(menuMultiSite, &QAction::triggered, this, &SetupSitesPage::menuMultiSiteClick);
    connect(menuTransferMode, &QAction::triggered, this, &SetupSitesPage::menuTransferModeClick);
    connect(multAddBtn, &QPushButton::clicked, this, &SetupSitesPage::multAddBtnClick);
    connect(multReplaceBtn, &QPushButton::clicked, this, &SetupSitesPage::multReplaceBtnClick);
    connect(multDeleteBtn, &QPushButton::clicked, this, &SetupSitesPage::multDeleteBtnClick);
    connect(multNewBtn, &QPushButton::clicked, this, &SetupSitesPage::multNewBtnClick);
    connect(multBrowseBtn, &QPushButton::clicked, this, &SetupSitesPage::multBrowseBtnClick);
    connect(extraButton, &QPushButton::clicked, this, &SetupSitesPage::extraButtonClick);
    connect(forgetCertBtn, &QPushButton::clicked, this, &SetupSitesPage::forgetCertBtnClick);
    connect(multKeyBrowseBtn, &QPushButton::clicked, this, &SetupSitesPage::multKeyBrowseBtnClick);

    // Tab goes through the fields block by block, down the page: who, how, where, then the list
    // and its buttons.
    const std::vector<QWidget *> tabOrder{
        multNickNameEdit, multFTPEdit,       multUserEdit,      multPassEdit,     multPortSpin,
        multFirewallCheck, multConnectionsSpin, extraButton,    multLocalDirEdit, multBrowseBtn,
        multRemoteDirEdit, multProtocolCombo, multKeyFileEdit,  multKeyBrowseBtn, trustedCertEdit,
        forgetCertBtn,    ListView1,         multAddBtn,        multReplaceBtn,   multDeleteBtn,
        multNewBtn};
    for (size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    ShowRows();
    ShowEdits();
}

void SetupSitesPage::ShowEdits()
{
    const SiteEdits &edits = app_.sites.edits;
    updating_ = true;
    multNickNameEdit->setText(Q(edits.nickName));
    multFTPEdit->setText(Q(edits.server));
    multUserEdit->setText(Q(edits.userName));
    multPassEdit->setText(Q(edits.password));
    multLocalDirEdit->setText(Q(edits.localDir));
    multRemoteDirEdit->setText(Q(edits.remoteDir));
    multPortSpin->setValue(edits.port);
    multConnectionsSpin->setValue(edits.connections);
    multFirewallCheck->setChecked(edits.usePasv);
    multProtocolCombo->setCurrentIndex(edits.useSftp ? protocolSftp : edits.requireTls ? protocolTls : protocolFtp);
    multKeyFileEdit->setText(Q(edits.keyFile));
    updating_ = false;
    EnableKeyFile();
    ShowTrustedCertificate();
}

// A port left at the old protocol's default follows to the new one's (SetEditsProtocol).
void SetupSitesPage::ProtocolChosen(int index)
{
    if (updating_)
        return;
    SiteEdits &edits = app_.sites.edits;
    SetEditsProtocol(edits, index == protocolSftp, index == protocolTls);
    updating_ = true;
    multPortSpin->setValue(edits.port);
    updating_ = false;
    EnableKeyFile();
}

// The key file belongs to SFTP, PASV to FTP's data connections.
void SetupSitesPage::EnableKeyFile()
{
    const bool sftp = app_.sites.edits.useSftp;
    multKeyFileEdit->setEnabled(sftp);
    multKeyFileEdit->setPlaceholderText(sftp ? "none: the SSH agent's keys, then the password" : QString());
    multKeyBrowseBtn->setEnabled(sftp);
    multFirewallCheck->setEnabled(!sftp);
}

void SetupSitesPage::multKeyBrowseBtnClick()
{
    const QString chosen = dialog_.chooseKeyFile(this, multKeyFileEdit->text());
    if (!chosen.isEmpty())
        multKeyFileEdit->setText(chosen); // into the edits as typing would
}

void SetupSitesPage::ShowTrustedCertificate()
{
    const TmultFTP &site = app_.sites.Current();
    const std::string &fingerprint = site.UseSftp ? site.TrustedHostKey : site.TrustedCert;
    const bool shown = app_.sites.CurrentRow() >= 0 && !fingerprint.empty();
    const QString text =
        !shown ? QString() : Q(site.UseSftp ? fingerprint : TlsChannel::ShownFingerprint(fingerprint));
    trustedCertLbl->setText(site.UseSftp ? "Host Key:" : "Certificate:");
    if (trustedCertEdit->text() != text) {
        trustedCertEdit->setText(text);
        trustedCertEdit->setCursorPosition(0);
        trustedCertEdit->setToolTip(!shown ? QString()
                                    : site.UseSftp ? "The SHA256 fingerprint of the SSH host key this site trusts"
                                                   : "The SHA-256 fingerprint of the certificate this site trusts");
    }
    forgetCertBtn->setToolTip(site.UseSftp
                                  ? "Forget the trusted host key: the next connection asks about it again"
                                  : "Forget the trusted certificate: the next connection asks about it again");
    trustedCertLbl->setVisible(shown);
    trustedCertEdit->setVisible(shown);
    forgetCertBtn->setVisible(shown);
}

void SetupSitesPage::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // A certificate trusted "always" while this dialog was open (a connection made meanwhile)
    // shows when the dialog comes back to the front.
    if (event->type() == QEvent::ActivationChange)
        ShowTrustedCertificate();
}

void SetupSitesPage::ShowRow(int row)
{
    QTreeWidgetItem *item = ListView1->topLevelItem(row);
    if (!item)
        return;
    const TmultFTP &site = app_.sites.Row(row);
    item->setText(0, Q(site.NickName));
    item->setText(1, site.Download ? "Download" : "Upload");
    item->setTextAlignment(1, Qt::AlignHCenter | Qt::AlignVCenter);
    item->setText(2, Q(site.Server));
    item->setText(3, Q(site.LocalDir));
    item->setText(4, Q(site.RemoteDir));
    item->setIcon(0, SiteRowImages()[site.MultiSite ? 0 : 1]);
}

void SetupSitesPage::ShowRows()
{
    updating_ = true;
    ListView1->clear();
    for (int row = 0; row < app_.sites.Count(); ++row) {
        ListView1->addTopLevelItem(new QTreeWidgetItem);
        ShowRow(row);
    }
    updating_ = false;
    SelectCurrentRow();
    EnableRowButtons();
    FitColumns();
}

void SetupSitesPage::FitColumns()
{
    // Every column as wide as its caption and its widest entry; the list scrolls sideways when
    // they are wider than it.
    for (int column = 0; column < ListView1->columnCount(); ++column)
        ListView1->resizeColumnToContents(column);
}

void SetupSitesPage::SelectCurrentRow()
{
    updating_ = true;
    QTreeWidgetItem *item = ListView1->topLevelItem(app_.sites.CurrentRow());
    ListView1->clearSelection();
    if (item) {
        ListView1->setCurrentItem(item);
        ListView1->scrollToItem(item);
    }
    updating_ = false;
}

void SetupSitesPage::EnableRowButtons()
{
    const bool rows = app_.sites.Count() > 0;
    multDeleteBtn->setEnabled(rows);
    multReplaceBtn->setEnabled(rows);
}

bool SetupSitesPage::ForNewSite() const
{
    return newEntry_ || app_.sites.CurrentRow() < 0;
}

void SetupSitesPage::Refuse()
{
    // The list shows the current row again before the message's own event loop runs, and one
    // click (a right-click moves the current row and asks for the popup) gets one message.
    SelectCurrentRow();
    if (refusing_)
        return;
    refusing_ = true;
    app_.view.Message("You must disconnect from your current session before changing FTP server setups.");
    refusing_ = false;
}

void SetupSitesPage::ChooseRow(int row)
{
    newEntry_ = false;
    app_.sites.ChooseRow(row);
    SelectCurrentRow();
    ShowEdits();
    dialog_.CurrentSiteChanged();
}

void SetupSitesPage::RowChosen()
{
    if (updating_)
        return;
    const int row = ListView1->indexOfTopLevelItem(ListView1->currentItem());
    if (row < 0 || row == app_.sites.CurrentRow())
        return;
    if (dialog_.isConnected()) {
        Refuse();
        return;
    }
    // Keep the user's selection (several rows may be selected for "&Delete").
    newEntry_ = false;
    app_.sites.ChooseRow(row);
    ShowEdits();
    dialog_.CurrentSiteChanged();
}

bool SetupSitesPage::PreparePopup(int row)
{
    if (row < 0 || row >= app_.sites.Count())
        return false;
    if (dialog_.isConnected()) {
        Refuse();
        return false;
    }
    ChooseRow(row);
    const TmultFTP &site = app_.sites.Current();
    menuMultiSite->setText(site.MultiSite ? "&Exclude from multi-site update" : "&Include in multi-site update");
    menuTransferMode->setText(site.Download ? "Change site to &Upload" : "Change site to &Download");
    return true;
}

void SetupSitesPage::menuMultiSiteClick()
{
    if (app_.sites.CurrentRow() < 0)
        return;
    app_.sites.ToggleMultiSite();
    ShowRow(app_.sites.CurrentRow());
}

void SetupSitesPage::menuTransferModeClick()
{
    if (app_.sites.CurrentRow() < 0)
        return;
    app_.sites.ToggleDownload();
    ShowRow(app_.sites.CurrentRow());
}

void SetupSitesPage::multAddBtnClick()
{
    // The new row would become current under the live session.
    if (dialog_.isConnected()) {
        Refuse();
        return;
    }
    const std::string problem = app_.sites.Add(ForNewSite());
    if (!problem.empty()) {
        app_.view.Message(problem);
        return;
    }
    newEntry_ = false;
    updating_ = true;
    ListView1->addTopLevelItem(new QTreeWidgetItem);
    updating_ = false;
    ShowRow(app_.sites.Count() - 1);
    SelectCurrentRow();
    EnableRowButtons();
    FitColumns();
    dialog_.CurrentSiteChanged();
}

void SetupSitesPage::multReplaceBtnClick()
{
    const int row = app_.sites.CurrentRow();
    if (row < 0)
        return;
    const std::string problem = app_.sites.Replace();
    if (!problem.empty()) {
        app_.view.Message(problem);
        return;
    }
    ShowRow(row);
    FitColumns();
    dialog_.CurrentSiteChanged();
}

void SetupSitesPage::multDeleteBtnClick()
{
    // Deleting makes another row current, under the live session.
    if (dialog_.isConnected()) {
        Refuse();
        return;
    }
    std::vector<int> rows;
    for (QTreeWidgetItem *item : ListView1->selectedItems())
        rows.push_back(ListView1->indexOfTopLevelItem(item));
    if (rows.empty())
        return;
    newEntry_ = false;
    app_.sites.DeleteRows(rows);
    ShowRows();
    ShowEdits();
    dialog_.CurrentSiteChanged();
}

void SetupSitesPage::multNewBtnClick()
{
    app_.sites.New();
    newEntry_ = true;
    ShowEdits();
    multNickNameEdit->setFocus();
}

void SetupSitesPage::multBrowseBtnClick()
{
    std::string chosen;
    if (!app_.view.ChooseFolder(app_.sites.edits.localDir, chosen))
        return;
    app_.sites.edits.localDir = chosen;
    ShowEdits();
}

void SetupSitesPage::forgetCertBtnClick()
{
    const std::string problem = app_.sites.Current().UseSftp ? app_.sites.SetTrustedHostKey("")
                                                             : app_.sites.SetTrustedCertificate("");
    if (!problem.empty())
        app_.view.Message(problem);
    ShowTrustedCertificate();
}

void SetupSitesPage::extraButtonClick()
{
    SiteList &sites = app_.sites;
    TadvancedForm &form = *dialog_.advancedForm;
    form.nickNameLbl->setText(" " + multNickNameEdit->text());
    const bool newSite = ForNewSite();
    form.afterLoginEdit->setText(Q(newSite ? sites.edits.afterLoginCommand : sites.Current().AfterLoginCommand));
    if (form.exec() != QDialog::Accepted)
        return;
    const std::string command = form.afterLoginEdit->text().toStdString();
    if (newSite) {
        sites.edits.afterLoginCommand = command; // "&Add" stores it with the site
        return;
    }
    const std::string problem = sites.SetAfterLoginCommand(command);
    if (!problem.empty())
        app_.view.Message(problem);
}
