#include "support/RecordingView.h"
#include "site/IgnoreLists.h"
#include "site/NameFilters.h"
#include "site/SiteTree.h"

#include <gtest/gtest.h>

namespace {

bool Ignored(const IgnoreLists &lists, const std::string &dir, const std::string &name, TEntryKind kind = ekFile)
{
    return IgnoreTest(lists, dir, name, false, nullptr, nullptr, kind);
}

TDetail Entry(TEntryKind kind, const std::string &dir, const std::string &name)
{
    TDetail d;
    d.kind = kind;
    d.directory = dir;
    d.name = name;
    return d;
}

} // namespace

TEST(IgnoreTest, NamesItemCoversItsSubtreeOnly)
{
    IgnoreLists lists;
    lists.names.Add("/Images");
    EXPECT_TRUE(Ignored(lists, "", "images", ekDirectory));
    EXPECT_TRUE(Ignored(lists, "/IMAGES", "logo.gif"));
    EXPECT_TRUE(Ignored(lists, "/images/old", "a.gif"));
    EXPECT_FALSE(Ignored(lists, "", "images2", ekDirectory));
    EXPECT_FALSE(Ignored(lists, "/old", "images", ekDirectory));
}

// What the local scan left out is kept out of the compare on both sides, with everything below it,
// though the user's lists are empty.
TEST(IgnoreTest, PathsSkippedByTheLocalScanCoverTheirSubtree)
{
    IgnoreLists lists;
    lists.localSkipped.push_back("/docs/external");
    EXPECT_TRUE(Ignored(lists, "/docs", "external", ekDirectory));
    EXPECT_TRUE(Ignored(lists, "/DOCS/External", "page.html"));
    EXPECT_TRUE(Ignored(lists, "/docs/external/deep", "a.gif"));
    EXPECT_FALSE(Ignored(lists, "/docs", "external2"));
    EXPECT_FALSE(Ignored(lists, "", "external", ekDirectory));
}

TEST(IgnoreTest, LeadingTextMatchesNamesAndDirectoriesAtAnyDepth)
{
    IgnoreLists lists;
    lists.lead.Add("_vti");
    EXPECT_TRUE(Ignored(lists, "", "_vti_inf.html"));
    EXPECT_TRUE(Ignored(lists, "", "_vti_cnf", ekDirectory));
    EXPECT_TRUE(Ignored(lists, "/_vti_cnf", "x.html"));
    EXPECT_TRUE(Ignored(lists, "/a/b/_vti_cnf/c", "x.html"));
    EXPECT_FALSE(Ignored(lists, "/a", "my_vti.html"));
}

TEST(IgnoreTest, EmptyLeadingTextMatchesEverything)
{
    IgnoreLists lists;
    lists.lead.Add("");
    EXPECT_TRUE(Ignored(lists, "", "anything"));
    EXPECT_TRUE(Ignored(lists, "/x", "y", ekDirectory));
}

TEST(IgnoreTest, ExtensionsApplyToFilesOnly)
{
    IgnoreLists lists;
    lists.extensions.Add(".bak");
    EXPECT_TRUE(Ignored(lists, "", "index.html.bak"));
    EXPECT_TRUE(Ignored(lists, "/x", "OLD.BAK"));
    EXPECT_FALSE(Ignored(lists, "", "x.bak", ekDirectory));
    EXPECT_FALSE(Ignored(lists, "", "bak"));
}

TEST(IgnoreTest, MarkingSetsEntryAndShownIcon)
{
    IgnoreLists lists;
    lists.extensions.Add(".bak");
    lists.lead.Add("tmp");
    SiteTree tree(1);
    SiteNode *file = tree.Append(nullptr, Entry(ekFile, "", "a.bak"));
    SiteNode *dir = tree.Append(nullptr, Entry(ekDirectory, "", "tmpdir"));
    ASSERT_TRUE(IgnoreTest(lists, "", "a.bak", true, &tree, file, ekFile));
    ASSERT_TRUE(IgnoreTest(lists, "", "tmpdir", true, &tree, dir, ekDirectory));
    EXPECT_EQ(file->icon, iconFileIgnored);
    EXPECT_EQ(file->detail.compareIcon, iconFileIgnored);
    EXPECT_EQ(file->detail.action, actNone);
    EXPECT_EQ(file->detail.visited, 1);
    EXPECT_EQ(dir->icon, iconDirIgnored);
    EXPECT_EQ(dir->detail.compareAction, actNone);
}

TEST(IgnoreLists, DropRulesAndDelete)
{
    IgnoreLists lists;
    RecordingView view;
    DropOnNames(lists, Entry(ekDirectory, "/cgi-bin", "Test"));
    DropOnNames(lists, Entry(ekDirectory, "/cgi-bin", "Test"));
    EXPECT_EQ(lists.names.Items(), (std::vector<std::string>{"/cgi-bin/Test", "/cgi-bin/Test"}));

    DropOnExtensions(lists, view, Entry(ekFile, "", "archive.tar.gz"));
    DropOnExtensions(lists, view, Entry(ekFile, "", "README"));
    DropOnExtensions(lists, view, Entry(ekDirectory, "", "x.d"));
    EXPECT_EQ(lists.extensions.Items(), std::vector<std::string>{".gz"});
    EXPECT_EQ(view.messages, (std::vector<std::string>{
                                 "The file you dropped has no extension.",
                                 "You dropped a directory. Only files with extensions can be dropped into this box."}));

    view.inputAnswers = {"_vti", "\x1b"};
    DropOnLead(lists, view, Entry(ekFile, "", "_vti_inf.html"));
    DropOnLead(lists, view, Entry(ekFile, "", "other"));
    EXPECT_EQ(lists.lead.Items(), std::vector<std::string>{"_vti"});
    EXPECT_EQ(view.prompts[0], "Ignore Leading Text: Edit the text as needed:");

    lists.lead.SetSelected(0, true);
    view.inputAnswers = {"_private"};
    EditLeadItem(lists, view);
    EXPECT_EQ(lists.lead.Items(), std::vector<std::string>{"_private"});
    EXPECT_EQ(view.prompts.back(), "Ignore Leading Text: Chk the text as needed:");

    lists.extensions.SetSelected(0, true);
    lists.names.SetSelected(0, true);
    lists.lastClicked = IgnoreListKind::Extensions;
    DeleteSelectedIgnoreItems(lists);
    EXPECT_EQ(lists.extensions.Count(), 0);
    EXPECT_EQ(lists.names.Count(), 2);
}

TEST(IgnoreLists, ItemsStaySortedWithoutCase)
{
    IgnoreList list;
    list.Add("b");
    list.Add("C");
    list.Add("a");
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"a", "b", "C"}));
}

TEST(NameFilters, CaseFiltersAndExtensionTable)
{
    Options options;
    ExtensionTable table;
    table.rows.push_back({"1", "2", ".html"});

    options.fileFilter = CaseFilter::Upper;
    EXPECT_EQ(FileNameFilter(options, table, "index.HTML"), "INDEX.html");
    table.rows[0].extCase = "1";
    options.fileFilter = CaseFilter::Lower;
    EXPECT_EQ(FileNameFilter(options, table, "Index.html"), "index.HTML");
    table.rows[0].extCase = "0";
    EXPECT_EQ(FileNameFilter(options, table, "Index.html"), "index.html");
    EXPECT_EQ(FileNameFilter(options, table, "Photo.JPG"), "photo.jpg");

    options.directoryFilter = CaseFilter::Upper;
    EXPECT_EQ(DirectoryFilter(options, "/images/Old"), "/IMAGES/OLD");
    EXPECT_EQ(ExtensionCase(ExtensionTable{}, "a.HTML", "A.html"), "A.html");
}
