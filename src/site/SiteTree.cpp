#include "site/SiteTree.h"

SiteNode *SiteNode::Parent() const
{
    // The hidden root has no parent of its own; its children report none.
    return parent_ && parent_->parent_ ? parent_ : nullptr;
}

SiteTree::SiteTree(int tag) : tag_(tag)
{
}

SiteNode *SiteTree::First() const
{
    return root_.children_.empty() ? nullptr : root_.children_.front().get();
}

SiteNode *SiteTree::Last() const
{
    const SiteNode *node = &root_;
    while (!node->children_.empty())
        node = node->children_.back().get();
    return node == &root_ ? nullptr : const_cast<SiteNode *>(node);
}

SiteNode *SiteTree::NextSibling(const SiteNode *node) const
{
    const SiteNode *parent = node->parent_;
    size_t next = size_t(node->row_) + 1;
    return next < parent->children_.size() ? parent->children_[next].get() : nullptr;
}

SiteNode *SiteTree::Next(const SiteNode *node) const
{
    if (!node->children_.empty())
        return node->children_.front().get();
    while (node && node != &root_) {
        if (SiteNode *sibling = NextSibling(node))
            return sibling;
        node = node->parent_;
    }
    return nullptr;
}

SiteNode *SiteTree::Previous(const SiteNode *node) const
{
    if (node->row_ == 0) {
        SiteNode *parent = node->parent_;
        return parent == &root_ ? nullptr : parent;
    }
    const SiteNode *prev = node->parent_->children_[size_t(node->row_) - 1].get();
    while (!prev->children_.empty())
        prev = prev->children_.back().get();
    return const_cast<SiteNode *>(prev);
}

int SiteTree::Depth(const SiteNode *node) const
{
    int depth = 0;
    for (const SiteNode *p = node->parent_; p && p != &root_; p = p->parent_)
        ++depth;
    return depth;
}

SiteNode *SiteTree::Insert(SiteNode *parent, int row, TDetail detail)
{
    SiteNode *container = Container(parent);
    auto &children = container->children_;
    if (row < 0 || size_t(row) > children.size())
        row = int(children.size());
    if (observer_)
        observer_->BeginInsert(parent, row, row);
    auto node = std::make_unique<SiteNode>();
    node->detail = std::move(detail);
    node->parent_ = container;
    node->row_ = row;
    SiteNode *raw = node.get();
    children.insert(children.begin() + row, std::move(node));
    for (size_t i = size_t(row) + 1; i < children.size(); ++i)
        children[i]->row_ = int32_t(i);
    ++count_;
    if (observer_)
        observer_->EndInsert();
    return raw;
}

namespace {
int SubtreeSize(const SiteNode *node)
{
    int n = 1;
    for (int i = 0; i < node->ChildCount(); ++i)
        n += SubtreeSize(node->Child(i));
    return n;
}
} // namespace

void SiteTree::Remove(SiteNode *node)
{
    SiteNode *container = node->parent_;
    int row = node->row_;
    if (observer_)
        observer_->BeginRemove(Visible(container), row, row);
    count_ -= SubtreeSize(node);
    auto &children = container->children_;
    children.erase(children.begin() + row);
    for (size_t i = size_t(row); i < children.size(); ++i)
        children[i]->row_ = int32_t(i);
    if (observer_)
        observer_->EndRemove();
}

void SiteTree::Clear()
{
    if (observer_)
        observer_->BeginReset();
    // Free deep trees without deep recursion: detach children level by level.
    std::vector<std::unique_ptr<SiteNode>> pending = std::move(root_.children_);
    root_.children_.clear();
    while (!pending.empty()) {
        std::unique_ptr<SiteNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto &child : node->children_)
            pending.push_back(std::move(child));
    }
    count_ = 0;
    if (observer_)
        observer_->EndReset();
}

void SiteTree::NotifyChanged(SiteNode *node)
{
    if (observer_)
        observer_->Changed(node);
}
