#include "ui/HostKeyDialog.h"

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

// The server's words: shown as they are, never as markup, and selectable to be copied.
QLabel *ValueLabel(QWidget *parent, const char *name, const std::string &text)
{
    auto *label = new QLabel(Q(text), parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return label;
}

} // namespace

HostKeyDialog::HostKeyDialog(const HostKeyQuestion &question, QWidget *parent) : QDialog(parent)
{
    setObjectName("hostKeyDlg");
    setWindowTitle("Host key of " + Q(question.host));

    auto *icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto *headline = new QLabel("Fernhop has not met the SSH server " + Q(question.host) + " before.", this);
    headline->setObjectName("headlineLbl");
    headline->setTextFormat(Qt::PlainText);
    headline->setWordWrap(true);
    QFont bold = headline->font();
    bold.setBold(true);
    headline->setFont(bold);

    hostLbl = ValueLabel(this, "hostLbl", question.host);
    typeLbl = ValueLabel(this, "typeLbl", question.type);
    // Fixed pitch, so that it compares character by character with what `ssh-keygen -lf` shows
    // on the server.
    fingerprintLbl = ValueLabel(this, "fingerprintLbl", question.fingerprint);
    fingerprintLbl->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *fields = new QGridLayout;
    fields->setHorizontalSpacing(12);
    int row = 0;
    for (const auto &[caption, value] : {std::pair<const char *, QLabel *>{"Host:", hostLbl},
                                         {"Key type:", typeLbl},
                                         {"Fingerprint:", fingerprintLbl}}) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(value);
        fields->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignBaseline);
        fields->addWidget(value, row, 1, Qt::AlignBaseline);
        ++row;
    }
    fields->setColumnStretch(1, 1);

    auto *note = new QLabel("Its host key is in neither ~/.ssh/known_hosts nor this site. Trust it only if the "
                            "fingerprint is the one the server's owner gives you. A host key trusted always is "
                            "kept with the site; if the server ever shows another one, Fernhop refuses to "
                            "connect. Nothing is sent to the server before you decide.",
                            this);
    note->setObjectName("noteLbl");
    note->setWordWrap(true);

    onceBtn = new QPushButton("Trust &Once", this);
    onceBtn->setObjectName("onceBtn");
    alwaysBtn = new QPushButton("&Always Trust", this);
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

void HostKeyDialog::showEvent(QShowEvent *event)
{
    answer_ = CertificateTrust::Cancel; // Escape and closing the window cancel
    QDialog::showEvent(event);
    cancelBtn->setFocus();
}

void HostKeyDialog::Finish(CertificateTrust answer)
{
    answer_ = answer;
    if (answer == CertificateTrust::Cancel)
        reject();
    else
        accept();
}

CertificateTrust AskHostKeyTrust(QWidget *parent, const HostKeyQuestion &question)
{
    HostKeyDialog dialog(question, parent);
    dialog.exec();
    return dialog.Answer();
}
