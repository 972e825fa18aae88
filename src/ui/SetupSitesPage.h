#pragma once
// The "FTP Setup" page: the site list and the current site's fields. The edit boxes write into
// SiteList::edits as the user types; the buttons and the row popup call the site list.
#include <QWidget>

#include <vector>

class Fernhop;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class TPagesDlg;

class SetupSitesPage : public QWidget {
    Q_OBJECT
public:
    explicit SetupSitesPage(TPagesDlg &dialog);

    QLineEdit *multNickNameEdit;
    QLineEdit *multFTPEdit;
    QLineEdit *multUserEdit;
    QLineEdit *multPassEdit;
    QLineEdit *multLocalDirEdit;
    QLineEdit *multRemoteDirEdit;
    QSpinBox *multPortSpin;
    QSpinBox *multConnectionsSpin;
    QCheckBox *multFirewallCheck;
    // FTP, FTP over TLS or SFTP; the items in that order.
    enum Protocol { protocolFtp = 0, protocolTls = 1, protocolSftp = 2 };
    QComboBox *multProtocolCombo;
    // SFTP: the private key file, enabled for SFTP only.
    QLineEdit *multKeyFileEdit;
    QPushButton *multKeyBrowseBtn;
    // The certificate (FTP over TLS) or host key (SFTP) the current site trusts by its
    // fingerprint, shown only while it has one.
    QLabel *trustedCertLbl;
    QLineEdit *trustedCertEdit;
    QPushButton *forgetCertBtn;
    QPushButton *multBrowseBtn;
    QPushButton *extraButton;
    QTreeWidget *ListView1;
    QPushButton *multAddBtn;
    QPushButton *multReplaceBtn;
    QPushButton *multDeleteBtn;
    QPushButton *multNewBtn;
    QMenu *popup;
    QAction *menuMultiSite;
    QAction *menuTransferMode;

    // The site list's edit boxes into the controls, and the current site's trusted certificate.
    void ShowEdits();
    void ShowTrustedCertificate();
    // The rows anew from the site list, the current row selected.
    void ShowRows();
    // The right-click on `row`: refused while connected (false); otherwise the row becomes
    // current and the popup's captions follow its flags.
    bool PreparePopup(int row);

    void multAddBtnClick();
    void multReplaceBtnClick();
    void multDeleteBtnClick();
    void multNewBtnClick();
    void multBrowseBtnClick();
    void extraButtonClick();
    void forgetCertBtnClick();
    void multKeyBrowseBtnClick();
    void menuMultiSiteClick();
    void menuTransferModeClick();

protected:
    void changeEvent(QEvent *event) override;

private:
    void ProtocolChosen(int index);
    void EnableKeyFile();
    void RowChosen();
    void ChooseRow(int row);
    void SelectCurrentRow();
    void ShowRow(int row);
    void EnableRowButtons();
    void FitColumns();
    void Refuse();
    // The fields describe a site not yet in the list ("&New", or an empty list).
    bool ForNewSite() const;

    TPagesDlg &dialog_;
    Fernhop &app_;
    bool updating_ = false; // the page itself changes the controls: no write-back
    // "&New" was clicked and no row chosen since: the fields describe a site still to be added,
    // and "Ad&vanced..." edits its command, which "&Add" stores.
    bool newEntry_ = false;
    bool refusing_ = false; // the refusal's message is open
};
