#pragma once
// The FTP log memo: read-only lines that a fast run adds by the thousand a second. Lines are
// gathered and appended in one batch per event-loop turn (a few per second at most while the
// loop is busy), and the memo keeps only the newest lines; the trace and log files keep all.
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>

class LogMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 50000;

    explicit LogMemo(QWidget *parent = nullptr);

    void AppendLine(const QString &line);
    void ClearLines();
    // Appends what is waiting now (tests, and before the memo's lines are read).
    void Flush();
    // Every line on show, the waiting ones included.
    QStringList Lines();
    int LineCount();

private:
    QStringList pending_;
    QTimer flushTimer_;
};
