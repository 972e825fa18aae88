#pragma once
// The question about an SSH server's host key that neither ~/.ssh/known_hosts nor the site knows:
// the host, the key type and its SHA256 fingerprint as OpenSSH prints it, with "Trust Once",
// "Always Trust" and "Cancel" (the default).
#include "ui/TrustDialog.h"

class HostKeyDialog : public TrustDialog {
    Q_OBJECT
public:
    explicit HostKeyDialog(const HostKeyQuestion &question, QWidget *parent = nullptr);

    QLabel *hostLbl, *typeLbl, *fingerprintLbl;
};

// Asks modally and returns the answer.
CertificateTrust AskHostKeyTrust(QWidget *parent, const HostKeyQuestion &question);
