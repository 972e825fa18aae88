#include "ui/HostKeyDialog.h"

#include <QFontDatabase>
#include <QLabel>

HostKeyDialog::HostKeyDialog(const HostKeyQuestion &question, QWidget *parent) : TrustDialog(parent)
{
    setObjectName("hostKeyDlg");
    const QString host = QString::fromStdString(question.host);
    setWindowTitle("Host key of " + host);

    hostLbl = ValueLabel("hostLbl", question.host, false);
    typeLbl = ValueLabel("typeLbl", question.type, false);
    // Fixed pitch, so that it compares character by character with what `ssh-keygen -lf` shows
    // on the server.
    fingerprintLbl = ValueLabel("fingerprintLbl", question.fingerprint, false);
    fingerprintLbl->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    Build("Fernhop has not met the SSH server " + host + " before.",
          {{"Host:", hostLbl}, {"Key type:", typeLbl}, {"Fingerprint:", fingerprintLbl}},
          "Its host key is in neither ~/.ssh/known_hosts nor this site. Trust it only if the "
          "fingerprint is the one the server's owner gives you. A host key trusted always is "
          "kept with the site; if the server ever shows another one, Fernhop refuses to "
          "connect. Nothing is sent to the server before you decide.",
          "&Always Trust");
}

CertificateTrust AskHostKeyTrust(QWidget *parent, const HostKeyQuestion &question)
{
    HostKeyDialog dialog(question, parent);
    dialog.exec();
    return dialog.Answer();
}
