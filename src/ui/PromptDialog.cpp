#include "ui/PromptDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PromptDialog::PromptDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Fernhop"));
    prompt1Lbl = new QLabel(this);
    prompt2Lbl = new QLabel(this);
    prompt1Lbl->setObjectName("prompt1Lbl");
    prompt2Lbl->setObjectName("prompt2Lbl");
    for (QLabel *label : {prompt1Lbl, prompt2Lbl}) {
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText); // names from a server are shown, never interpreted
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    yesBtn = new QPushButton(QStringLiteral("&Yes"), this);
    NoBtn = new QPushButton(QStringLiteral("&No"), this);
    cancelBtn = new QPushButton(QStringLiteral("&Cancel"), this);
    yesBtn->setObjectName("yesBtn");
    NoBtn->setObjectName("NoBtn");
    cancelBtn->setObjectName("cancelBtn");
    yesBtn->setDefault(true);
    cancelBtn->hide();
    connect(yesBtn, &QPushButton::clicked, this, [this] { Finish(PromptAnswer::Yes); });
    connect(NoBtn, &QPushButton::clicked, this, [this] { Finish(PromptAnswer::No); });
    connect(cancelBtn, &QPushButton::clicked, this, [this] { Finish(PromptAnswer::Cancel); });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(yesBtn);
    buttons->addWidget(NoBtn);
    buttons->addWidget(cancelBtn);
    buttons->addStretch(1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(prompt1Lbl);
    layout->addWidget(prompt2Lbl);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(360);
}

void PromptDialog::Setup(const QString &line1, const QString &line2, int buttons)
{
    prompt1Lbl->setText(line1);
    prompt2Lbl->setText(line2);
    yesBtn->setVisible(buttons >= 1);
    NoBtn->setVisible(buttons >= 2);
    cancelBtn->setVisible(buttons >= 3);
    answer_ = PromptAnswer::Cancel;
}

void PromptDialog::showEvent(QShowEvent *event)
{
    answer_ = PromptAnswer::Cancel; // closing the window without a button cancels
    QDialog::showEvent(event);
    yesBtn->setFocus();
}

void PromptDialog::Finish(PromptAnswer answer)
{
    answer_ = answer;
    if (answer == PromptAnswer::Cancel)
        reject();
    else
        accept();
}

PromptAnswer AskPrompt(QWidget *parent, const QString &line1, const QString &line2, int buttons)
{
    PromptDialog dialog(parent);
    dialog.Setup(line1, line2, buttons);
    dialog.exec();
    return dialog.Answer();
}
