#include "ui/SiteTreeView.h"

#include "base/Text.h"
#include "ui/EntryDrag.h"
#include "ui/HintPanel.h"
#include "ui/SiteTreeModel.h"

#include <QApplication>
#include <QDragMoveEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

namespace {
// Below this many entries a layout of every shown row is quick enough to follow each change.
constexpr int kLargeTree = 5000;
// The least time between two catch-ups of a large tree: its rows and its scrolling still follow
// the work several times a second, and a layout of 100,000 rows takes a fraction of it.
constexpr int kCatchUpMs = 100;

const char *Explanation(const SiteNode &node)
{
    const int icon = node.icon;
    switch (node.detail.action) {
    case actDeleteFile: return "File is not in other list and will be deleted";
    case actNewFile: return "File is new and will be transferred";
    case actRefresh:
        if (icon == iconSizeDiffers)
            return "File size does not match and will updated";
        if (icon == iconNewer || icon == iconUpload || icon == iconDownload)
            return "File has changed and will be updated";
        return nullptr;
    case actCreateDir: return "Directory will be created";
    case actRemoveDir: return "Directory is not in other list and will be removed";
    default:
        if (icon == iconNewer)
            return "File has changed and will be updated";
        if (icon == iconSizeDiffers)
            return "File size does not match and will updated";
        if (icon == iconDirIgnored)
            return "Directory is ignored";
        if (icon == iconFileIgnored)
            return "File is ignored";
        if (node.detail.kind == ekFile && icon != iconFile)
            return "No transfer required - file is current";
        return nullptr;
    }
}
} // namespace

QString HoverStatusText(const SiteNode &node)
{
    const char *why = Explanation(node);
    if (!why)
        return {};
    return ("[" + QString::fromStdString(node.detail.name) + "] - " + QString::fromLatin1(why)).left(255);
}

SiteTreeView::SiteTreeView(QWidget *parent) : QTreeView(parent)
{
    setHeaderHidden(true);
    setUniformRowHeights(true); // lets a 100,000-row tree lay out and scroll without measuring rows
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setMouseTracking(true);
    setDragEnabled(true);
    setDragDropMode(DragDrop); // accepts an entry drag over it (and drops nothing)
    setDefaultDropAction(Qt::CopyAction);
    setIconSize(QSize(16, 16));
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex &index) {
        if (SiteNode *node = SiteTreeModel::NodeOf(index))
            node->expanded = true;
    });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex &index) {
        if (SiteNode *node = SiteTreeModel::NodeOf(index))
            node->expanded = false;
    });
    catchUp_.setSingleShot(true);
    connect(&catchUp_, &QTimer::timeout, this, &SiteTreeView::CatchUp);
    sinceCatchUp_.start();
}

void SiteTreeView::SetSiteModel(SiteTreeModel *model)
{
    model_ = model;
    setModel(model);
    ApplyExpandedFlags();
}

int SiteTreeView::Tag() const
{
    return model_ ? model_->Tree().Tag() : 0;
}

SiteNode *SiteTreeView::SelectedNode() const
{
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
    return rows.isEmpty() ? nullptr : SiteTreeModel::NodeOf(rows.first());
}

SiteNode *SiteTreeView::NodeOnTextAt(QPoint viewportPos) const
{
    const QModelIndex index = indexAt(viewportPos);
    SiteNode *node = SiteTreeModel::NodeOf(index);
    if (!node)
        return nullptr;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    option.index = index;
    option.text = index.data().toString();
    option.features |= QStyleOptionViewItem::HasDisplay;
    if (node->icon != iconNone) {
        option.features |= QStyleOptionViewItem::HasDecoration;
        option.decorationSize = iconSize();
    }
    QRect text = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
    // The style gives the text the rest of the row; the entry's text is only as wide as its words.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    text.setWidth(qMin(text.width(), option.fontMetrics.horizontalAdvance(option.text) + 2 * margin));
    return text.contains(viewportPos) ? node : nullptr;
}

void SiteTreeView::mouseMoveEvent(QMouseEvent *event)
{
    if (hint_)
        hint_->CountMove();
    if (event->buttons() == Qt::NoButton && !(busy_ && busy_())) {
        if (SiteNode *node = NodeOnTextAt(event->position().toPoint()))
            emit StatusText(HoverStatusText(*node));
    }
    QTreeView::mouseMoveEvent(event);
}

void SiteTreeView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton) {
        // The popup menu acts on the entry under the pointer: make it the selected, focused node.
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid()) {
            setCurrentIndex(index);
            setFocus(Qt::MouseFocusReason);
        }
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void SiteTreeView::mouseReleaseEvent(QMouseEvent *event)
{
    QTreeView::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !model_)
        return;
    const QPoint pos = event->position().toPoint();
    if (event->modifiers() & Qt::AltModifier) {
        if (SiteNode *node = NodeOnTextAt(pos))
            SearchPartner(node);
        return;
    }
    if (!hint_)
        return;
    hint_->Place(viewport()->mapTo(hint_->parentWidget(), pos), Tag());
    if (SiteNode *node = NodeOnTextAt(pos))
        hint_->ShowEntry(*node, Tag());
}

SiteNode *SiteTreeView::SearchPartner(SiteNode *node)
{
    if (!node || !partner_ || !partner_->model_)
        return nullptr;
    const std::string key = LowerAZ(node->detail.Path());
    const SiteTree &other = partner_->model_->Tree();
    for (SiteNode *n = other.First(); n; n = other.Next(n)) {
        if (LowerAZ(n->detail.Path()) == key) {
            emit StatusText("Match: " + QString::fromStdString(node->detail.name));
            KeepInView(node);
            partner_->KeepInView(n);
            return n;
        }
    }
    emit StatusText(QStringLiteral("No match"));
    return nullptr;
}

void SiteTreeView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(kEntryMimeType))
        event->acceptProposedAction();
    else
        event->ignore();
}

void SiteTreeView::dragMoveEvent(QDragMoveEvent *event)
{
    if (hint_)
        hint_->CountMove();
    if (event->mimeData()->hasFormat(kEntryMimeType))
        event->acceptProposedAction();
    else
        event->ignore();
}

void SiteTreeView::dropEvent(QDropEvent *event)
{
    // A tree is no drop target: an entry let go over a tree starts nothing.
    event->ignore();
}

void SiteTreeView::KeepInView(SiteNode *node)
{
    RequestScroll(node, PositionAtCenter);
}

void SiteTreeView::MakeVisible(SiteNode *node)
{
    RequestScroll(node, EnsureVisible);
}

void SiteTreeView::RequestScroll(SiteNode *node, ScrollHint hint)
{
    if (!model_ || !node)
        return;
    pendingScroll_ = model_->IndexOf(node);
    pendingHint_ = hint;
    if (Large()) {
        CatchUpLater();
    } else if (!scrollQueued_) {
        scrollQueued_ = true;
        QTimer::singleShot(0, this, [this] {
            if (scrollQueued_)
                ScrollPending();
        });
    }
}

bool SiteTreeView::Large() const
{
    return model_ && model_->Tree().Count() >= kLargeTree;
}

void SiteTreeView::CatchUpLater()
{
    if (!catchUp_.isActive())
        catchUp_.start(int(qMax<qint64>(0, kCatchUpMs - sinceCatchUp_.elapsed())));
}

void SiteTreeView::CatchUp()
{
    ScrollPending();
    // Measured from the end: a slow layout must not make the next one follow at once.
    sinceCatchUp_.restart();
}

void SiteTreeView::LayOutHeldRows()
{
    if (!layoutHeld_)
        return;
    layoutHeld_ = false;
    scheduleDelayedItemsLayout();
    executeDelayedItemsLayout();
}

QRect SiteTreeView::visualRect(const QModelIndex &index) const
{
    QRect rect = QTreeView::visualRect(index);
    if (!rect.isValid() && layoutHeld_ && index.isValid()) {
        // The row may be one appended since the last layout: a caller asking where it is gets
        // the answer of the current tree. (Layout state is not what the view shows as const.)
        const_cast<SiteTreeView *>(this)->LayOutHeldRows();
        rect = QTreeView::visualRect(index);
    }
    return rect;
}

void SiteTreeView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    LayOutHeldRows();
    QTreeView::scrollTo(index, hint);
}

void SiteTreeView::ScrollPending()
{
    scrollQueued_ = false;
    catchUp_.stop();
    LayOutHeldRows();
    if (!pendingScroll_.isValid())
        return;
    const QModelIndex index = pendingScroll_;
    pendingScroll_ = QPersistentModelIndex();
    for (QModelIndex p = index.parent(); p.isValid(); p = p.parent())
        if (!isExpanded(p))
            expand(p);
    scrollTo(index, pendingHint_);
}

void SiteTreeView::SyncExpanded(const QModelIndex &index)
{
    const SiteNode *node = SiteTreeModel::NodeOf(index);
    if (node && node->expanded != isExpanded(index))
        setExpanded(index, node->expanded);
}

void SiteTreeView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles)
{
    // While rows wait for their layout, the catch-up repaints the whole view anyway; asking
    // where a changed row lies would lay them out at once.
    if (!layoutHeld_)
        QTreeView::dataChanged(topLeft, bottomRight, roles);
    if (topLeft.isValid() && topLeft.parent() == bottomRight.parent())
        for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
            SyncExpanded(topLeft.siblingAtRow(row));
}

void SiteTreeView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    // Rows appended under a shown parent would have the tree view lay out every shown row again
    // at the next turn of the event loop. In a large tree they wait for the catch-up: until then
    // the view shows the tree as it was (appended rows move no row that it shows).
    const bool appended = end == model()->rowCount(parent) - 1;
    if (appended && Large() && (!parent.isValid() || isExpanded(parent))) {
        QAbstractItemView::rowsInserted(parent, start, end);
        layoutHeld_ = true;
        CatchUpLater();
    } else {
        QTreeView::rowsInserted(parent, start, end);
    }
    for (int row = start; row <= end; ++row)
        SyncExpanded(model()->index(row, 0, parent));
}

void SiteTreeView::reset()
{
    QTreeView::reset(); // lays out every row again
    layoutHeld_ = false;
    pendingScroll_ = QPersistentModelIndex();
    ApplyExpandedFlags();
}

void SiteTreeView::ApplyExpandedFlags()
{
    if (!model_)
        return;
    // Walk in tree order without recursion: trees can be deep.
    const SiteTree &tree = model_->Tree();
    for (SiteNode *n = tree.First(); n; n = tree.Next(n))
        if (n->expanded)
            setExpanded(model_->IndexOf(n), true);
}
