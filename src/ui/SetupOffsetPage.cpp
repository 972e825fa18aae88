#include "ui/SetupOffsetPage.h"

#include "transfer/Fernhop.h"
#include "ui/PagesDlg.h"
#include "ui/SetupBinding.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

SetupOffsetPage::SetupOffsetPage(TPagesDlg &dialog) : app_(dialog.app)
{
    setObjectName("timeOffsetPage");
    auto note = [this](const QString &text) {
        auto *label = new QLabel(text, this);
        label->setWordWrap(true);
        return label;
    };
    auto value = [this](const char *name) {
        auto *label = new QLabel(this);
        label->setObjectName(name);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumWidth(220);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    offsetNickNameLbl = value("offsetNickNameLbl");
    offsetFTPAddressLbl = value("offsetFTPAddressLbl");
    saveTimePClbl = value("saveTimePClbl");
    saveTimeServerlbl = value("saveTimeServerlbl");

    auto *box = new QGroupBox(this);
    auto *form = new QFormLayout(box);
    form->addRow("Server Nickname:", offsetNickNameLbl);
    form->addRow("Server Address:", offsetFTPAddressLbl);
    form->addRow("PC Time:", saveTimePClbl);
    form->addRow("Server Time:", saveTimeServerlbl);

    // Alt+C is the dialog's "&Close".
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogResetButton), "C&lear Offset", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, [this] {
        app_.ClearOffsetClick();
        Refresh(); // also through the program's hook; this page must follow even without it
    });

    auto *boxRow = new QHBoxLayout;
    boxRow->addWidget(box);
    auto *buttonColumn = new QVBoxLayout;
    buttonColumn->addStretch();
    buttonColumn->addWidget(BitBtn1);
    boxRow->addLayout(buttonColumn);
    boxRow->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(note("Web servers often keep a clock that differs from the PC's, or list file times in "
                           "another time zone. Fernhop measures the difference once per site: it stores a small "
                           "check file on the server and reads back the time the server lists for it."));
    layout->addWidget(note("The two times below are that measurement for the current site. Their difference "
                           "corrects every server time before it is compared with a PC time."));
    layout->addWidget(note("Clear the offset when the server's clock or time zone has changed: the next remote "
                           "refresh measures it again."));
    layout->addLayout(boxRow);
    layout->addWidget(BoundCheck(this, "timeOffsetCheck", "Do not use the auto time offset feature",
                                 app_.options.timeOffset));
    layout->addStretch();
    Refresh();
}

void SetupOffsetPage::Refresh()
{
    const OffsetLabelTexts texts = OffsetLabels(app_.sites.Current());
    offsetNickNameLbl->setText(QString::fromStdString(texts.nickName));
    offsetFTPAddressLbl->setText(QString::fromStdString(texts.server));
    saveTimePClbl->setText(QString::fromStdString(texts.pcTime));
    saveTimeServerlbl->setText(QString::fromStdString(texts.serverTime));
}
