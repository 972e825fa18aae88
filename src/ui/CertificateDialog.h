#pragma once
// The question about a server certificate that nothing trusts yet: who it names, who signed it,
// how long it is valid and its SHA-256 fingerprint, with "trust once", "always trust" and
// "cancel". Cancel is the default and what Escape or closing the window answer: a certificate
// is never trusted without a deliberate click.
#include "base/MainView.h"

#include <QDialog>

class QLabel;
class QPushButton;

class CertificateDialog : public QDialog {
    Q_OBJECT
public:
    explicit CertificateDialog(const CertificateQuestion &question, QWidget *parent = nullptr);

    // The answer of the last showing: Cancel unless a trust button was clicked.
    CertificateTrust Answer() const { return answer_; }

    QLabel *problemLbl, *subjectLbl, *issuerLbl, *validFromLbl, *validUntilLbl, *fingerprintLbl;
    QPushButton *onceBtn, *alwaysBtn, *cancelBtn;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Finish(CertificateTrust answer);
    CertificateTrust answer_ = CertificateTrust::Cancel;
};

// Asks modally and returns the answer.
CertificateTrust AskCertificateTrust(QWidget *parent, const CertificateQuestion &question);
