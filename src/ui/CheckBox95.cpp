#include "ui/CheckBox95.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

TCheckBox95::TCheckBox95(const QString &text, QWidget *parent) : QCheckBox(text, parent) {}

void TCheckBox95::SetLikeButton(bool on)
{
    likeButton_ = on;
    updateGeometry();
    update();
}

void TCheckBox95::SetHorAlignment(HorAlignment alignment)
{
    horAlignment_ = alignment;
    update();
}

void TCheckBox95::SetVerAlignment(VerAlignment alignment)
{
    verAlignment_ = alignment;
    update();
}

void TCheckBox95::SetWordWrap(bool on)
{
    wordWrap_ = on;
    updateGeometry();
    update();
}

void TCheckBox95::SetPicture(const QIcon &picture)
{
    setIcon(picture);
    updateGeometry();
}

Qt::Alignment TCheckBox95::TextAlignment() const
{
    Qt::Alignment a;
    switch (horAlignment_) {
    case HorAlignment::haLeft: a = Qt::AlignLeft; break;
    case HorAlignment::haCenter: a = Qt::AlignHCenter; break;
    case HorAlignment::haRight: a = Qt::AlignRight; break;
    }
    switch (verAlignment_) {
    case VerAlignment::vaTop: a |= Qt::AlignTop; break;
    case VerAlignment::vaCenter: a |= Qt::AlignVCenter; break;
    case VerAlignment::vaBottom: a |= Qt::AlignBottom; break;
    }
    return a;
}

QSize TCheckBox95::sizeHint() const
{
    if (!likeButton_)
        return QCheckBox::sizeHint();
    QStyleOptionButton option;
    option.initFrom(this);
    option.text = text();
    option.icon = icon();
    option.iconSize = iconSize();
    const QSize text = fontMetrics().size(Qt::TextShowMnemonic, option.text);
    QSize content = text;
    if (!option.icon.isNull())
        content = QSize(content.width() + option.iconSize.width() + 4, qMax(content.height(), option.iconSize.height()));
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, content, this);
}

QSize TCheckBox95::minimumSizeHint() const
{
    return likeButton_ ? sizeHint() : QCheckBox::minimumSizeHint();
}

bool TCheckBox95::hitButton(const QPoint &pos) const
{
    // The plain look keeps the style's click area; the others take the whole control.
    const bool plain = !likeButton_ && !wordWrap_ && horAlignment_ == HorAlignment::haLeft &&
                       verAlignment_ == VerAlignment::vaCenter;
    return plain ? QCheckBox::hitButton(pos) : rect().contains(pos);
}

void TCheckBox95::paintEvent(QPaintEvent *event)
{
    if (likeButton_) {
        // A push button that stays down while checked.
        QStylePainter painter(this);
        QStyleOptionButton option;
        option.initFrom(this);
        option.text = text();
        option.icon = icon();
        option.iconSize = iconSize();
        if (isChecked())
            option.state |= QStyle::State_On | QStyle::State_Sunken;
        else
            option.state |= QStyle::State_Off | QStyle::State_Raised;
        if (isDown())
            option.state |= QStyle::State_Sunken;
        painter.drawControl(QStyle::CE_PushButton, option);
        return;
    }
    if (!wordWrap_ && horAlignment_ == HorAlignment::haLeft && verAlignment_ == VerAlignment::vaCenter) {
        QCheckBox::paintEvent(event);
        return;
    }
    // The check mark where the style puts it, the text (wrapped if asked) placed in the rest.
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    QStyleOptionButton indicator = option;
    indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);
    QRect textRect = rect();
    textRect.setLeft(indicator.rect.right() + 1 + style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this));
    if (!icon().isNull()) {
        const QPixmap picture = icon().pixmap(iconSize());
        painter.drawPixmap(textRect.left(), (height() - iconSize().height()) / 2, picture);
        textRect.setLeft(textRect.left() + iconSize().width() + 4);
    }
    const int flags = int(TextAlignment()) | Qt::TextShowMnemonic | (wordWrap_ ? Qt::TextWordWrap : 0);
    style()->drawItemText(&painter, textRect, flags, option.palette, isEnabled(), text(), QPalette::WindowText);
}
