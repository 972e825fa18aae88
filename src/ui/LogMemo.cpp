#include "ui/LogMemo.h"

#include <QScrollBar>
#include <QTextBlock>

namespace {
// Long enough that a burst of lines becomes one append, short enough to read as live.
constexpr int kFlushDelayMs = 40;
} // namespace

LogMemo::LogMemo(QWidget *parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setMaximumBlockCount(kMaxLines);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kFlushDelayMs);
    connect(&flushTimer_, &QTimer::timeout, this, &LogMemo::Flush);
}

void LogMemo::AppendLine(const QString &line)
{
    pending_.append(line);
    // Lines that would be pushed out at once by the cap are never drawn.
    if (pending_.size() > kMaxLines)
        pending_.erase(pending_.begin(), pending_.begin() + (pending_.size() - kMaxLines));
    if (!flushTimer_.isActive())
        flushTimer_.start();
}

void LogMemo::Flush()
{
    flushTimer_.stop();
    if (pending_.isEmpty())
        return;
    QScrollBar *bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    appendPlainText(pending_.join(QLatin1Char('\n')));
    pending_.clear();
    if (atEnd)
        bar->setValue(bar->maximum());
}

void LogMemo::ClearLines()
{
    pending_.clear();
    flushTimer_.stop();
    clear();
}

QStringList LogMemo::Lines()
{
    Flush();
    QStringList lines;
    if (document()->isEmpty())
        return lines;
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next())
        lines.append(block.text());
    return lines;
}

int LogMemo::LineCount()
{
    Flush();
    return document()->isEmpty() ? 0 : document()->blockCount();
}
