#pragma once
// The view of one site tree (localTree or remoteTree): state icons, the status text that follows
// the pointer, the details panel on a click, the Alt-click search in the partner tree, the
// right-button selection for the popup menu, and dragging entries to the ignore lists.
#include <QElapsedTimer>
#include <QPersistentModelIndex>
#include <QTimer>
#include <QTreeView>

#include <functional>

class HintPanel;
class SiteTree;
class SiteTreeModel;
struct SiteNode;

class SiteTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit SiteTreeView(QWidget *parent = nullptr);

    // Shows the model's tree; the view's expanded rows follow the nodes' flags both ways.
    void SetSiteModel(SiteTreeModel *model);
    SiteTreeModel *SiteModel() const { return model_; }
    int Tag() const;

    void SetPartner(SiteTreeView *partner) { partner_ = partner; }
    void SetHintPanel(HintPanel *panel) { hint_ = panel; }
    // True while an operation runs (the Stop button is enabled): the hover text then stays quiet.
    void SetBusyCheck(std::function<bool()> busy) { busy_ = std::move(busy); }

    SiteNode *SelectedNode() const;
    // The node under a viewport point, only when the point lies on its text (not beside it).
    SiteNode *NodeOnTextAt(QPoint viewportPos) const;

    // Keeps the node about half-way down the view; MakeVisible only scrolls as far as needed.
    // Both expand the node's ancestors and act when control returns to the event loop, so a long
    // run of calls (a load with the tree expanding) costs one scroll.
    void KeepInView(SiteNode *node);
    void MakeVisible(SiteNode *node);
    // Performs a pending KeepInView or MakeVisible now (and any row layout held back for it).
    void ScrollPending();

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

    // Alt-click search: finds the node's path in the partner tree; shows "Match: name" or
    // "No match" and scrolls both trees to the pair. Returns the partner's node or null.
    SiteNode *SearchPartner(SiteNode *node);

signals:
    // Text for the status line; empty clears it.
    void StatusText(const QString &text);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = {}) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void reset() override;

private:
    void ApplyExpandedFlags();
    void SyncExpanded(const QModelIndex &index);
    void RequestScroll(SiteNode *node, ScrollHint hint);
    bool Large() const;
    void CatchUpLater();
    void CatchUp();
    void LayOutHeldRows();

    SiteTreeModel *model_ = nullptr;
    SiteTreeView *partner_ = nullptr;
    HintPanel *hint_ = nullptr;
    std::function<bool()> busy_;
    QPersistentModelIndex pendingScroll_;
    ScrollHint pendingHint_ = EnsureVisible;
    bool scrollQueued_ = false;
    // A large tree filled or walked with a yield every few entries would be laid out and
    // scrolled at every yield, each time over all its shown rows: rows appended meanwhile and
    // scroll requests wait for one catch-up a few times a second instead.
    QTimer catchUp_;
    QElapsedTimer sinceCatchUp_;
    bool layoutHeld_ = false;
};

// "[name] - explanation" for the node under the pointer, cut to 255 characters; empty when the
// entry has nothing to explain.
QString HoverStatusText(const SiteNode &node);
