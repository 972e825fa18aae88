#include "ui/HintPanel.h"

#include "base/DateTime.h"
#include "site/SiteModel.h"
#include "ui/Icons.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

namespace {
QString Text(const std::string &text)
{
    return QString::fromStdString(text);
}

// Action words by state icon; null for an icon that leaves the previous word standing.
const char *ActionWord(const SiteNode &node)
{
    switch (node.icon) {
    case iconCreateDir: return "CREATE";
    case iconNewer:
    case iconSizeDiffers: return "REFRESH";
    case iconDelete: return node.detail.action == actDeleteFile ? "DELETE" : "REMOVE";
    case iconSame:
    case iconDirIgnored:
    case iconFileIgnored: return "NONE";
    case iconUpload: return "UPLOAD";
    case iconDownload: return "DOWNLOAD";
    default: return nullptr;
    }
}
} // namespace

QString LocaleTimeText(double dateTime)
{
    const TimeParts t = DecodeTime(dateTime);
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    // The long form names the time zone; an entry's time is plain local time.
    format.remove(QRegularExpression(QStringLiteral("\\s*t+")));
    return QLocale().toString(QTime(t.hour, t.minute, t.second), format.trimmed());
}

HintPanel::HintPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName("hintPanel");
    setFrameShape(QFrame::Box);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::ToolTipBase);
    setForegroundRole(QPalette::ToolTipText);
    setMouseTracking(true);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    setFont(small);

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(0);
    auto caption = [&](const char *text, int row, int column) {
        auto *label = new QLabel(QString::fromLatin1(text), this);
        label->setMouseTracking(true);
        grid->addWidget(label, row, column);
        return label;
    };
    nameLbl_ = AddValue("nameLbl");
    dirLbl_ = AddValue("dirLbl");
    dateLbl_ = AddValue("dateLbl");
    timeLbl_ = AddValue("timeLbl");
    typeLbl_ = AddValue("typeLbl");
    actionLbl_ = AddValue("actionLbl");
    sizeLbl_ = AddValue("sizeLbl");
    actualDateLbl_ = AddValue("actualDateLbl");
    actualTimeLbl_ = AddValue("actualTimeLbl");
    gmtLabel_ = AddValue("GMTlabel");
    actionImage_ = new QLabel(this);
    actionImage_->setObjectName("actionImage");
    actionImage_->setFixedSize(16, 16);

    caption("Name:", 0, 0);
    grid->addWidget(nameLbl_, 0, 1, 1, 3);
    caption("Directory:", 1, 0);
    grid->addWidget(dirLbl_, 1, 1, 1, 3);
    caption("Date:", 2, 0);
    grid->addWidget(dateLbl_, 2, 1, 1, 3);
    caption("Time:", 3, 0);
    grid->addWidget(timeLbl_, 3, 1);
    caption("Type:", 3, 2);
    grid->addWidget(typeLbl_, 3, 3);
    caption("Size:", 4, 0);
    grid->addWidget(sizeLbl_, 4, 1);
    caption("Action:", 4, 2);
    auto *actionRow = new QHBoxLayout;
    actionRow->setSpacing(3);
    actionRow->addWidget(actionLbl_);
    actionRow->addWidget(actionImage_);
    actionRow->setAlignment(Qt::AlignLeft);
    actionLbl_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    grid->addLayout(actionRow, 4, 3);
    gmtCaption_ = caption("GMT Offset:", 5, 2);
    grid->addWidget(gmtLabel_, 5, 3);
    actualCaption_ = caption("Time before auto-offset", 5, 1);
    actualLabel_ = caption("Actual:", 6, 0);
    grid->addWidget(actualDateLbl_, 6, 1, 1, 2);
    grid->addWidget(actualTimeLbl_, 6, 3);
    // The type and action words take what they need; the date gets the rest of the width.
    const QFontMetrics metrics(small);
    actionLbl_->setFixedWidth(metrics.horizontalAdvance(QStringLiteral("DOWNLOAD ")));
    grid->setColumnMinimumWidth(3, metrics.horizontalAdvance(QStringLiteral("DOWNLOAD ")) + 19);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(7, 1);

    gmtCaption_->hide();
    gmtLabel_->hide();
    for (QWidget *w : {static_cast<QWidget *>(actualCaption_), static_cast<QWidget *>(actualLabel_),
                       static_cast<QWidget *>(actualDateLbl_), static_cast<QWidget *>(actualTimeLbl_)})
        w->hide();
    setFixedSize(kWidth, kHeight);
    hide();
}

QLabel *HintPanel::AddValue(const char *name)
{
    auto *label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(name));
    label->setMouseTracking(true);
    label->setTextFormat(Qt::PlainText); // a name from a server is shown as it is, never as markup
    // Long names are cut at the panel's edge instead of widening it.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

void HintPanel::Place(QPoint pointer, int tag)
{
    setFixedHeight(kHeight);
    QPoint at = pointer + (tag == 2 ? QPoint(64, 10) : QPoint(-5, 10));
    // Keep the panel inside the area it floats over, so that it can be read at the right edge.
    if (QWidget *area = parentWidget()) {
        at.setX(qBound(0, at.x(), qMax(0, area->width() - width())));
        at.setY(qBound(0, at.y(), qMax(0, area->height() - kHeightWithActual)));
    }
    move(at);
}

void HintPanel::ShowEntry(const SiteNode &node, int tag)
{
    const TDetail &e = node.detail;
    nameLbl_->setText(" " + Text(e.name));
    dirLbl_->setText(" " + Text(e.directory));
    sizeLbl_->setText(" " + QString::number(e.size));
    gmtCaption_->hide();
    gmtLabel_->hide();

    // A remote time of this year is shown corrected by the site's measured clock offset, with the
    // listed time beside it; older listings carry no time of day to correct.
    TDateTime t = e.modified;
    bool corrected = false;
    if (tag == 2 && model_) {
        const CurrentSite &site = model_->Site();
        const int year = model_->currentYear ? model_->currentYear : CurrentYear();
        if (site.SavedPcTime() != 0 && site.SavedServerTime() != 0 && DecodeDate(t).year == year &&
            !model_->options.timeOffset) {
            actualDateLbl_->setText(" " + Text(FormatDateTime("dddd, dd mmm yyyy", t)));
            actualTimeLbl_->setText(" " + LocaleTimeText(t));
            t += site.SavedPcTime() - site.SavedServerTime();
            corrected = true;
        }
    }
    for (QWidget *w : {static_cast<QWidget *>(actualCaption_), static_cast<QWidget *>(actualLabel_),
                       static_cast<QWidget *>(actualDateLbl_), static_cast<QWidget *>(actualTimeLbl_)})
        w->setVisible(corrected);
    setFixedHeight(corrected ? kHeightWithActual : kHeight);

    dateLbl_->setText(" " + Text(FormatDateTime(" dddd, dd mmm yyyy", t)));
    timeLbl_->setText(" " + LocaleTimeText(t));
    typeLbl_->setText(QString::fromLatin1(KindText(e.kind)));
    if (const char *word = ActionWord(node))
        actionLbl_->setText(QString::fromLatin1(word));
    actionImage_->setPixmap(StateIcon(node.icon).pixmap(16, 16));

    show();
    raise();
    hideCounter_ = 0;
}

void HintPanel::CountMove()
{
    if (!isVisible())
        return;
    if (++hideCounter_ > 1)
        hide();
}

void HintPanel::mouseMoveEvent(QMouseEvent *event)
{
    CountMove();
    QFrame::mouseMoveEvent(event);
}
