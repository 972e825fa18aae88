#include "ui/FileLabel.h"

#include <QEvent>
#include <QFontMetrics>

FileLabel::FileLabel(QWidget *parent) : QLabel(parent)
{
    setWordWrap(false);
    setTextFormat(Qt::PlainText);
    // The label's width comes from its layout; the text never asks for more.
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void FileLabel::SetFileName(const QString &fileName)
{
    if (fileName == fileName_)
        return;
    fileName_ = fileName;
    setToolTip(fileName_);
    Split();
    Shorten();
}

void FileLabel::SetSeparator(const QString &separator)
{
    if (separator == separator_)
        return;
    separator_ = separator;
    Split();
    Shorten();
}

void FileLabel::SetDirection(TDirection direction)
{
    if (direction == direction_)
        return;
    direction_ = direction;
    Shorten();
}

void FileLabel::Split()
{
    // Every separator splits, however long the path: a leading separator gives an empty first part.
    parts_ = separator_.isEmpty() ? QStringList{fileName_} : fileName_.split(separator_);
    drive_ = parts_.size() > 1 && parts_.first().size() > 1 && parts_.first().endsWith(QLatin1Char(':'));
}

QString FileLabel::Shortened(int width) const
{
    if (fileName_.isEmpty() || parts_.isEmpty())
        return fileName_;
    const QFontMetrics metrics(font());
    auto w = [&](const QString &text) { return metrics.horizontalAdvance(text); };
    if (w(fileName_) <= width)
        return fileName_;
    const QString ellipsis = QStringLiteral("...") + separator_;
    const QString last = parts_.last();
    int used = w(ellipsis) + w(last);
    if (used >= width)
        return last;
    QString drive;
    int first = 0;
    if (drive_) {
        drive = parts_.first() + separator_;
        first = 1;
    }
    if (w(drive) + used >= width)
        return ellipsis + last;
    // Each candidate is measured whole: the widths of its pieces need not add up to it.
    const int beforeLast = int(parts_.size()) - 2;
    QString middle;
    if (direction_ == drFromLeft) {
        for (int i = beforeLast; i >= first; --i) {
            const QString more = parts_[i] + separator_ + middle;
            if (w(drive + ellipsis + more + last) > width)
                break;
            middle = more;
        }
        return drive + ellipsis + middle + last;
    }
    for (int i = first; i <= beforeLast; ++i) {
        const QString more = middle + parts_[i] + separator_;
        if (w(drive + more + ellipsis + last) > width)
            break;
        middle = more;
    }
    return drive + middle + ellipsis + last;
}

int FileLabel::TextWidth() const
{
    // Where QLabel draws its text: inside the margin, and for a framed label with no indent of
    // its own, after an indent of half an "x".
    int width = contentsRect().width() - 2 * margin();
    int indent = this->indent();
    if (indent < 0 && frameWidth() > 0)
        indent = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - margin();
    if (indent > 0 && (alignment() & (Qt::AlignLeft | Qt::AlignRight)))
        width -= indent;
    return width;
}

void FileLabel::Shorten()
{
    setText(Shortened(TextWidth()));
}

void FileLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    Shorten();
}

void FileLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        Shorten();
}
