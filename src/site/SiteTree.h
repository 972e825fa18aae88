#pragma once
// An ordered tree of entries: localTree (tag 1) or remoteTree (tag 2). Each node owns its entry and
// its children; the view asks child-by-row and row-of-node questions in O(1).
#include "site/Detail.h"

#include <memory>
#include <vector>

struct SiteNode {
    TDetail detail;
    int32_t icon = iconNone; // the state image on show
    bool expanded = false;

    SiteNode *Parent() const; // nullptr for a top-level node
    int Row() const { return row_; }
    int ChildCount() const { return int(children_.size()); }
    SiteNode *Child(int row) const { return children_[size_t(row)].get(); }
    bool HasChildren() const { return !children_.empty(); }

private:
    friend class SiteTree;
    SiteNode *parent_ = nullptr; // the tree's hidden root for a top-level node
    int32_t row_ = 0;
    std::vector<std::unique_ptr<SiteNode>> children_;
};

// Told what changed, so a view model can follow. Parent nullptr means the top level.
class SiteTreeObserver {
public:
    virtual ~SiteTreeObserver() = default;
    virtual void BeginInsert(SiteNode *parent, int first, int last) = 0;
    virtual void EndInsert() = 0;
    virtual void BeginRemove(SiteNode *parent, int first, int last) = 0;
    virtual void EndRemove() = 0;
    virtual void Changed(SiteNode *node) = 0;
    virtual void BeginReset() = 0;
    virtual void EndReset() = 0;
};

class SiteTree {
public:
    explicit SiteTree(int tag);
    SiteTree(const SiteTree &) = delete;
    SiteTree &operator=(const SiteTree &) = delete;

    int Tag() const { return tag_; }
    int Count() const { return count_; }
    bool Empty() const { return count_ == 0; }

    int TopCount() const { return root_.ChildCount(); }
    SiteNode *Top(int row) const { return root_.Child(row); }
    int ChildCount(const SiteNode *parent) const { return (parent ? parent : &root_)->ChildCount(); }
    SiteNode *Child(const SiteNode *parent, int row) const { return (parent ? parent : &root_)->Child(row); }

    // Tree order: a node, its children, then its following siblings.
    SiteNode *First() const;
    SiteNode *Last() const;
    SiteNode *Next(const SiteNode *node) const;
    SiteNode *Previous(const SiteNode *node) const;
    SiteNode *NextSibling(const SiteNode *node) const;
    int Depth(const SiteNode *node) const; // 0 for a top-level node

    // Inserts a node holding `detail` at `row` among the parent's children (row -1 appends).
    SiteNode *Insert(SiteNode *parent, int row, TDetail detail);
    SiteNode *Append(SiteNode *parent, TDetail detail) { return Insert(parent, -1, std::move(detail)); }
    // Removes the node with its whole subtree.
    void Remove(SiteNode *node);
    void Clear();

    // Tells the observer that a node's entry, icon or expanded state changed.
    void NotifyChanged(SiteNode *node);
    void SetObserver(SiteTreeObserver *observer) { observer_ = observer; }

private:
    SiteNode *Container(SiteNode *parent) { return parent ? parent : &root_; }
    SiteNode *Visible(SiteNode *parent) const { return parent == &root_ ? nullptr : parent; }

    int tag_;
    int count_ = 0;
    SiteNode root_;
    SiteTreeObserver *observer_ = nullptr;
};
