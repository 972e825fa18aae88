#include "ui/TrustDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

QLabel *TrustDialog::ValueLabel(const char *name, const std::string &text, bool wrap)
{
    auto *label = new QLabel(QString::fromStdString(text), this);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setWordWrap(wrap);
    return label;
}

void TrustDialog::Build(const QString &headlineText, const std::vector<std::pair<const char *, QLabel *>> &rows,
                        const QString &noteText, const QString &alwaysCaption)
{
    auto *icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    auto *headline = new QLabel(headlineText, this);
    headline->setObjectName("headlineLbl");
    headline->setTextFormat(Qt::PlainText);
    headline->setWordWrap(true);
    QFont bold = headline->font();
    bold.setBold(true);
    headline->setFont(bold);

    auto *fields = new QGridLayout;
    fields->setHorizontalSpacing(12);
    int row = 0;
    for (const auto &[caption, value] : rows) {
        auto *label = new QLabel(caption, this);
        label->setBuddy(value);
        const Qt::Alignment vertical = value->wordWrap() ? Qt::AlignTop : Qt::AlignBaseline;
        fields->addWidget(label, row, 0, Qt::AlignLeft | vertical);
        fields->addWidget(value, row, 1, vertical);
        ++row;
    }
    fields->setColumnStretch(1, 1);

    auto *note = new QLabel(noteText, this);
    note->setObjectName("noteLbl");
    note->setWordWrap(true);

    onceBtn = new QPushButton("Trust &Once", this);
    onceBtn->setObjectName("onceBtn");
    alwaysBtn = new QPushButton(alwaysCaption, this);
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

void TrustDialog::showEvent(QShowEvent *event)
{
    answer_ = CertificateTrust::Cancel; // Escape and closing the window cancel
    QDialog::showEvent(event);
    cancelBtn->setFocus();
}

void TrustDialog::Finish(CertificateTrust answer)
{
    answer_ = answer;
    if (answer == CertificateTrust::Cancel)
        reject();
    else
        accept();
}
