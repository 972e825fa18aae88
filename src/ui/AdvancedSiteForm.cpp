#include "ui/AdvancedSiteForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TadvancedForm::TadvancedForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle("Advanced FTP Setup");
    setObjectName("advancedForm");

    nickNameLbl = new QLabel(this);
    nickNameLbl->setObjectName("nickNameLbl");
    QFont bold = nickNameLbl->font();
    bold.setBold(true);
    nickNameLbl->setFont(bold);
    afterLoginEdit = new QLineEdit(this);
    afterLoginEdit->setObjectName("afterLoginEdit");
    afterLoginEdit->setToolTip("eg. SITE group password");
    afterLoginEdit->setMinimumWidth(260);

    auto *fields = new QGridLayout;
    fields->addWidget(new QLabel("FTP Server Nickname:", this), 0, 0);
    fields->addWidget(nickNameLbl, 0, 1);
    auto *commandLabel = new QLabel("After login command:", this);
    commandLabel->setBuddy(afterLoginEdit);
    fields->addWidget(commandLabel, 1, 0);
    fields->addWidget(afterLoginEdit, 1, 1);
    fields->addWidget(new QLabel("Command will not be issued if entry is blank.", this), 2, 1);
    fields->setColumnStretch(1, 1);

    saveBtn = new QPushButton("&Save", this);
    saveBtn->setObjectName("saveBtn");
    saveBtn->setDefault(true);
    cancelBtn = new QPushButton("&Cancel", this);
    cancelBtn->setObjectName("cancelBtn");
    connect(saveBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(saveBtn);
    buttons->addWidget(cancelBtn);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addSpacing(8);
    layout->addLayout(buttons);
}

void TadvancedForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    afterLoginEdit->setFocus();
}
