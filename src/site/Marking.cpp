#include "site/Marking.h"

#include "site/Compare.h"
#include "site/Progress.h"

void SetAction(SiteTree &tree, SiteNode *node, TEntryAction action, TEntryAction compareAction, int32_t icon,
               const SiteTree *master)
{
    TDetail &d = node->detail;
    d.action = action;
    d.compareAction = compareAction;
    d.compareIcon = icon;
    node->icon = icon;
    if ((icon == iconNewer || icon == iconSizeDiffers) && &tree == master)
        node->icon = master->Tag() == 1 ? iconUpload : iconDownload;
    tree.NotifyChanged(node);
}

namespace {

bool IsDeletion(TEntryAction action)
{
    return action == actDeleteFile || action == actRemoveDir;
}

// The first node after the subtree of `node`, in tree order.
SiteNode *AfterSubtree(const SiteTree &tree, const SiteNode *node)
{
    for (; node; node = node->Parent())
        if (SiteNode *sibling = tree.NextSibling(node))
            return sibling;
    return nullptr;
}

int MarkOne(RunCounters &counters, SiteNode *node, Mark mark)
{
    TDetail &d = node->detail;
    const bool directory = d.kind == ekDirectory;
    switch (mark) {
    case Mark::Restore: {
        int count = 0;
        if (IsDeletion(d.action) && !IsDeletion(d.compareAction)) {
            --counters.deleteTotal;
            --counters.deleteRemain;
            count = -1;
        }
        d.action = d.compareAction;
        node->icon = d.compareIcon;
        return count;
    }
    case Mark::Ignore:
        d.action = actNone;
        node->icon = directory ? iconDirIgnored : iconFileIgnored;
        return 1;
    case Mark::Delete: {
        const TEntryAction action = directory ? actRemoveDir : actDeleteFile;
        const int count = d.action == action ? 0 : 1;
        d.action = action;
        node->icon = iconDelete;
        return count;
    }
    case Mark::Transfer:
        d.action = directory ? actCreateDir : actNewFile;
        node->icon = directory ? iconCreateDir : iconNewFile;
        return 1;
    }
    return 0;
}

SiteTree *TreeByTag(SiteModel &model, int tag)
{
    if (tag == 1)
        return &model.localTree;
    if (tag == 2)
        return &model.remoteTree;
    return nullptr;
}

void MarkSelected(SiteModel &model, int tag, SiteNode *selected, Mark mark)
{
    if (SiteTree *tree = TreeByTag(model, tag); tree && selected)
        MarkSubtree(model, *tree, selected, mark);
}

} // namespace

int MarkSubtree(SiteModel &model, SiteTree &tree, SiteNode *node, Mark mark)
{
    if (!node)
        return 0;
    const SiteNode *end = AfterSubtree(tree, node);
    int count = 0;
    for (SiteNode *n = node; n && n != end; n = tree.Next(n)) {
        count += MarkOne(model.counters, n, mark);
        tree.NotifyChanged(n);
    }
    return count;
}

void Ignore1Click(SiteModel &model, int tag, SiteNode *selected)
{
    MarkSelected(model, tag, selected, Mark::Ignore);
}

void Restore1Click(SiteModel &model, int tag, SiteNode *selected)
{
    // MarkSubtree itself takes undone deletions off the counters.
    MarkSelected(model, tag, selected, Mark::Restore);
    model.ShowStatus(CompareSummary(model.counters));
}

void Delete2Click(SiteModel &model, SiteNode *selected)
{
    if (selected) {
        const int count = MarkSubtree(model, model.remoteTree, selected, Mark::Delete);
        model.counters.deleteTotal += count;
        model.counters.deleteRemain += count;
    }
    model.ShowStatus(CompareSummary(model.counters));
}

void Upload1Click(SiteModel &model, SiteNode *selected)
{
    MarkSelected(model, 1, selected, Mark::Transfer);
}

void Download1Click(SiteModel &model, SiteNode *selected)
{
    MarkSelected(model, 2, selected, Mark::Transfer);
}

bool analyseButtonClick(SiteModel &model)
{
    const bool completed = model.Site().Download() ? Compare(model, model.remoteTree, model.localTree)
                                                   : Compare(model, model.localTree, model.remoteTree);
    HideProgress(model);
    return completed;
}
