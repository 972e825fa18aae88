#include "ui/EntryDrag.h"
#include "ui/SiteTreeModel.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QTreeView>
#include <gtest/gtest.h>

namespace {

// Collects the model tester's complaints so a failed check fails the test instead of aborting.
class TesterComplaints {
public:
    TesterComplaints() { previous_ = qInstallMessageHandler(&Handler); Active() = this; }
    ~TesterComplaints() { qInstallMessageHandler(previous_); Active() = nullptr; }
    QStringList messages;

private:
    static TesterComplaints *&Active() { static TesterComplaints *active = nullptr; return active; }
    static void Handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (type != QtDebugMsg && Active() && context.category && QByteArray(context.category) == "qt.modeltest")
            Active()->messages << text;
    }
    QtMessageHandler previous_ = nullptr;
};

TDetail Entry(TEntryKind kind, const std::string &directory, const std::string &name)
{
    TDetail e;
    e.kind = kind;
    e.directory = directory;
    e.name = name;
    return e;
}

// 100 directories of 99 files: 10,000 nodes.
void Fill(SiteTree &tree)
{
    for (int d = 0; d < 100; ++d) {
        const std::string dir = "dir" + std::to_string(d);
        SiteNode *node = tree.Append(nullptr, Entry(ekDirectory, "", dir));
        node->icon = iconDir;
        for (int f = 0; f < 99; ++f)
            tree.Append(node, Entry(ekFile, "/" + dir, "file" + std::to_string(f)))->icon = iconFile;
    }
}

} // namespace

TEST(SiteTreeModel, FollowsInsertsRemovalsChangesAndClearsOfALargeTree)
{
    SiteTree tree(2);
    Fill(tree);
    ASSERT_EQ(tree.Count(), 10000);
    SiteTreeModel model(tree);
    QTreeView view; // a live view keeps persistent indexes that every change must move correctly
    view.setModel(&model);
    view.expandAll();
    TesterComplaints complaints;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);

    EXPECT_EQ(model.rowCount(), 100);
    QModelIndex dir7 = model.index(7, 0);
    EXPECT_EQ(model.rowCount(dir7), 99);
    EXPECT_EQ(model.data(model.index(3, 0, dir7)).toString(), "file3");
    EXPECT_EQ(model.parent(model.index(3, 0, dir7)), dir7);

    // Inserts at the front, middle and end, at both levels.
    SiteNode *d7 = SiteTreeModel::NodeOf(dir7);
    tree.Insert(d7, 0, Entry(ekFile, "/dir7", "first"));
    tree.Insert(d7, 50, Entry(ekFile, "/dir7", "middle"));
    tree.Append(d7, Entry(ekFile, "/dir7", "last"));
    tree.Insert(nullptr, 0, Entry(ekDirectory, "", "atop"));
    SiteNode *nested = tree.Append(tree.Top(0), Entry(ekDirectory, "/atop", "nested"));
    tree.Append(nested, Entry(ekFile, "/atop/nested", "deep"));
    EXPECT_EQ(model.rowCount(model.IndexOf(d7)), 102);
    EXPECT_EQ(model.data(model.index(50, 0, model.IndexOf(d7))).toString(), "middle");
    EXPECT_EQ(model.IndexOf(d7).row(), 8);

    // A row of the view's current item moves with an insert above it.
    QPersistentModelIndex watched = model.index(60, 0, model.IndexOf(d7));
    const QString watchedName = watched.data().toString();
    tree.Insert(d7, 10, Entry(ekFile, "/dir7", "above"));
    EXPECT_EQ(watched.data().toString(), watchedName);
    EXPECT_EQ(watched.row(), 61);

    // Icon and expanded-state changes reach the view as data changes of that row.
    int changes = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&](const QModelIndex &a, const QModelIndex &b) {
        EXPECT_EQ(a, b);
        ++changes;
    });
    SiteNode *file = d7->Child(5);
    file->icon = iconUpload;
    tree.NotifyChanged(file);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(model.IndexOf(file).data(SiteTreeModel::IconNumberRole).toInt(), int(iconUpload));

    // Removals: a file, a whole directory with its children, a top-level node.
    tree.Remove(d7->Child(0));
    tree.Remove(tree.Top(50));
    tree.Remove(tree.Top(0));
    EXPECT_EQ(model.rowCount(), 99);
    EXPECT_EQ(watched.data().toString(), watchedName);

    // A watched index inside a removed directory becomes invalid, never dangling.
    QPersistentModelIndex gone = model.index(3, 0, model.index(20, 0));
    tree.Remove(tree.Top(20));
    EXPECT_FALSE(gone.isValid());

    tree.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(watched.isValid());

    // Filling again after a clear, with the tester and the view still attached (every change
    // makes the tester walk the whole model, so this part stays small).
    SiteNode *again = tree.Append(nullptr, Entry(ekDirectory, "", "again"));
    for (int f = 0; f < 20; ++f)
        tree.Append(again, Entry(ekFile, "/again", "f" + std::to_string(f)));
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 20);

    EXPECT_TRUE(complaints.messages.isEmpty()) << complaints.messages.join('\n').toStdString();
}

TEST(SiteTreeModel, DragCarriesTheEntriesOfItsTree)
{
    SiteTree tree(1);
    SiteNode *dir = tree.Append(nullptr, Entry(ekDirectory, "", "images"));
    tree.Append(dir, Entry(ekFile, "/images", "logo.gif"));
    SiteTreeModel model(tree);

    std::unique_ptr<QMimeData> mime(model.mimeData({model.index(0, 0, model.index(0, 0))}));
    ASSERT_TRUE(mime);
    EntryDrag drag;
    ASSERT_TRUE(DecodeEntryDrag(mime.get(), drag));
    EXPECT_EQ(drag.tag, 1);
    ASSERT_EQ(drag.entries.size(), 1u);
    EXPECT_EQ(drag.entries[0].kind, ekFile);
    EXPECT_EQ(drag.entries[0].directory, "/images");
    EXPECT_EQ(drag.entries[0].name, "logo.gif");

    // Anything else is refused, including a damaged payload.
    QMimeData text;
    text.setText("/images/logo.gif");
    EXPECT_FALSE(DecodeEntryDrag(&text, drag));
    QMimeData damaged;
    damaged.setData(kEntryMimeType, QByteArray("\x00\x00\x00\x01\xff", 5));
    EXPECT_FALSE(DecodeEntryDrag(&damaged, drag));
}
