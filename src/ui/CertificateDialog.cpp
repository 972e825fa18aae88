#include "ui/CertificateDialog.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QString Q(const std::string &text)
{
    return QString::fromStdString(text);
}

// Texts from the certificate are the server's words: shown as they are, never as markup, and
// selectable so that they can be copied.
QLabel *ValueLabel(QWidget *parent, const char *name, const std::string &text)
{
    auto *label = new QLabel(Q(text), parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setWordWrap(true);
    return label;
}

} // namespace

CertificateDialog::CertificateDialog(const CertificateQuestion &question, QWidget *parent) : QDialog(parent)
{
    setObjectName("certificateDlg");
    setWindowTitle("Certificate of " + Q(question.host));

    auto *icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto *headline = new QLabel("Fernhop cannot verify that this server is " + Q(question.host) + ".", this);
    headline->setObjectName("headlineLbl");
    headline->setTextFormat(Qt::PlainText);
    headline->setWordWrap(true);
    QFont bold = headline->font();
    bold.setBold(true);
    headline->setFont(bold);

    problemLbl = ValueLabel(this, "problemLbl", question.problem.empty() ? "not trusted" : question.problem);
    subjectLbl = ValueLabel(this, "subjectLbl", question.subject);
    issuerLbl = ValueLabel(this, "issuerLbl", question.issuer);
    validFromLbl = ValueLabel(this, "validFromLbl", question.validFrom);
    validUntilLbl = ValueLabel(this, "validUntilLbl", question.validUntil);
    // Fixed pitch and on one line, so that it reads and compares group by group with the
    // fingerprint the host publishes.
    fingerprintLbl = ValueLabel(this, "fingerprintLbl", question.fingerprint);
    fingerprintLbl->setWordWrap(false);
    fingerprintLbl->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *fields = new QGridLayout;
    fields->setHorizontalSpacing(12);
    int row = 0;
    for (const auto &[caption, value] : {std::pair<const char *, QLabel *>{"Problem:", problemLbl},
                                         {"Subject:", subjectLbl},
                                         {"Issuer:", issuerLbl},
                                         {"Valid from:", validFromLbl},
                                         {"Valid until:", validUntilLbl},
                                         {"SHA-256 fingerprint:", fingerprintLbl}}) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(value);
        // Captions stand at the first line of a wrapped value; the fingerprint, one line in
        // another font, shares its caption's baseline.
        const Qt::Alignment vertical = value == fingerprintLbl ? Qt::AlignBaseline : Qt::AlignTop;
        fields->addWidget(label, row, 0, Qt::AlignLeft | vertical);
        fields->addWidget(value, row, 1, vertical);
        ++row;
    }
    fields->setColumnStretch(1, 1);

    auto *note = new QLabel("Trust it only if the fingerprint is the one your host publishes for this server. "
                            "A certificate trusted always is kept with the site; if the server ever shows "
                            "another one, Fernhop refuses to connect.",
                            this);
    note->setObjectName("noteLbl");
    note->setWordWrap(true);

    onceBtn = new QPushButton("Trust &Once", this);
    onceBtn->setObjectName("onceBtn");
    alwaysBtn = new QPushButton("&Always Trust This Certificate for This Site", this);
    alwaysBtn->setObjectName("alwaysBtn");
    cancelBtn = new QPushButton("&Cancel", this);
    cancelBtn->setObjectName("cancelBtn");
    onceBtn->setAutoDefault(false);
    alwaysBtn->setAutoDefault(false);
    cancelBtn->setDefault(true);
    connect(onceBtn, &QPushButton::clicked, this, [this] { Finish(CertificateTrust::Once); });
    connect(alwaysBtn, &QPushButton::clicked, this, [this] { Finish(CertificateTrust::Always); });
    connect(cancelBtn, &QPushButton::clicked, this, [this] { Finish(CertificateTrust::Cancel); });

    auto *text = new QVBoxLayout;
    text->addWidget(headline);
    text->addSpacing(6);
    text->addLayout(fields);
    text->addSpacing(6);
    text->addWidget(note);
    auto *top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(text, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(onceBtn);
    buttons->addWidget(alwaysBtn);
    buttons->addStretch(1);
    buttons->addWidget(cancelBtn);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void CertificateDialog::showEvent(QShowEvent *event)
{
    answer_ = CertificateTrust::Cancel; // Escape and closing the window cancel
    QDialog::showEvent(event);
    cancelBtn->setFocus();
}

void CertificateDialog::Finish(CertificateTrust answer)
{
    answer_ = answer;
    if (answer == CertificateTrust::Cancel)
        reject();
    else
        accept();
}

CertificateTrust AskCertificateTrust(QWidget *parent, const CertificateQuestion &question)
{
    CertificateDialog dialog(question, parent);
    dialog.exec();
    return dialog.Answer();
}
