#include "support/RecordingView.h"
#include "site/Compare.h"
#include "site/Marking.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTemporaryDir>
#include <cmath>
#include <fstream>
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

    void SetUp() override
    {
        model.SetSite(&site);
        model.runVerifiesTimes = true;
    }

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
    // A remote file as a listing (or an older cache file) gives it.
    SiteNode *Listed(SiteTree &tree, const std::string &name, TDateTime modified, TTimePrecision precision,
                     int64_t size = 100)
    {
        SiteNode *node = Add(tree, nullptr, ekFile, name, modified, size);
        node->detail.precision = precision;
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

TEST_F(CompareTest, OffsetBringsRemoteTimesToThePcClock)
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
    EXPECT_FALSE(newer->detail.verifyTime);
    EXPECT_EQ(model.counters.transferTotal, 1);
    EXPECT_EQ(model.counters.transferRemain, 1);
}

// An uploaded file's copy keeps the local time to the second, so an edit seconds after the upload
// shows; a listed minute cannot tell, and only the server's exact time can.
TEST_F(CompareTest, EditInTheMinuteOfTheUploadIsSentOrVerified)
{
    ServerOneHourBehind();
    const TDateTime uploaded = ThisYear(14, 15) + EncodeTime(0, 0, 4);
    const double offset = site.savedPcTime - site.savedServerTime;
    SiteNode *edited = File(local, "edited.html", uploaded + EncodeTime(0, 0, 15));
    SiteNode *kept = File(local, "kept.html", uploaded);
    File(remote, "edited.html", uploaded - offset); // the copy the run put in the remote tree
    File(remote, "kept.html", uploaded - offset);
    ASSERT_TRUE(RunCompare());
    ExpectMark(edited, actRefresh, iconUpload, iconNewer);
    EXPECT_FALSE(edited->detail.verifyTime);
    ExpectMark(kept, actNone, iconSame);

    // The same pair after a listing: the server's minute may hold the local time.
    remote.Clear();
    options.deleteRefresh = true; // the old copy must stay for the run to ask about it
    for (const char *name : {"edited.html", "kept.html"})
        Listed(remote, name, ThisYear(13, 15), tpMinute);
    ASSERT_TRUE(RunCompare());
    ExpectMark(edited, actRefresh, iconUpload, iconNewer);
    ExpectMark(kept, actRefresh, iconUpload, iconNewer);
    EXPECT_TRUE(edited->detail.verifyTime);
    EXPECT_TRUE(kept->detail.verifyTime);
    EXPECT_EQ(remote.Top(0)->detail.action, actNone);
    EXPECT_EQ(CompareSummary(model.counters), "Compare Done - [0 delete , 0 create, 2 transfer]");

    // A run that cannot ask the server: the listed minute counts as the same time, as it did.
    model.runVerifiesTimes = false;
    ASSERT_TRUE(RunCompare());
    ExpectMark(edited, actNone, iconSame);
    EXPECT_FALSE(edited->detail.verifyTime);
    model.runVerifiesTimes = true;

    // A new compare clears the flag with the mark.
    remote.Clear();
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(edited->detail.action, actNewFile);
    EXPECT_FALSE(edited->detail.verifyTime);
}

// With the offset in use a listed minute can be a minute off either way; outside that span the
// listing decides alone.
TEST_F(CompareTest, ListedMinuteIsCertainOnlyBeyondTheOffsetsUncertainty)
{
    ServerOneHourBehind(); // remote 13:00 is 14:00 on the PC
    const std::pair<TDateTime, TEntryAction> cases[] = {
        {ThisYear(13, 58) + EncodeTime(0, 0, 59), actNone}, // older than the span
        {ThisYear(14, 0), actNone},                          // the stamp a download gives
        {ThisYear(13, 59) + EncodeTime(0, 0, 30), actRefresh},
        {ThisYear(14, 1) + EncodeTime(0, 0, 59), actRefresh},
        {ThisYear(14, 2), actRefresh}, // newer than the span
    };
    for (const auto &[time, action] : cases) {
        local.Clear();
        remote.Clear();
        SiteNode *m = File(local, "a.html", time);
        Listed(remote, "a.html", ThisYear(13, 0), tpMinute);
        ASSERT_TRUE(RunCompare());
        EXPECT_EQ(m->detail.action, action) << FormatDateTime("hh:mm:ss", time);
        EXPECT_EQ(m->detail.verifyTime, time != ThisYear(14, 2) && action == actRefresh)
            << FormatDateTime("hh:mm:ss", time);
    }
}

TEST_F(CompareTest, DownloadSiteKeepsItsOwnStampAndVerifiesTheRestOfTheMinute)
{
    ServerOneHourBehind(); // remote 13:00 reads as 14:00 PC time
    SiteNode *kept = Listed(remote, "kept.html", ThisYear(13, 0), tpMinute);
    SiteNode *fetched = Listed(remote, "fetched.html", ThisYear(13, 0), tpMinute);
    SiteNode *unsure = Listed(remote, "unsure.html", ThisYear(13, 0), tpMinute);
    File(local, "kept.html", ThisYear(14, 0));
    File(local, "fetched.html", ThisYear(13, 58) + EncodeTime(0, 0, 30));
    File(local, "unsure.html", ThisYear(14, 0) + EncodeTime(0, 0, 20));
    ASSERT_TRUE(RunCompare(true));
    EXPECT_EQ(kept->detail.action, actNone);
    ExpectMark(fetched, actRefresh, iconDownload, iconNewer);
    EXPECT_FALSE(fetched->detail.verifyTime);
    EXPECT_EQ(unsure->detail.action, actRefresh);
    EXPECT_TRUE(unsure->detail.verifyTime);

    options.noDateMatch = true;
    ASSERT_TRUE(RunCompare(true));
    EXPECT_EQ(kept->detail.action, actNone);
}

// A listing gives older files a date only, in the server's clock. With the server 5.5 hours off,
// a file uploaded the evening it was edited is listed under the next day (or the same day), and
// the local scan no longer cuts the time to midnight: neither may look changed on any run.
TEST_F(CompareTest, ListedDateComparesByDayInBothDirections)
{
    const TDateTime day = EncodeDate(CurrentYear() - 2, 6, 1);
    for (const double hours : {5.5, -5.5}) {
        for (const bool download : {false, true}) {
            local.Clear();
            remote.Clear();
            site.savedPcTime = EncodeDate(CurrentYear(), 3, 1) + EncodeTime(12, 0);
            site.savedServerTime = site.savedPcTime - hours / 24;
            const TDateTime edited = day + EncodeTime(22, 0);
            const TDateTime upload = edited + EncodeTime(0, 30) - hours / 24; // the server's clock
            SiteNode *same = File(local, "same.html", edited);
            SiteNode *later = File(local, "later.html", day + 3);
            SiteNode *listedSame = Listed(remote, "same.html", std::floor(upload), tpDay);
            SiteNode *listedLater = Listed(remote, "later.html", std::floor(upload), tpDay);
            ASSERT_TRUE(RunCompare(download));
            const std::string what = std::to_string(hours) + (download ? " download" : " upload");
            EXPECT_EQ((download ? listedSame : same)->detail.action, actNone) << what;
            EXPECT_FALSE((download ? listedSame : same)->detail.verifyTime) << what;
            EXPECT_EQ(later->detail.action, download ? actNone : actRefresh) << what;
            EXPECT_EQ(listedLater->detail.action, actNone) << what;
        }
    }
}

// Cache files of older versions hold upload copies cut to the minute, and last year's cut to
// their date: the same file must not be sent again after the upgrade.
TEST_F(CompareTest, TimesFromOlderCacheFilesKeepTheirOldMeaning)
{
    ServerOneHourBehind();
    const double offset = site.savedPcTime - site.savedServerTime;
    SiteNode *recent = File(local, "recent.html", ThisYear(10, 15) + EncodeTime(0, 0, 40));
    SiteNode *old = File(local, "old.html", LastYear(16, 20) + EncodeTime(0, 0, 5));
    SiteNode *edited = File(local, "edited.html", ThisYear(10, 30));
    Listed(remote, "recent.html", ThisYear(10, 15) - offset, tpMinuteCut);
    Listed(remote, "old.html", LastYear(0, 0) - offset, tpMinuteCut);
    Listed(remote, "edited.html", ThisYear(10, 15) - offset, tpMinuteCut);
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(recent->detail.action, actNone);
    EXPECT_EQ(old->detail.action, actNone);
    EXPECT_EQ(edited->detail.action, actRefresh);
    EXPECT_FALSE(edited->detail.verifyTime);
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

    // An offset of days is a misread date, not a clock: it is not applied.
    site.savedServerTime = site.savedPcTime - 3;
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(a->detail.action, actRefresh);
}

TEST_F(CompareTest, NoDateMatchCountsAnyCertainDifferenceAsChanged)
{
    ServerOneHourBehind();
    options.noDateMatch = true;
    SiteNode *equal = File(local, "equal.html", ThisYear(14, 0));
    SiteNode *older = File(local, "older.html", ThisYear(10, 0));
    SiteNode *olderBySeconds = File(local, "seconds.html", ThisYear(13, 59) + EncodeTime(0, 0, 55));
    SiteNode *listedOlder = File(local, "listed.html", ThisYear(13, 50));
    File(remote, "equal.html", ThisYear(13, 0)); // exactly 14:00 once corrected
    File(remote, "older.html", ThisYear(13, 0));
    File(remote, "seconds.html", ThisYear(13, 0));
    Listed(remote, "listed.html", ThisYear(13, 0), tpMinute);
    ASSERT_TRUE(RunCompare());
    EXPECT_EQ(equal->detail.action, actNone);
    EXPECT_EQ(older->detail.action, actRefresh);
    EXPECT_EQ(olderBySeconds->detail.action, actRefresh);
    EXPECT_EQ(listedOlder->detail.action, actRefresh);
    EXPECT_FALSE(listedOlder->detail.verifyTime);
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

// A text file sent in ASCII mode has its line ends converted on the way, so its listed size is not
// its local size; without the line ends counted it would be sent again on every listed run.
TEST_F(CompareTest, LineEndConversionOfAsciiFilesIsNoSizeDifference)
{
    QTemporaryDir top;
    ASSERT_TRUE(top.isValid());
    model.localTopDirectory = top.path().toStdString();
    model.extensions.rows.push_back({"0", "0", ".txt"});
    model.extensions.rows.push_back({"1", "0", ".dat"});
    auto write = [&](const std::string &name, const std::string &bytes) {
        std::ofstream(model.localTopDirectory + "/" + name, std::ios::binary) << bytes;
        return int64_t(bytes.size());
    };
    const int64_t crlf = write("crlf.txt", "line one\r\nxx\r\n");   // 14 bytes, 12 on a UNIX server
    const int64_t lf = write("lf.txt", "a\nb\n");                 // 4 bytes, 6 with CR LF
    const int64_t other = write("other.txt", "line one\r\nxx\r\n");
    const int64_t binary = write("crlf.dat", "line one\r\nxx\r\n"); // binary: sizes must agree
    for (bool download : {false, true}) {
        local.Clear();
        remote.Clear();
        SiteTree &master = download ? remote : local;
        SiteTree &slave = download ? local : remote;
        const TDateTime t = ThisYear(12, 0);
        const std::pair<const char *, std::pair<int64_t, int64_t>> pairs[] = {
            {"crlf.dat", {binary, binary - 2}},
            {"crlf.txt", {crlf, crlf - 2}},
            {"lf.txt", {lf, lf + 2}},
            {"other.txt", {other, other - 1}},
        };
        for (const auto &[name, sizes] : pairs) {
            File(local, name, t, sizes.first);
            File(remote, name, t, sizes.second);
        }
        ASSERT_TRUE(RunCompare(download));
        const std::vector<TEntryAction> expected = {actRefresh, actNone, actNone, actRefresh};
        int i = 0;
        for (SiteNode *m = master.First(); m; m = master.Next(m), ++i)
            EXPECT_EQ(m->detail.action, expected[size_t(i)]) << m->detail.name << (download ? " download" : " upload");
        EXPECT_EQ(slave.Count(), 4);
    }
}

// A server that hides dot names from its listings says nothing about them by leaving them out:
// a download site keeps its local .htaccess and whatever lies in a dot directory.
TEST_F(CompareTest, HiddenNamesAreNotDeletedWhenTheServerCannotListThem)
{
    SiteNode *htaccess = File(local, ".htaccess");
    SiteNode *wellKnown = Dir(local, ".well-known");
    SiteNode *inside = File(local, "key.txt", ThisYear(1, 0), 1, wellKnown);
    SiteNode *stray = File(local, "stray.html");
    model.remoteHiddenUnlisted = true;
    ASSERT_TRUE(RunCompare(true));
    for (SiteNode *node : {htaccess, wellKnown, inside})
        EXPECT_EQ(node->detail.action, actNone) << node->detail.Path();
    EXPECT_EQ(htaccess->icon, iconFile);
    EXPECT_EQ(stray->detail.action, actDeleteFile);
    EXPECT_EQ(model.counters.deleteTotal, 1);
    EXPECT_EQ(std::count(view.logLines.begin(), view.logLines.end(),
                         "FERNHOP: the server does not list hidden names; local names starting with \".\" are not "
                         "marked for deletion"),
              1);

    // An upload site sends a dot file the listing could not show: that is safe.
    ASSERT_TRUE(RunCompare(false));
    EXPECT_EQ(htaccess->detail.action, actNewFile);

    // A server that lists them: their absence counts.
    model.remoteHiddenUnlisted = false;
    ASSERT_TRUE(RunCompare(true));
    EXPECT_EQ(htaccess->detail.action, actDeleteFile);
    EXPECT_EQ(inside->detail.action, actDeleteFile);
}
