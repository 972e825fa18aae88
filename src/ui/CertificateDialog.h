#pragma once
// The question about a server certificate that nothing trusts yet: who it names, who signed it,
// how long it is valid and its SHA-256 fingerprint, with "trust once", "always trust" and
// "cancel" (the default).
#include "ui/TrustDialog.h"

class CertificateDialog : public TrustDialog {
    Q_OBJECT
public:
    explicit CertificateDialog(const CertificateQuestion &question, QWidget *parent = nullptr);

    QLabel *problemLbl, *subjectLbl, *issuerLbl, *validFromLbl, *validUntilLbl, *fingerprintLbl;
};

// Asks modally and returns the answer.
CertificateTrust AskCertificateTrust(QWidget *parent, const CertificateQuestion &question);
