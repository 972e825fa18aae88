// The two tree views over the core's trees: models, selection, scrolling and dragged entries.
#include "ui/MainWindow.h"

#include "transfer/Fernhop.h"

#include <QTreeView>

#if __has_include("ui/SiteTreeModel.h")
#include "ui/EntryDrag.h"
#include "ui/SiteTreeModel.h"
#define FERNHOP_TREE_MODEL 1
#endif

void MainWindow::AttachTrees()
{
#ifdef FERNHOP_TREE_MODEL
    auto *localModel = new SiteTreeModel(app_->ws.localTree, localTree_);
    auto *remoteModel = new SiteTreeModel(app_->ws.remoteTree, remoteTree_);
    localTree_->setModel(localModel);
    remoteTree_->setModel(remoteModel);
    treeModels_[0] = localModel;
    treeModels_[1] = remoteModel;
#endif
}

QTreeView *MainWindow::TreeView(const SiteTree &tree) const
{
    return tree.Tag() == 1 ? localTree_ : remoteTree_;
}

SiteNode *MainWindow::SelectedNode(int tag) const
{
#ifdef FERNHOP_TREE_MODEL
    const QTreeView *view = tag == 1 ? localTree_ : remoteTree_;
    const QModelIndex current = view->currentIndex();
    return current.isValid() ? SiteTreeModel::NodeOf(current) : nullptr;
#else
    (void)tag;
    return nullptr;
#endif
}

void MainWindow::KeepInView(SiteTree &tree, SiteNode *node)
{
#ifdef FERNHOP_TREE_MODEL
    if (!node)
        return;
    QTreeView *view = TreeView(tree);
    const QModelIndex index = static_cast<SiteTreeModel *>(view->model())->IndexOf(node);
    if (index.isValid())
        view->scrollTo(index, QAbstractItemView::PositionAtCenter);
#else
    (void)tree;
    (void)node;
#endif
}

void MainWindow::MakeVisible(SiteTree &tree, SiteNode *node)
{
#ifdef FERNHOP_TREE_MODEL
    if (!node)
        return;
    QTreeView *view = TreeView(tree);
    const QModelIndex index = static_cast<SiteTreeModel *>(view->model())->IndexOf(node);
    if (index.isValid())
        view->setExpanded(index, node->expanded);
#else
    (void)tree;
    (void)node;
#endif
}

bool MainWindow::DecodeDrop(const QMimeData *mime, TDetail &entry) const
{
#ifdef FERNHOP_TREE_MODEL
    EntryDrag drag;
    if (!DecodeEntryDrag(mime, drag))
        return false;
    entry = drag.entries.front();
    return true;
#else
    (void)mime;
    (void)entry;
    return false;
#endif
}
