#include "base/DateTime.h"
#include "net/EventLoopWait.h"
#include "site/SiteModel.h"
#include "site/TreeEntries.h"
#include "support/RecordingView.h"
#include "ui/HintPanel.h"
#include "ui/SiteTreeModel.h"
#include "ui/SiteTreeView.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

TDetail Entry(TEntryKind kind, const std::string &directory, const std::string &name, TEntryAction action = actUnset)
{
    TDetail e;
    e.kind = kind;
    e.directory = directory;
    e.name = name;
    e.action = action;
    return e;
}

SiteNode Node(TEntryKind kind, TEntryAction action, int icon, const std::string &name = "a.html")
{
    SiteNode n;
    n.detail = Entry(kind, "", name, action);
    n.icon = icon;
    return n;
}

// Two trees side by side in one area, as the main window holds them, with the details panel.
struct Trees {
    Options options;
    RecordingView recorder;
    SiteModel model{options, recorder};
    FixedSite site;
    SiteTreeModel localModel{model.localTree};
    SiteTreeModel remoteModel{model.remoteTree};
    QWidget area;
    SiteTreeView local{&area}, remote{&area};
    HintPanel hint{&area};

    Trees()
    {
        model.SetSite(&site);
        area.resize(640, 400);
        local.setGeometry(0, 0, 300, 400);
        remote.setGeometry(310, 0, 330, 400);
        local.SetSiteModel(&localModel);
        remote.SetSiteModel(&remoteModel);
        local.SetPartner(&remote);
        remote.SetPartner(&local);
        local.SetHintPanel(&hint);
        remote.SetHintPanel(&hint);
        hint.SetModel(&model);
        area.show();
    }

    // A point on the node's text, and one in the same row beside the text.
    static QPoint OnText(SiteTreeView &view, SiteNode *node)
    {
        const QRect r = view.visualRect(view.SiteModel()->IndexOf(node));
        for (int x = r.left(); x < r.right(); ++x)
            if (view.NodeOnTextAt(QPoint(x, r.center().y())) == node)
                return QPoint(x + 2, r.center().y());
        ADD_FAILURE() << "no text found for " << node->detail.name;
        return {};
    }
    static QPoint Beside(SiteTreeView &view, SiteNode *node)
    {
        const QRect r = view.visualRect(view.SiteModel()->IndexOf(node));
        return QPoint(view.viewport()->width() - 4, r.center().y());
    }
    static void Send(SiteTreeView &view, QEvent::Type type, QPoint at, Qt::MouseButton button,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
        QMouseEvent event(type, at, view.viewport()->mapToGlobal(at), button, held, modifiers);
        QApplication::sendEvent(view.viewport(), &event);
    }
    static void Click(SiteTreeView &view, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        Send(view, QEvent::MouseButtonPress, at, Qt::LeftButton, modifiers);
        Send(view, QEvent::MouseButtonRelease, at, Qt::LeftButton, modifiers);
    }
    QString Field(const char *name) const { return hint.findChild<QLabel *>(name)->text(); }
};

} // namespace

TEST(SiteTreeView, HoverTextExplainsTheEntrysAction)
{
    EXPECT_EQ(HoverStatusText(Node(ekFile, actDeleteFile, iconDelete)),
              "[a.html] - File is not in other list and will be deleted");
    EXPECT_EQ(HoverStatusText(Node(ekFile, actNewFile, iconNewFile)), "[a.html] - File is new and will be transferred");
    EXPECT_EQ(HoverStatusText(Node(ekFile, actRefresh, iconSizeDiffers)),
              "[a.html] - File size does not match and will updated");
    EXPECT_EQ(HoverStatusText(Node(ekFile, actRefresh, iconUpload)), "[a.html] - File has changed and will be updated");
    EXPECT_EQ(HoverStatusText(Node(ekFile, actRefresh, iconDelete)), "");
    EXPECT_EQ(HoverStatusText(Node(ekDirectory, actCreateDir, iconCreateDir)), "[a.html] - Directory will be created");
    EXPECT_EQ(HoverStatusText(Node(ekDirectory, actRemoveDir, iconDelete)),
              "[a.html] - Directory is not in other list and will be removed");
    EXPECT_EQ(HoverStatusText(Node(ekDirectory, actNone, iconDirIgnored)), "[a.html] - Directory is ignored");
    EXPECT_EQ(HoverStatusText(Node(ekFile, actNone, iconFileIgnored)), "[a.html] - File is ignored");
    EXPECT_EQ(HoverStatusText(Node(ekFile, actNone, iconSame)), "[a.html] - No transfer required - file is current");
    EXPECT_EQ(HoverStatusText(Node(ekFile, actUnset, iconFile)), "");
    EXPECT_EQ(HoverStatusText(Node(ekDirectory, actNone, iconDir)), "");
    EXPECT_EQ(HoverStatusText(Node(ekFile, actNewFile, iconNewFile, std::string(300, 'x'))).size(), 255);
}

TEST(SiteTreeView, PointerOnTheTextShowsTheStatusOnlyWhileIdle)
{
    Trees t;
    SiteNode *node = t.model.localTree.Append(nullptr, Entry(ekFile, "", "index.html", actNewFile));
    node->icon = iconNewFile;
    bool busy = false;
    t.local.SetBusyCheck([&] { return busy; });
    QSignalSpy status(&t.local, &SiteTreeView::StatusText);

    Trees::Send(t.local, QEvent::MouseMove, Trees::Beside(t.local, node), Qt::NoButton);
    EXPECT_EQ(status.count(), 0);
    Trees::Send(t.local, QEvent::MouseMove, Trees::OnText(t.local, node), Qt::NoButton);
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), "[index.html] - File is new and will be transferred");
    busy = true;
    Trees::Send(t.local, QEvent::MouseMove, Trees::OnText(t.local, node), Qt::NoButton);
    EXPECT_EQ(status.count(), 1);
}

TEST(SiteTreeView, ClickFillsTheDetailsPanelAndTheSecondMoveHidesIt)
{
    Trees t;
    TDetail e = Entry(ekFile, "/docs", "page.html", actDeleteFile);
    e.size = 2048;
    e.modified = EncodeDate(t.model.currentYear, 3, 4) + EncodeTime(10, 15);
    SiteNode *node = t.model.localTree.Append(nullptr, e);
    node->icon = iconDelete;
    SiteNode *fresh = t.model.localTree.Append(nullptr, Entry(ekFile, "/docs", "<b>new</b>.html", actNewFile));
    fresh->icon = iconNewFile;

    // Beside the text: placed and 100 high, but not shown.
    Trees::Click(t.local, Trees::Beside(t.local, node));
    EXPECT_FALSE(t.hint.isVisible());
    EXPECT_EQ(t.hint.height(), 100);

    Trees::Click(t.local, Trees::OnText(t.local, node));
    ASSERT_TRUE(t.hint.isVisible());
    EXPECT_EQ(t.hint.size(), QSize(310, 100));
    EXPECT_EQ(t.Field("nameLbl"), " page.html");
    EXPECT_EQ(t.Field("dirLbl"), " /docs");
    EXPECT_EQ(t.Field("sizeLbl"), " 2048");
    EXPECT_EQ(t.Field("typeLbl"), "FILE");
    EXPECT_EQ(t.Field("actionLbl"), "DELETE");
    EXPECT_EQ(t.Field("dateLbl"), " " + QString::fromStdString(FormatDateTime(" dddd, dd mmm yyyy", e.modified)));
    EXPECT_EQ(t.Field("timeLbl"), " " + LocaleTimeText(e.modified));
    EXPECT_FALSE(t.hint.findChild<QLabel *>("actionImage")->pixmap().isNull());

    // A new file has no action word of its own: the previous one stays.
    Trees::Click(t.local, Trees::OnText(t.local, fresh));
    EXPECT_EQ(t.Field("nameLbl"), " <b>new</b>.html");
    EXPECT_EQ(t.hint.findChild<QLabel *>("nameLbl")->textFormat(), Qt::PlainText);
    EXPECT_EQ(t.Field("actionLbl"), "DELETE");

    Trees::Send(t.local, QEvent::MouseMove, QPoint(5, 300), Qt::NoButton);
    EXPECT_TRUE(t.hint.isVisible());
    Trees::Send(t.local, QEvent::MouseMove, QPoint(6, 300), Qt::NoButton);
    EXPECT_FALSE(t.hint.isVisible());
}

TEST(SiteTreeView, RemoteTimeOfThisYearIsShownCorrectedByTheSavedOffset)
{
    Trees t;
    t.site.savedPcTime = EncodeDate(2026, 1, 1) + EncodeTime(12, 0);
    t.site.savedServerTime = EncodeDate(2026, 1, 1) + EncodeTime(10, 0); // the server runs two hours behind
    TDetail e = Entry(ekFile, "", "now.html", actNone);
    e.modified = EncodeDate(t.model.currentYear, 6, 1) + EncodeTime(9, 30);
    SiteNode *thisYear = t.model.remoteTree.Append(nullptr, e);
    thisYear->icon = iconSame;
    e.name = "old.html";
    e.modified = EncodeDate(t.model.currentYear - 1, 6, 1);
    SiteNode *lastYear = t.model.remoteTree.Append(nullptr, e);
    lastYear->icon = iconSame;

    Trees::Click(t.remote, Trees::OnText(t.remote, thisYear));
    const TDateTime corrected = EncodeDate(t.model.currentYear, 6, 1) + EncodeTime(11, 30);
    EXPECT_EQ(t.hint.height(), 140);
    EXPECT_EQ(t.Field("timeLbl"), " " + LocaleTimeText(corrected));
    EXPECT_EQ(t.Field("dateLbl"), " " + QString::fromStdString(FormatDateTime(" dddd, dd mmm yyyy", corrected)));
    EXPECT_EQ(t.Field("actualTimeLbl"), " " + LocaleTimeText(EncodeTime(9, 30)));
    EXPECT_EQ(t.Field("actualDateLbl"),
              " " + QString::fromStdString(FormatDateTime("dddd, dd mmm yyyy", EncodeDate(t.model.currentYear, 6, 1))));
    EXPECT_EQ(t.Field("actionLbl"), "NONE");

    // An older listing has no time of day to correct.
    Trees::Click(t.remote, Trees::OnText(t.remote, lastYear));
    EXPECT_EQ(t.hint.height(), 100);
    EXPECT_EQ(t.Field("timeLbl"), " " + LocaleTimeText(0));

    // Nor is anything corrected with the offset feature switched off, or in the local tree.
    t.options.timeOffset = true;
    Trees::Click(t.remote, Trees::OnText(t.remote, thisYear));
    EXPECT_EQ(t.hint.height(), 100);
    EXPECT_EQ(t.Field("timeLbl"), " " + LocaleTimeText(EncodeTime(9, 30)));
    t.options.timeOffset = false;
    SiteNode *local = t.model.localTree.Append(nullptr, thisYear->detail);
    Trees::Click(t.local, Trees::OnText(t.local, local));
    EXPECT_EQ(t.hint.height(), 100);
}

TEST(SiteTreeView, AltClickFindsTheSamePathInTheOtherTree)
{
    Trees t;
    SiteNode *docs = t.model.localTree.Append(nullptr, Entry(ekDirectory, "", "docs"));
    docs->expanded = true;
    SiteNode *page = t.model.localTree.Append(docs, Entry(ekFile, "/docs", "Page.HTML"));
    SiteNode *only = t.model.localTree.Append(docs, Entry(ekFile, "/docs", "only-here.html"));
    t.local.SetSiteModel(&t.localModel); // picks up the expanded flag set above
    SiteNode *rdocs = t.model.remoteTree.Append(nullptr, Entry(ekDirectory, "", "DOCS"));
    SiteNode *rpage = t.model.remoteTree.Append(rdocs, Entry(ekFile, "/DOCS", "page.html"));
    QSignalSpy status(&t.local, &SiteTreeView::StatusText);

    Trees::Click(t.local, Trees::OnText(t.local, page), Qt::AltModifier);
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), "Match: Page.HTML");
    EXPECT_FALSE(t.hint.isVisible());
    t.remote.ScrollPending();
    EXPECT_TRUE(t.remote.isExpanded(t.remoteModel.IndexOf(rdocs))); // brought into view
    EXPECT_TRUE(rdocs->expanded);
    (void)rpage;

    Trees::Click(t.local, Trees::OnText(t.local, only), Qt::AltModifier);
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status.at(1).at(0).toString(), "No match");
}

TEST(SiteTreeView, RightButtonSelectsAndExpandedStateFollowsTheCore)
{
    Trees t;
    SiteNode *dir = t.model.localTree.Append(nullptr, Entry(ekDirectory, "", "images"));
    SiteNode *file = t.model.localTree.Append(nullptr, Entry(ekFile, "", "a.gif"));
    t.model.localTree.Append(dir, Entry(ekFile, "/images", "b.gif"));

    Trees::Send(t.local, QEvent::MouseButtonPress, Trees::OnText(t.local, file), Qt::RightButton);
    EXPECT_EQ(t.local.SelectedNode(), file);
    EXPECT_EQ(t.local.currentIndex(), t.localModel.IndexOf(file));

    const QModelIndex index = t.localModel.IndexOf(dir);
    dir->expanded = true;
    t.model.localTree.NotifyChanged(dir);
    EXPECT_TRUE(t.local.isExpanded(index));
    t.local.collapse(index);
    EXPECT_FALSE(dir->expanded);
    t.local.expand(index);
    EXPECT_TRUE(dir->expanded);
}

// Past a few thousand entries, rows appended under shown rows and scroll requests wait for a
// catch-up instead of a layout of every row at each yield; the view must still end up showing the
// tree as it is, answer for new rows when asked, and survive removals in between.
TEST(SiteTreeView, ALargeGrowingTreeCatchesUpWithItsRowsAndItsScrolling)
{
    Trees t;
    t.options.expandTree = true;
    SiteTree &tree = t.model.localTree;
    auto shownRows = [&] {
        int rows = 0;
        for (QModelIndex i = t.localModel.index(0, 0); i.isValid(); i = t.local.indexBelow(i))
            ++rows;
        return rows;
    };
    std::vector<SiteNode *> dirs;
    for (int d = 0; d < 60; ++d) {
        const std::string name = "dir" + std::to_string(d);
        dirs.push_back(AddChildEntry(t.model, tree, nullptr, Entry(ekDirectory, "", name)));
        for (int f = 0; f < 99; ++f)
            AddChildEntry(t.model, tree, dirs.back(), Entry(ekFile, "/" + name, "page" + std::to_string(f) + ".html"));
        QCoreApplication::processEvents(); // a scan's yield
    }
    ASSERT_TRUE(RunUntil([&] { return shownRows() == tree.Count(); }));
    EXPECT_TRUE(t.local.isExpanded(t.localModel.IndexOf(dirs.back())));

    // A new directory and its rows: asked for, the newest row's place is known at once; a scroll
    // request reaches it.
    SiteNode *dir = AddChildEntry(t.model, tree, nullptr, Entry(ekDirectory, "", "zlast"));
    SiteNode *last = nullptr;
    for (int f = 0; f < 50; ++f)
        last = AddChildEntry(t.model, tree, dir, Entry(ekFile, "/zlast", "p" + std::to_string(f)));
    const QPersistentModelIndex lastIndex = t.localModel.IndexOf(last);
    EXPECT_TRUE(t.local.visualRect(lastIndex).isValid());
    t.local.MakeVisible(last);
    ASSERT_TRUE(RunUntil([&] { return t.local.viewport()->rect().contains(t.local.visualRect(lastIndex)); }));
    EXPECT_EQ(t.local.indexAt(t.local.visualRect(lastIndex).center()), QModelIndex(lastIndex));

    // Rows appended and a shown directory removed before the next catch-up: drawn and laid out
    // as the tree now is.
    for (int f = 0; f < 20; ++f)
        AddChildEntry(t.model, tree, dirs[5], Entry(ekFile, "/dir5", "extra" + std::to_string(f)));
    tree.Remove(dirs[3]);
    t.local.viewport()->repaint();
    for (int f = 0; f < 20; ++f)
        AddChildEntry(t.model, tree, dir, Entry(ekFile, "/zlast", "q" + std::to_string(f)));
    t.local.viewport()->repaint();
    ASSERT_TRUE(RunUntil([&] { return shownRows() == tree.Count(); }));
    EXPECT_TRUE(t.local.visualRect(lastIndex).isValid());
}
