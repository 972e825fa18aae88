#pragma once
// The question about an SSH server's host key that neither ~/.ssh/known_hosts nor the site knows:
// the host, the key type and its SHA256 fingerprint as OpenSSH prints it, with "Trust Once",
// "Always Trust" and "Cancel". Cancel is the default and what Escape or closing the window
// answer: a host key is never trusted without a deliberate click.
#include "base/MainView.h"

#include <QDialog>

class QLabel;
class QPushButton;

class HostKeyDialog : public QDialog {
    Q_OBJECT
public:
    explicit HostKeyDialog(const HostKeyQuestion &question, QWidget *parent = nullptr);

    // The answer of the last showing: Cancel unless a trust button was clicked.
    CertificateTrust Answer() const { return answer_; }

    QLabel *hostLbl, *typeLbl, *fingerprintLbl;
    QPushButton *onceBtn, *alwaysBtn, *cancelBtn;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Finish(CertificateTrust answer);
    CertificateTrust answer_ = CertificateTrust::Cancel;
};

// Asks modally and returns the answer.
CertificateTrust AskHostKeyTrust(QWidget *parent, const HostKeyQuestion &question);
