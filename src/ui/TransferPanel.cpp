#include "ui/TransferPanel.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

TransferPanel::TransferPanel(QWidget *parent) : QFrame(parent)
{
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(kWidth);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 2, 4, 2);
    outer->setSpacing(1);

    auto *barRow = new QHBoxLayout;
    progressLbl_ = new QLabel(tr("Progress:"));
    bar_ = new QProgressBar;
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    bar_->setMaximumHeight(14);
    percent_ = new QLabel;
    percent_->setMinimumWidth(36);
    barRow->addWidget(progressLbl_);
    barRow->addWidget(bar_, 1);
    barRow->addWidget(percent_);
    outer->addLayout(barRow);

    extraStatus_ = new QLabel;
    extraStatus_->setWordWrap(true);
    extraStatus_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    outer->addWidget(extraStatus_, 1);

    fileBox_ = new QWidget;
    auto *grid = new QGridLayout(fileBox_);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(0);
    auto value = [] {
        auto *label = new QLabel;
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    fileName_ = value();
    fileSize_ = value();
    transferred_ = value();
    mode_ = value();
    kps_ = value();
    timeRemain_ = value();
    grid->addWidget(new QLabel(tr("Filename:")), 0, 0);
    grid->addWidget(fileName_, 0, 1, 1, 2);
    grid->addWidget(new QLabel(tr("File Size:")), 1, 0);
    grid->addWidget(fileSize_, 1, 1);
    grid->addWidget(mode_, 1, 2);
    grid->addWidget(new QLabel(tr("Transferred:")), 2, 0);
    grid->addWidget(transferred_, 2, 1);
    grid->addWidget(kps_, 2, 2);
    grid->addWidget(timeRemain_, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    outer->addWidget(fileBox_);
    fileBox_->hide();
    hide(); // width 0 at creation
}

void TransferPanel::ShowPanel(bool visible)
{
    if (visible) {
        bar_->setValue(0);
        percent_->clear();
        extraStatus_->clear();
        progressLbl_->show();
        bar_->show();
        percent_->show();
    }
    setVisible(visible);
}

void TransferPanel::SetProgress(int percent)
{
    bar_->setValue(qBound(0, percent, 100));
}

void TransferPanel::SetStatus(const QString &text)
{
    extraStatus_->setText(text);
}

void TransferPanel::ShowFileLabels(bool visible)
{
    if (visible) {
        for (QLabel *label : {fileName_, fileSize_, transferred_, mode_, kps_, timeRemain_})
            label->clear();
    }
    fileBox_->setVisible(visible);
    extraStatus_->setVisible(!visible);
}

QLabel *TransferPanel::Label(TextSlot slot) const
{
    switch (slot) {
    case TextSlot::progressPercent: return percent_;
    case TextSlot::fileNameLabel: return fileName_;
    case TextSlot::fileSizeLabel: return fileSize_;
    case TextSlot::transferredLabel: return transferred_;
    case TextSlot::transferModeLabel: return mode_;
    case TextSlot::kpsLabel: return kps_;
    case TextSlot::timeRemainLabel: return timeRemain_;
    default: return nullptr;
    }
}

bool TransferPanel::SetText(TextSlot slot, const QString &text)
{
    QLabel *label = Label(slot);
    if (!label)
        return false;
    label->setText(text);
    return true;
}

QString TransferPanel::Text(TextSlot slot) const
{
    const QLabel *label = Label(slot);
    return label ? label->text() : QString();
}

int TransferPanel::Progress() const
{
    return bar_->value();
}
