#include "ui/SetupImages.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int kScale = 2; // drawn at twice the size and scaled down by the view

QIcon MultiSiteMark(bool on)
{
    QPixmap pixmap(16 * kScale, 16 * kScale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(kScale, kScale);
    if (on) {
        painter.setPen(QPen(QColor(0x1b, 0x6e, 0x20), 1));
        painter.setBrush(QColor(0x43, 0xa0, 0x47));
        painter.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(4.5, 8.2);
        tick.lineTo(7, 10.8);
        tick.lineTo(11.5, 5.2);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    } else {
        painter.setPen(QPen(QColor(0x90, 0x90, 0x90), 1.2));
        painter.setBrush(QColor(0xee, 0xee, 0xee));
        painter.drawEllipse(QRectF(2, 2, 12, 12));
    }
    return QIcon(pixmap);
}

// A green rounded label with a short text: the table's clickable option cells.
QIcon GreenLabel(const QString &text)
{
    const QSize size = ExtensionCellImageSize();
    QPixmap pixmap(size * kScale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(kScale, kScale);
    const QRectF box(0.5, 0.5, size.width() - 1, size.height() - 1);
    painter.setPen(QPen(QColor(0x1b, 0x5e, 0x20), 1));
    painter.setBrush(QColor(0x66, 0xbb, 0x6a));
    painter.drawRoundedRect(box, 3, 3);
    QFont font;
    font.setPixelSize(10);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, text);
    return QIcon(pixmap);
}

} // namespace

const QList<QIcon> &SiteRowImages()
{
    static const QList<QIcon> images{MultiSiteMark(true), MultiSiteMark(false)};
    return images;
}

QSize ExtensionCellImageSize()
{
    return QSize(40, 16);
}

const QList<QIcon> &ExtensionCellImages()
{
    static const QList<QIcon> images{GreenLabel("Aa"), GreenLabel("AA"), GreenLabel("aa"), GreenLabel("ASCII"),
                                     GreenLabel("BIN")};
    return images;
}
