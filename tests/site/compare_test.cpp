#include "support/RecordingView.h"
#include "site/Compare.h"
#include "site/Marking.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <gtest/gtest.h>

namespace {

TDateTime ThisYear(int hour, int minute)
{
    return EncodeDate(CurrentYear(), 1, 2) + EncodeTime(hour, minute);
}

TDateTime LastYear(int hour, int minute)
{
    return EncodeDate(CurrentYear() - 1, 6, 2) + EncodeTime(hour, minute);
}

class CompareTest : public ::testing::Test {
protected:
    Options options;
    RecordingView view;
    SiteModel model{options, view};
    FixedSite site;
    SiteTree &local = model.localTree;
    SiteTree &remote = model.remoteTree;

    void SetUp() override { model.SetSite(&site); }

    SiteNode *Add(SiteTree &tree, SiteNode *parent, TEntryKind kind, const std::string &name, TDateTime modified,
                  int64_t size)
    {
        TDetail d;
        d.kind = kind;
        d.name = name;
        d.directory = parent ? parent->detail.Path() : "";
        d.modified = modified;
        d.size = size;
        SiteNode *node = tree.Append(parent, d);
        node->icon = node->detail.compareIcon = kind == ekDirectory ? iconDir : iconFile;
        return node;
    }
    SiteNode *Dir(SiteTree &tree, const std::string &name, SiteNode *parent = nullptr, TDateTime modified = 0)
    {
        return Add(tree, parent, ekDirectory, name, modified, 0);
    }
    SiteNode *File(SiteTree &tree, const std::string &name, TDateTime modified = ThisYear(12, 0), int64_t size = 100,
                   SiteNode *parent = nullptr)
    {
        return Add(tree, parent, ekFile, name, modified, size);
    }
    // Upload site: server clock one hour behind the PC.
    void ServerOneHourBehind()
    {
        site.savedPcTime = EncodeDate(CurrentYear(), 3, 1) + EncodeTime(10, 0);
        site.savedServerTime = EncodeDate(CurrentYear(), 3, 1) + EncodeTime(9, 0);
    }
    bool RunCompare(bool download = false)
    {
        site.download = download;
        return analyseButtonClick(model);
    }
};

void ExpectMark(const SiteNode *node, TEntryAction action, int32_t shown, int32_t compareIcon = -2)
{
    EXPECT_EQ(node->detail.action, action) << node->detail.Path();
    EXPECT_EQ(node->detail.compareAction, action) << node->detail.Path();
    EXPECT_EQ(node->icon, shown) << node->detail.Path();
    EXPECT_EQ(node->detail.compareIcon, compareIcon == -2 ? shown : compareIcon) << node->detail.Path();
}

} // namespace

TEST_F(CompareTest, OffsetMovesRemoteTimesOfThisYearByOneHourAndAMinute)
{
    ServerOneHourBehind();
    SiteNode *same = File(local, "same.html", ThisYear(14, 0));
    SiteNode *newer = File(local, "newer.html", ThisYear(14, 2));
    SiteNode *sameRemote = File(remote, "same.html", ThisYear(13, 0));
    SiteNode *olderRemote = File(remote, "newer.html", ThisYear(13, 0));
    ASSERT_TRUE(RunCompare());
    ExpectMark(same, actNone, iconSame);
    ExpectMark(sameRemote, actNone, iconSame);
    ExpectMark(newer, actRefresh, iconUpload, iconNewer);
    ExpectMark(olderRemote, actNone, iconNewer);
    EXPECT_EQ(model.counters.transferTotal, 1);
    EXPECT_EQ(model.counters.transferRemain, 1);
}

TEST_F(CompareTest, OffsetSkipsEntriesOfOtherYears)
{
    // Server clock ahead of the PC: with the offset the remote copy would look older.
    site.savedPcTime = EncodeDate(CurrentYear(), 3, 1) + EncodeTime(9, 0);
    site.savedServerTime = EncodeDate(CurrentYear(), 3, 1) + EncodeTime(10, 0);
    SiteNode *old = File(local, "old.html", LastYear(0, 0));
    SiteNode *current = File(local, "current.html", ThisYear(0, 0));
    File(remote, "old.html", LastYear(0, 0));
    File(remote, "current.html", ThisYear(0, 0));
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(old->detail.action, actNone);
    EXPECT_EQ(current->detail.action, actRefresh);
}

TEST_F(CompareTest, DownloadSiteAddsTheOffsetToTheMasterLessAMinute)
{
    ServerOneHourBehind(); // remote 13:00 reads as 13:59 PC time
    SiteNode *kept = File(remote, "kept.html", ThisYear(13, 0));
    SiteNode *fetched = File(remote, "fetched.html", ThisYear(13, 0));
    File(local, "kept.html", ThisYear(13, 59));
    File(local, "fetched.html", ThisYear(13, 58));
    ASSERT_TRUE(RunCompare(true));
    EXPECT_EQ(kept->detail.action, actNone);
    ExpectMark(fetched, actRefresh, iconDownload, iconNewer);

    // 13:00 plus the offset is 13:59 only up to rounding noise, which must not count as a change.
    options.noDateMatch = true;
    ASSERT_TRUE(RunCompare(true));
    EXPECT_EQ(kept->detail.action, actNone);
}

TEST_F(CompareTest, OffsetIsNotUsedWhenSwitchedOffOrNotMeasured)
{
    ServerOneHourBehind();
    options.timeOffset = true;
    SiteNode *a = File(local, "a.html", ThisYear(14, 0));
    File(remote, "a.html", ThisYear(13, 0));
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(a->detail.action, actRefresh);

    options.timeOffset = false;
    site.savedServerTime = 0;
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(a->detail.action, actRefresh);
}

TEST_F(CompareTest, NoDateMatchCountsTheOneMinuteMarginAsChanged)
{
    ServerOneHourBehind();
    options.noDateMatch = true;
    SiteNode *margin = File(local, "margin.html", ThisYear(14, 0));
    SiteNode *equal = File(local, "equal.html", ThisYear(14, 1));
    SiteNode *older = File(local, "older.html", ThisYear(10, 0));
    File(remote, "margin.html", ThisYear(13, 0));
    File(remote, "equal.html", ThisYear(13, 0)); // exactly 14:01 once corrected
    File(remote, "older.html", ThisYear(13, 0));
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(margin->detail.action, actRefresh);
    EXPECT_EQ(equal->detail.action, actNone);
    EXPECT_EQ(older->detail.action, actRefresh);
}

TEST_F(CompareTest, SizeDifferenceTransfersOnlyWithFileSizeCheck)
{
    SiteNode *m = File(local, "a.html", ThisYear(12, 0), 100);
    SiteNode *p = File(remote, "a.html", ThisYear(12, 0), 101);
    ASSERT_TRUE(RunCompare());
    ExpectMark(m, actRefresh, iconUpload, iconSizeDiffers);
    ExpectMark(p, actNone, iconSizeDiffers);
    EXPECT_EQ(model.counters.transferTotal, 1);

    options.fileSizeCheck = false;
    ASSERT_TRUE(RunCompare());
    ExpectMark(m, actNone, iconSame);
    EXPECT_EQ(model.counters.transferTotal, 0);
}

TEST_F(CompareTest, DeleteRefreshMarksTheOldCopyAndCountsItAsADelete)
{
    options.deleteRefresh = true;
    SiteNode *m = File(local, "a.html", ThisYear(12, 5));
    SiteNode *p = File(remote, "a.html", ThisYear(12, 0));
    ASSERT_TRUE(RunCompare());
    ExpectMark(m, actRefresh, iconUpload, iconNewer);
    ExpectMark(p, actRefresh, iconNewer);
    EXPECT_EQ(model.counters.deleteTotal, 1);
    EXPECT_EQ(model.counters.deleteRemain, 1);
    EXPECT_EQ(model.counters.transferTotal, 1);
}

TEST_F(CompareTest, MissingAndExtraEntriesAreCreatedTransferredOrDeleted)
{
    SiteNode *both = Dir(local, "both", nullptr, ThisYear(15, 0));
    SiteNode *bothRemote = Dir(remote, "both", nullptr, ThisYear(9, 0));
    SiteNode *fresh = Dir(local, "fresh");
    SiteNode *freshFile = File(local, "a.html", ThisYear(12, 0), 100, fresh);
    SiteNode *gone = Dir(remote, "gone");
    SiteNode *goneFiles[] = {File(remote, "x", ThisYear(1, 0), 1, gone), File(remote, "y", ThisYear(1, 0), 1, gone)};
    ASSERT_TRUE(RunCompare());
    ExpectMark(both, actNone, iconDir);
    ExpectMark(bothRemote, actNone, iconDir);
    ExpectMark(fresh, actCreateDir, iconCreateDir);
    ExpectMark(freshFile, actNewFile, iconNewFile);
    ExpectMark(gone, actRemoveDir, iconDelete);
    for (SiteNode *f : goneFiles)
        ExpectMark(f, actDeleteFile, iconDelete);
    EXPECT_EQ(CompareSummary(model.counters), "Compare Done - [3 delete , 1 create, 1 transfer]");
    EXPECT_EQ(view.LastStatus(), "Compare Done - [3 delete , 1 create, 1 transfer]");
    EXPECT_EQ(view.statuses.front(), "Comparing: 3 Local and 4 Remote Files");
    EXPECT_EQ(view.keepInViewCalls, 3);

    options.fastCompare = true;
    view.keepInViewCalls = 0;
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(view.keepInViewCalls, 0);
}

TEST_F(CompareTest, IgnoredMasterEntryKeepsItsPartnerOutOfTheDeletions)
{
    model.ignore.names.Add("/Keep.html");
    SiteNode *m = File(local, "keep.html", ThisYear(14, 0));
    SiteNode *p = File(remote, "KEEP.HTML", ThisYear(9, 0));
    ASSERT_TRUE(RunCompare());
    ExpectMark(m, actNone, iconFileIgnored);
    ExpectMark(p, actNone, iconFileIgnored);
    EXPECT_EQ(CompareSummary(model.counters), "Compare Done - [0 delete , 0 create, 0 transfer]");
}

TEST_F(CompareTest, DifferentKindsUnderOneKeyFollowTheMasterKind)
{
    SiteNode *fileOverDir = File(local, "x", ThisYear(12, 0));
    SiteNode *dirUnderFile = Dir(remote, "x", nullptr, ThisYear(11, 0));
    SiteNode *dirOverFile = Dir(local, "y", nullptr, ThisYear(12, 0));
    SiteNode *inside = File(local, "z.html", ThisYear(12, 0), 100, dirOverFile);
    SiteNode *fileUnderDir = File(remote, "y", ThisYear(11, 0), 5);
    ASSERT_TRUE(RunCompare());
    ExpectMark(fileOverDir, actRefresh, iconUpload, iconNewer);
    ExpectMark(dirUnderFile, actNone, iconNewer);
    ExpectMark(dirOverFile, actNone, iconDir);
    ExpectMark(fileUnderDir, actNone, iconDir);
    ExpectMark(inside, actNewFile, iconNewFile);
}

TEST_F(CompareTest, PartnersAreFoundInAnyOrderAndTheFirstDuplicateWins)
{
    // Enough unrelated slave entries in front to push the partner past the nearby scan.
    SiteNode *m = File(local, "a.html", ThisYear(12, 0));
    for (int i = 0; i < 100; ++i)
        File(local, "f" + std::to_string(i), ThisYear(12, 0));
    for (int i = 99; i >= 0; --i)
        File(remote, "f" + std::to_string(i), ThisYear(12, 0));
    SiteNode *first = File(remote, "A.HTML", ThisYear(12, 0));
    SiteNode *second = File(remote, "a.html", ThisYear(12, 0));
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(m->detail.action, actNone);
    EXPECT_EQ(first->detail.action, actNone);
    EXPECT_EQ(second->detail.action, actDeleteFile);
    EXPECT_EQ(CompareSummary(model.counters), "Compare Done - [1 delete , 0 create, 0 transfer]");
}

TEST_F(CompareTest, StopEndsTheWalkAndLeavesTheRemainingCountersAlone)
{
    for (int i = 0; i < 30; ++i)
        File(local, "f" + std::to_string(i));
    SiteNode *extra = File(remote, "extra");
    model.counters.deleteRemain = model.counters.transferRemain = 7;
    // Stop is pressed while the compare yields at its first entry.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { model.stopLoops = true; }, Qt::QueuedConnection);
    EXPECT_FALSE(RunCompare());
    EXPECT_EQ(local.First()->detail.action, actNewFile);
    EXPECT_EQ(local.Next(local.First())->detail.action, actUnset);
    EXPECT_EQ(extra->detail.action, actUnset);
    EXPECT_EQ(view.LastStatus(), "Compare stopped");
    EXPECT_FALSE(view.Enabled(Control::updateBtn));
    EXPECT_EQ(model.counters.transferRemain, 7);
    EXPECT_EQ(model.counters.deleteRemain, 7);
}

TEST_F(CompareTest, EmptyTreesCompleteWithZeroCounts)
{
    options.sound.on[3] = true;
    EXPECT_TRUE(RunCompare());
    const std::string summary = "Compare Done - [0 delete , 0 create, 0 transfer]";
    EXPECT_EQ(view.LastStatus(), summary);
    ASSERT_GE(view.logLines.size(), 2u);
    EXPECT_EQ(view.logLines[view.logLines.size() - 2], " ");
    EXPECT_EQ(view.logLines.back(), summary);
    EXPECT_TRUE(view.Enabled(Control::updateBtn));
    EXPECT_FALSE(view.progressVisible);
    EXPECT_EQ(view.sounds, std::vector<SoundEvent>{SoundEvent::Compare});
}

TEST_F(CompareTest, WakeupSendsAKeepAliveEvery501EntriesWhileConnected)
{
    for (int i = 0; i < 1003; ++i)
        File(local, "f" + std::to_string(i));
    options.wakeup = true;
    int keepAlives = 0;
    bool connected = false;
    model.isConnected = [&] { return connected; };
    model.keepAliveIfConnected = [&] { ++keepAlives; };
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(keepAlives, 0);

    connected = true;
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(keepAlives, 2);
    EXPECT_EQ(std::count(view.logLines.begin(), view.logLines.end(), "FERNHOP: stopping server timeout"), 2);
}

// A directory whose listing failed must not turn into deleting what lies below its partner.
TEST_F(CompareTest, UnlistedRemoteDirectoryProtectsLocalFilesOnADownloadSite)
{
    SiteNode *docs = Dir(remote, "docs");
    docs->detail.notListed = true;
    SiteNode *localDocs = Dir(local, "docs");
    SiteNode *sub = Dir(local, "sub", localDocs);
    SiteNode *kept[] = {sub, File(local, "a.html", ThisYear(1, 0), 1, localDocs),
                        File(local, "b.html", ThisYear(1, 0), 1, sub)};
    SiteNode *stray = File(local, "stray.html");
    ASSERT_TRUE(RunCompare(true));
    for (SiteNode *node : kept)
        EXPECT_EQ(node->detail.action, actNone) << node->detail.Path();
    EXPECT_EQ(kept[1]->icon, iconFile);
    EXPECT_EQ(stray->detail.action, actDeleteFile);
    EXPECT_EQ(model.counters.deleteTotal, 1);
    EXPECT_EQ(std::count(view.logLines.begin(), view.logLines.end(),
                         "FERNHOP: /docs could not be listed; nothing in it is marked for deletion"),
              1);
}

TEST_F(CompareTest, UnlistedRemoteDirectoryIsNeitherRemovedNorEmptiedOnAnUploadSite)
{
    SiteNode *docs = Dir(local, "docs");
    SiteNode *upload = File(local, "new.html", ThisYear(1, 0), 1, docs);
    SiteNode *remoteDocs = Dir(remote, "docs");
    remoteDocs->detail.notListed = true;
    SiteNode *partial = File(remote, "old.html", ThisYear(1, 0), 1, remoteDocs);
    SiteNode *orphan = Dir(remote, "orphan");
    orphan->detail.notListed = true;
    SiteNode *orphanFile = File(remote, "x", ThisYear(1, 0), 1, orphan);
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(upload->detail.action, actNewFile);
    EXPECT_EQ(partial->detail.action, actNone);
    EXPECT_EQ(orphan->detail.action, actNone);
    EXPECT_EQ(orphanFile->detail.action, actNone);
    EXPECT_EQ(CompareSummary(model.counters), "Compare Done - [0 delete , 0 create, 1 transfer]");
}
