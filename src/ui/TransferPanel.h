#pragma once
// The progress display at the right of the bottom band: hidden (width 0) until a long operation
// shows it, then 280 wide with the bar, the percent, the status line and, during the file phase
// of a run, the current file's labels.
#include "base/MainView.h"

#include <QFrame>
#include <QString>

class QLabel;
class QProgressBar;

class TransferPanel : public QFrame {
    Q_OBJECT
public:
    static constexpr int kWidth = 280;

    explicit TransferPanel(QWidget *parent = nullptr);

    void ShowPanel(bool visible);
    void SetProgress(int percent);
    void SetStatus(const QString &text);
    // The per-file labels with their captions; the status line gives way to them.
    void ShowFileLabels(bool visible);
    // The texts of progressPercent, fileNameLabel ... timeRemainLabel; false for other slots.
    bool SetText(TextSlot slot, const QString &text);

    QString Text(TextSlot slot) const;
    int Progress() const;

private:
    QLabel *Label(TextSlot slot) const;

    QLabel *progressLbl_;
    QProgressBar *bar_;
    QLabel *percent_;
    QLabel *extraStatus_;
    QWidget *fileBox_;
    QLabel *fileName_;
    QLabel *fileSize_;
    QLabel *transferred_;
    QLabel *mode_;
    QLabel *kps_;
    QLabel *timeRemain_;
};
