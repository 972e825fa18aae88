#include "support/RecordingView.h"
#include "site/TreeEntries.h"

#include <gtest/gtest.h>

namespace {

struct TreeFixture : ::testing::Test {
    Options options;
    RecordingView view;
    SiteModel model{options, view};

    static TDetail Entry(TEntryKind kind, const std::string &directory, const std::string &name, int64_t size = 0)
    {
        TDetail d;
        d.kind = kind;
        d.directory = directory;
        d.name = name;
        d.size = size;
        return d;
    }

    std::vector<std::string> Names(SiteNode *parent)
    {
        std::vector<std::string> out;
        for (int i = 0; i < model.localTree.ChildCount(parent); ++i)
            out.push_back(model.localTree.Child(parent, i)->detail.name);
        return out;
    }

    // /docs with subdirectories a, b and files index.html, zeta.html
    SiteNode *BuildDocs()
    {
        SiteTree &t = model.localTree;
        SiteNode *docs = AddChildEntry(model, t, nullptr, Entry(ekDirectory, "", "docs"));
        AddChildEntry(model, t, docs, Entry(ekDirectory, "/docs", "a"));
        AddChildEntry(model, t, docs, Entry(ekDirectory, "/docs", "b"));
        AddChildEntry(model, t, docs, Entry(ekFile, "/docs", "index.html"));
        AddChildEntry(model, t, docs, Entry(ekFile, "/docs", "zeta.html"));
        return docs;
    }
};

} // namespace

TEST_F(TreeFixture, TreeOrderWalksParentChildrenThenSiblings)
{
    SiteNode *docs = BuildDocs();
    AddChildEntry(model, model.localTree, nullptr, Entry(ekFile, "", "top.txt"));
    std::vector<std::string> order, back;
    for (SiteNode *n = model.localTree.First(); n; n = model.localTree.Next(n))
        order.push_back(n->detail.name);
    for (SiteNode *n = model.localTree.Last(); n; n = model.localTree.Previous(n))
        back.push_back(n->detail.name);
    EXPECT_EQ(order, (std::vector<std::string>{"docs", "a", "b", "index.html", "zeta.html", "top.txt"}));
    EXPECT_EQ(std::vector<std::string>(back.rbegin(), back.rend()), order);
    EXPECT_EQ(model.localTree.Count(), 6);
    EXPECT_EQ(model.localTree.Depth(docs->Child(2)), 1);
    EXPECT_EQ(docs->Child(2)->Row(), 2);
    EXPECT_EQ(docs->Child(2)->Parent(), docs);
    EXPECT_EQ(docs->Parent(), nullptr);
}

TEST_F(TreeFixture, AddChildEntryResetsWorkFieldsAndSetsKindIcon)
{
    TDetail d = Entry(ekFile, "", "a.txt", 5);
    d.visited = 1;
    d.action = actDeleteFile;
    d.compareIcon = iconDelete;
    SiteNode *n = AddChildEntry(model, model.localTree, nullptr, d);
    EXPECT_EQ(n->detail.visited, 0);
    EXPECT_EQ(n->detail.action, actUnset);
    EXPECT_EQ(n->icon, iconFile);
    EXPECT_EQ(n->detail.compareIcon, iconFile);
    EXPECT_EQ(n->detail.size, 5);
}

TEST_F(TreeFixture, AddEntryByPathPlacesFileAfterDirectoriesInNameOrder)
{
    SiteNode *docs = BuildDocs();
    AddEntryByPath(model, model.localTree, Entry(ekFile, "/docs", "new.html"));
    EXPECT_EQ(Names(docs), (std::vector<std::string>{"a", "b", "index.html", "new.html", "zeta.html"}));
    AddEntryByPath(model, model.localTree, Entry(ekDirectory, "/docs", "c"));
    EXPECT_EQ(Names(docs), (std::vector<std::string>{"a", "b", "c", "index.html", "new.html", "zeta.html"}));
    AddEntryByPath(model, model.localTree, Entry(ekFile, "/docs", "zz.html"));
    EXPECT_EQ(Names(docs).back(), "zz.html");
}

TEST_F(TreeFixture, AddEntryByPathUpdatesChildlessNodeInPlace)
{
    SiteNode *docs = BuildDocs();
    SiteNode *index = docs->Child(2);
    index->detail.action = actRefresh;
    index->icon = iconNewer;
    index->detail.precision = tpMinute; // as a listing gave it
    TDetail update = Entry(ekFile, "/DOCS", "INDEX.html", 99);
    update.modified = 1234.5;
    update.precision = tpSecond; // an uploaded file's copy: its time is known to the second
    SiteNode *n = AddEntryByPath(model, model.localTree, update);
    EXPECT_EQ(n, index);
    EXPECT_EQ(model.localTree.Count(), 5);
    EXPECT_EQ(n->detail.size, 99);
    EXPECT_EQ(n->detail.modified, 1234.5);
    EXPECT_EQ(n->detail.precision, tpSecond);
    EXPECT_EQ(n->icon, iconFile);
    EXPECT_EQ(n->detail.action, actRefresh); // the marks stay as they were
    EXPECT_EQ(n->detail.name, "index.html");
}

// An entry is filed under its own directory, never in the deepest one the tree has: the missing
// directories are made, as not listed (their other contents are unknown).
TEST_F(TreeFixture, AddEntryByPathMakesTheDirectoriesItLacks)
{
    BuildDocs();
    bool made = false;
    SiteNode *b = AddEntryByPath(model, model.localTree, Entry(ekFile, "/a", "b"), &made);
    EXPECT_TRUE(made);
    EXPECT_EQ(b->detail.Path(), "/a/b");
    ASSERT_NE(b->Parent(), nullptr);
    EXPECT_EQ(b->Parent()->detail.Path(), "/a");
    EXPECT_TRUE(b->Parent()->detail.notListed);
    EXPECT_EQ(model.localTree.TopCount(), 2);
    SiteNode *deep = AddEntryByPath(model, model.localTree, Entry(ekFile, "/docs/missing", "x.txt"), &made);
    EXPECT_TRUE(made);
    EXPECT_EQ(deep->Parent()->detail.Path(), "/docs/missing");
    EXPECT_EQ(deep->Parent()->Parent()->detail.name, "docs");
    AddEntryByPath(model, model.localTree, Entry(ekFile, "/docs/missing", "y.txt"), &made);
    EXPECT_FALSE(made);
}

TEST_F(TreeFixture, ExpandTreeOptionDecidesVisibility)
{
    options.expandTree = false;
    SiteNode *docs = BuildDocs();
    EXPECT_FALSE(docs->expanded);
    EXPECT_EQ(view.makeVisibleCalls, 0);
    options.expandTree = true;
    AddEntryByPath(model, model.localTree, Entry(ekFile, "/docs", "new.html"));
    EXPECT_TRUE(docs->expanded);
    EXPECT_GT(view.makeVisibleCalls, 0);
}

TEST_F(TreeFixture, ClearTreeAnnouncesOnlyLargeTrees)
{
    BuildDocs();
    ClearTree(model, model.localTree);
    EXPECT_TRUE(view.logLines.empty());
    for (int i = 0; i < 501; ++i)
        AddChildEntry(model, model.remoteTree, nullptr, Entry(ekFile, "", "f" + std::to_string(i)));
    ClearTree(model, model.remoteTree);
    EXPECT_EQ(model.remoteTree.Count(), 0);
    ASSERT_EQ(view.logLines.size(), 2u);
    EXPECT_EQ(view.logLines[0], "Please wait. Fernhop is clearing the FTP tree list from memory...");
    EXPECT_EQ(view.logLines[1], "...list cleared.");
}

TEST_F(TreeFixture, RemoveDropsWholeSubtreeAndRenumbersRows)
{
    SiteNode *docs = BuildDocs();
    SiteNode *zeta = docs->Child(3);
    model.localTree.Remove(docs->Child(1));
    EXPECT_EQ(model.localTree.Count(), 4);
    EXPECT_EQ(zeta->Row(), 2);
    model.localTree.Remove(docs);
    EXPECT_EQ(model.localTree.Count(), 0);
    EXPECT_EQ(model.localTree.First(), nullptr);
}
