#pragma once
// A Qt item model over one site tree. It holds no copies: every index points at the core's node,
// and the tree's change notices become the model's signals, so a view follows the core exactly.
#include "site/SiteTree.h"

#include <QAbstractItemModel>

class SiteTreeModel : public QAbstractItemModel, private SiteTreeObserver {
    Q_OBJECT
public:
    enum Role {
        NodeRole = Qt::UserRole + 1, // the SiteNode* as a quintptr
        IconNumberRole,              // the node's state icon number
        ExpandedRole,                // the node's expanded flag
    };

    // Becomes the tree's observer for its lifetime; the tree must outlive the model.
    explicit SiteTreeModel(SiteTree &tree, QObject *parent = nullptr);
    ~SiteTreeModel() override;

    SiteTree &Tree() const { return tree_; }
    static SiteNode *NodeOf(const QModelIndex &index);
    QModelIndex IndexOf(const SiteNode *node) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    void BeginInsert(SiteNode *parent, int first, int last) override;
    void EndInsert() override;
    void BeginRemove(SiteNode *parent, int first, int last) override;
    void EndRemove() override;
    void Changed(SiteNode *node) override;
    void BeginReset() override;
    void EndReset() override;

    SiteTree &tree_;
};
