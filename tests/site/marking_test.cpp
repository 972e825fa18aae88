#include "support/RecordingView.h"
#include "site/Compare.h"
#include "site/Marking.h"

#include <gtest/gtest.h>

namespace {

class MarkingTest : public ::testing::Test {
protected:
    Options options;
    RecordingView view;
    SiteModel model{options, view};
    FixedSite site;

    void SetUp() override { model.SetSite(&site); }

    SiteNode *Add(SiteTree &tree, SiteNode *parent, TEntryKind kind, const std::string &name)
    {
        TDetail d;
        d.kind = kind;
        d.name = name;
        d.directory = parent ? parent->detail.Path() : "";
        d.modified = EncodeDate(2020, 1, 1);
        SiteNode *node = tree.Append(parent, d);
        node->icon = node->detail.compareIcon = kind == ekDirectory ? iconDir : iconFile;
        return node;
    }
    // remote: /dir with 3 files, then /after; local: /dir with the same 3 files.
    SiteNode *DirectoryOfThree(SiteTree &tree)
    {
        SiteNode *dir = Add(tree, nullptr, ekDirectory, "dir");
        for (const char *name : {"a", "b", "c"})
            Add(tree, dir, ekFile, name);
        return dir;
    }
};

} // namespace

TEST_F(MarkingTest, DeleteAndRestoreOfADirectoryOfThreeFilesCountFour)
{
    DirectoryOfThree(model.localTree);
    SiteNode *dir = DirectoryOfThree(model.remoteTree);
    SiteNode *after = Add(model.remoteTree, nullptr, ekFile, "after");
    Add(model.localTree, nullptr, ekFile, "after");
    ASSERT_TRUE(analyseButtonClick(model));

    Delete2Click(model, dir);
    EXPECT_EQ(model.counters.deleteTotal, 4);
    EXPECT_EQ(model.counters.deleteRemain, 4);
    EXPECT_EQ(view.LastStatus(), "Compare Done - [4 delete , 0 create, 0 transfer]");
    EXPECT_EQ(dir->detail.action, actRemoveDir);
    EXPECT_EQ(dir->Child(2)->detail.action, actDeleteFile);
    EXPECT_EQ(dir->Child(2)->icon, iconDelete);
    EXPECT_EQ(after->detail.action, actNone) << "marking stays inside the subtree";

    Delete2Click(model, dir); // already marked: nothing more to count
    EXPECT_EQ(model.counters.deleteTotal, 4);

    Restore1Click(model, 2, dir);
    EXPECT_EQ(model.counters.deleteTotal, 0);
    EXPECT_EQ(model.counters.deleteRemain, 0);
    EXPECT_EQ(dir->Child(0)->detail.action, actNone);
    EXPECT_EQ(dir->Child(0)->icon, iconSame);
    EXPECT_EQ(view.LastStatus(), "Compare Done - [0 delete , 0 create, 0 transfer]");
}

TEST_F(MarkingTest, IgnoreThenRestoreOfACompareDeletionLeavesTheCounters)
{
    SiteNode *extra = Add(model.remoteTree, nullptr, ekFile, "extra");
    ASSERT_TRUE(analyseButtonClick(model));
    ASSERT_EQ(model.counters.deleteTotal, 1);

    Ignore1Click(model, 2, extra);
    EXPECT_EQ(extra->detail.action, actNone);
    EXPECT_EQ(extra->icon, iconFileIgnored);
    EXPECT_EQ(model.counters.deleteTotal, 1);

    Restore1Click(model, 2, extra);
    EXPECT_EQ(extra->detail.action, actDeleteFile);
    EXPECT_EQ(extra->icon, iconDelete);
    EXPECT_EQ(model.counters.deleteTotal, 1);
    EXPECT_EQ(model.counters.deleteRemain, 1);
}

TEST_F(MarkingTest, TransferMarksTheSubtreeWithoutTouchingCounters)
{
    SiteNode *dir = DirectoryOfThree(model.localTree);
    SiteNode *remoteDir = DirectoryOfThree(model.remoteTree);
    Upload1Click(model, dir);
    EXPECT_EQ(dir->detail.action, actCreateDir);
    EXPECT_EQ(dir->icon, iconCreateDir);
    EXPECT_EQ(dir->Child(1)->detail.action, actNewFile);
    EXPECT_EQ(dir->Child(1)->icon, iconNewFile);
    Download1Click(model, remoteDir->Child(0));
    EXPECT_EQ(remoteDir->Child(0)->detail.action, actNewFile);
    EXPECT_EQ(remoteDir->Child(1)->detail.action, actUnset);
    EXPECT_EQ(model.counters.transferTotal, 0);

    // Restore before any compare goes back to the insertion state.
    Restore1Click(model, 1, dir);
    EXPECT_EQ(dir->detail.action, actUnset);
    EXPECT_EQ(dir->icon, iconDir);
}

TEST_F(MarkingTest, CommandsWithoutSelectionOnlyShowTheSummary)
{
    model.counters.deleteTotal = 2;
    Ignore1Click(model, 1, nullptr);
    Upload1Click(model, nullptr);
    EXPECT_TRUE(view.statuses.empty());
    Restore1Click(model, 1, nullptr);
    Delete2Click(model, nullptr);
    EXPECT_EQ(view.statuses, std::vector<std::string>(2, "Compare Done - [2 delete , 0 create, 0 transfer]"));
}

