#include "ui/SiteTreeModel.h"

#include "ui/EntryDrag.h"
#include "ui/Icons.h"

SiteTreeModel::SiteTreeModel(SiteTree &tree, QObject *parent) : QAbstractItemModel(parent), tree_(tree)
{
    tree_.SetObserver(this);
}

SiteTreeModel::~SiteTreeModel()
{
    tree_.SetObserver(nullptr);
}

SiteNode *SiteTreeModel::NodeOf(const QModelIndex &index)
{
    return index.isValid() ? static_cast<SiteNode *>(index.internalPointer()) : nullptr;
}

QModelIndex SiteTreeModel::IndexOf(const SiteNode *node) const
{
    if (!node)
        return {};
    return createIndex(node->Row(), 0, const_cast<SiteNode *>(node));
}

QModelIndex SiteTreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0 || (parent.isValid() && parent.column() != 0))
        return {};
    const SiteNode *p = NodeOf(parent);
    if (row >= tree_.ChildCount(p))
        return {};
    return createIndex(row, 0, tree_.Child(p, row));
}

QModelIndex SiteTreeModel::parent(const QModelIndex &child) const
{
    const SiteNode *node = NodeOf(child);
    return node ? IndexOf(node->Parent()) : QModelIndex();
}

int SiteTreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return tree_.ChildCount(NodeOf(parent));
}

int SiteTreeModel::columnCount(const QModelIndex &) const
{
    return 1;
}

bool SiteTreeModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QVariant SiteTreeModel::data(const QModelIndex &index, int role) const
{
    const SiteNode *node = NodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(node->detail.name);
    case Qt::DecorationRole: return StateIcon(node->icon);
    case NodeRole: return QVariant::fromValue(quintptr(node));
    case IconNumberRole: return int(node->icon);
    case ExpandedRole: return node->expanded;
    default: return {};
    }
}

Qt::ItemFlags SiteTreeModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Read-only; entries may be dragged onto the ignore lists.
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList SiteTreeModel::mimeTypes() const
{
    return {kEntryMimeType};
}

QMimeData *SiteTreeModel::mimeData(const QModelIndexList &indexes) const
{
    EntryDrag drag;
    drag.tag = tree_.Tag();
    for (const QModelIndex &index : indexes) {
        if (const SiteNode *node = NodeOf(index)) {
            TDetail e;
            e.kind = node->detail.kind;
            e.directory = node->detail.directory;
            e.name = node->detail.name;
            drag.entries.push_back(std::move(e));
        }
    }
    return drag.entries.empty() ? nullptr : EncodeEntryDrag(drag);
}

Qt::DropActions SiteTreeModel::supportedDragActions() const
{
    // Copy only: the entry stays in its tree.
    return Qt::CopyAction;
}

void SiteTreeModel::BeginInsert(SiteNode *parent, int first, int last)
{
    beginInsertRows(IndexOf(parent), first, last);
}

void SiteTreeModel::EndInsert()
{
    endInsertRows();
}

void SiteTreeModel::BeginRemove(SiteNode *parent, int first, int last)
{
    beginRemoveRows(IndexOf(parent), first, last);
}

void SiteTreeModel::EndRemove()
{
    endRemoveRows();
}

void SiteTreeModel::Changed(SiteNode *node)
{
    const QModelIndex index = IndexOf(node);
    emit dataChanged(index, index);
}

void SiteTreeModel::BeginReset()
{
    beginResetModel();
}

void SiteTreeModel::EndReset()
{
    endResetModel();
}
