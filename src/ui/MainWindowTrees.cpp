// The two tree views over the core's trees: models, selection, scrolling and dragged entries.
#include "ui/MainWindow.h"

#include "transfer/Fernhop.h"
#include "ui/DropPanel.h"
#include "ui/EntryDrag.h"
#include "ui/HintPanel.h"
#include "ui/SiteTreeModel.h"
#include "ui/SiteTreeView.h"

#include <QPushButton>

void MainWindow::AttachTrees()
{
    auto *localModel = new SiteTreeModel(app_->ws.localTree, localTree_);
    auto *remoteModel = new SiteTreeModel(app_->ws.remoteTree, remoteTree_);
    localTree_->SetSiteModel(localModel);
    remoteTree_->SetSiteModel(remoteModel);
    treeModels_[0] = localModel;
    treeModels_[1] = remoteModel;
    localTree_->SetPartner(remoteTree_);
    remoteTree_->SetPartner(localTree_);
    for (SiteTreeView *view : {localTree_, remoteTree_}) {
        view->SetHintPanel(hintPanel_);
        view->SetBusyCheck([this] { return stopBtn_->isEnabled(); });
        connect(view, &SiteTreeView::StatusText, this,
                [this](const QString &text) { app_->ws.ShowStatus(text.toStdString()); });
    }
    dropPanel_->dropStarting = [this] { hintPanel_->hide(); };
}

SiteTreeView *MainWindow::TreeView(const SiteTree &tree) const
{
    return tree.Tag() == 1 ? localTree_ : remoteTree_;
}

SiteNode *MainWindow::SelectedNode(int tag) const
{
    return (tag == 1 ? localTree_ : remoteTree_)->SelectedNode();
}

void MainWindow::KeepInView(SiteTree &tree, SiteNode *node)
{
    if (node)
        TreeView(tree)->KeepInView(node);
}

void MainWindow::MakeVisible(SiteTree &tree, SiteNode *node)
{
    if (node)
        TreeView(tree)->MakeVisible(node);
}

bool MainWindow::DecodeDrop(const QMimeData *mime, TDetail &entry) const
{
    EntryDrag drag;
    if (!DecodeEntryDrag(mime, drag))
        return false;
    entry = drag.entries.front();
    return true;
}
