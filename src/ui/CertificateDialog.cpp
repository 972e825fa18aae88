#include "ui/CertificateDialog.h"

#include <QFontDatabase>
#include <QLabel>

CertificateDialog::CertificateDialog(const CertificateQuestion &question, QWidget *parent) : TrustDialog(parent)
{
    setObjectName("certificateDlg");
    const QString host = QString::fromStdString(question.host);
    setWindowTitle("Certificate of " + host);

    // Texts from the certificate are the server's words.
    problemLbl = ValueLabel("problemLbl", question.problem.empty() ? "not trusted" : question.problem, true);
    subjectLbl = ValueLabel("subjectLbl", question.subject, true);
    issuerLbl = ValueLabel("issuerLbl", question.issuer, true);
    validFromLbl = ValueLabel("validFromLbl", question.validFrom, true);
    validUntilLbl = ValueLabel("validUntilLbl", question.validUntil, true);
    // Fixed pitch and on one line, so that it reads and compares group by group with the
    // fingerprint the host publishes.
    fingerprintLbl = ValueLabel("fingerprintLbl", question.fingerprint, false);
    fingerprintLbl->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    Build("Fernhop cannot verify that this server is " + host + ".",
          {{"Problem:", problemLbl},
           {"Subject:", subjectLbl},
           {"Issuer:", issuerLbl},
           {"Valid from:", validFromLbl},
           {"Valid until:", validUntilLbl},
           {"SHA-256 fingerprint:", fingerprintLbl}},
          "Trust it only if the fingerprint is the one your host publishes for this server. "
          "A certificate trusted always is kept with the site; if the server ever shows "
          "another one, Fernhop refuses to connect.",
          "&Always Trust This Certificate for This Site");
}

CertificateTrust AskCertificateTrust(QWidget *parent, const CertificateQuestion &question)
{
    CertificateDialog dialog(question, parent);
    dialog.exec();
    return dialog.Answer();
}
