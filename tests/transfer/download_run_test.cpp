// The download run against the scripted server: local deletions and creations on disk, the
// fetched files replacing their old copies only when complete, and their date stamps.
#include "transfer/SequencerFixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <sys/stat.h>

namespace {
class DownloadRunTest : public SequencerFixture {
protected:
    DownloadRunTest()
    {
        site.download = true;
        ws.localTopDirectory = top.path().toStdString();
    }
    std::string Local(const std::string &relative) const { return ws.localTopDirectory + relative; }
    bool Exists(const std::string &relative) const { return QFile::exists(QString::fromStdString(Local(relative))); }
    // Every name in the local top directory, hidden ones too: no temporary file is left behind.
    QStringList TopNames() const
    {
        return QDir(top.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    time_t ModifiedTime(const std::string &relative) const
    {
        struct stat st{};
        ::stat(Local(relative).c_str(), &st);
        return st.st_mtime;
    }

    int CountRetr() const
    {
        const Lines all = Commands();
        return int(std::count_if(all.begin(), all.end(), [](const std::string &c) { return c.rfind("RETR ", 0) == 0; }));
    }

    QTemporaryDir top;
};
} // namespace

TEST_F(DownloadRunTest, LocalDeletionPromptNoKeepsCancelEndsTheRun)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^RETR ", "action": "send", "data": "x"})"));
    options.confirmDelete = true;
    view.askAnswers = {PromptAnswer::No, PromptAnswer::Yes, PromptAnswer::Cancel};
    for (const char *name : {"a.txt", "b.txt", "c.txt"}) {
        WriteFile(Local(std::string("/") + name), name);
        Mark(Add(ws.localTree, nullptr, ekFile, name, 5), actDeleteFile);
    }
    Mark(Add(ws.remoteTree, nullptr, ekFile, "new.txt", 1), actNewFile);
    SetCounters(3, 0, 1);

    ASSERT_TRUE(Transfer());
    EXPECT_TRUE(StatusShown("Deleting 3 Old Files and Directories"));
    EXPECT_EQ(view.prompts, (Lines{"Confirm deletion: Really delete: /c.txt", "Confirm deletion: Really delete: /b.txt",
                                   "Confirm deletion: Really delete: /a.txt"}));
    EXPECT_TRUE(Exists("/a.txt"));
    EXPECT_FALSE(Exists("/b.txt"));
    EXPECT_TRUE(Exists("/c.txt"));
    EXPECT_EQ(Shape(ws.localTree), (Lines{"F /a.txt", "F /c.txt"}));
    EXPECT_EQ(Commands(), Lines{}); // Cancel: nothing fetched
    EXPECT_EQ(view.LastStatus(), "Transfer canceled");
}

TEST_F(DownloadRunTest, DeleteOffShowsTheCountButDeletesNothing)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(""));
    options.delete_ = false;
    ASSERT_TRUE(QDir(top.path()).mkdir("old"));
    WriteFile(Local("/old/a.txt"), "a");
    SiteNode *old = Add(ws.localTree, nullptr, ekDirectory, "old");
    Mark(old, actRemoveDir);
    Mark(Add(ws.localTree, old, ekFile, "a.txt", 1), actDeleteFile);
    SetCounters(2, 0, 0);

    ASSERT_TRUE(Transfer());
    EXPECT_TRUE(StatusShown("Deleting 2 Old Files and Directories"));
    EXPECT_TRUE(Exists("/old/a.txt"));
    EXPECT_EQ(view.LastStatus(), "Local Site Mirror Complete");
}

// Contents before their directory; a directory still holding a file the user kept stays too.
TEST_F(DownloadRunTest, LocalDeletionsAndCreations)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(""));
    ASSERT_TRUE(QDir(top.path()).mkpath("old/deeper"));
    WriteFile(Local("/old/deeper/x.txt"), "x");
    WriteFile(Local("/old/y.txt"), "y");
    SiteNode *old = Add(ws.localTree, nullptr, ekDirectory, "old");
    SiteNode *deeper = Add(ws.localTree, old, ekDirectory, "deeper");
    Mark(old, actRemoveDir);
    Mark(deeper, actRemoveDir);
    Mark(Add(ws.localTree, deeper, ekFile, "x.txt", 1), actDeleteFile);
    Mark(Add(ws.localTree, old, ekFile, "y.txt", 1), actDeleteFile);
    SiteNode *made = Add(ws.remoteTree, nullptr, ekDirectory, "made");
    Mark(made, actCreateDir);
    Mark(Add(ws.remoteTree, made, ekDirectory, "inner"), actCreateDir);
    SetCounters(4, 2, 0);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(TopNames(), QStringList({"made"}));
    EXPECT_TRUE(QDir(top.path() + "/made/inner").exists());
    EXPECT_EQ(Shape(ws.localTree), (Lines{"D /made", "D /made/inner"}));
    EXPECT_EQ(made->icon, iconDir);
    EXPECT_EQ(view.progress.back(), 100);
    EXPECT_EQ(view.LastStatus(), "Local Site Mirror Complete");
}

// A failed fetch of a changed file keeps the user's copy; a good one replaces it, stamped with
// the server time moved by the clock offset.
TEST_F(DownloadRunTest, FetchedFilesReplaceTheirOldCopiesOnlyWhenComplete)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^RETR /www/broken.html$", "reply": "550 Gone."},
                                             {"match": "^RETR /www/page.html$", "action": "send", "data": "new page"},
                                             {"match": "^RETR ", "action": "send", "data": "other"})"));
    options.errorPrompt = true;
    options.saveUpLog = true;
    options.saveLogDir = top.path().toStdString() + "/no-such-dir";
    view.askAnswers = {PromptAnswer::Yes};
    WriteFile(Local("/broken.html"), "old broken");
    WriteFile(Local("/page.html"), "old page");
    ASSERT_EQ(::chmod(Local("/page.html").c_str(), 0640), 0);
    Add(ws.localTree, nullptr, ekFile, "broken.html", 10);
    Add(ws.localTree, nullptr, ekFile, "page.html", 8);
    site.savedServerTime = EncodeDate(2024, 5, 1) + EncodeTime(8, 0);
    site.savedPcTime = site.savedServerTime + 2.0 / 24; // the server's clock two hours behind
    const TDateTime listed = EncodeDate(2024, 5, 2) + EncodeTime(10, 15);
    Mark(Add(ws.remoteTree, nullptr, ekFile, "broken.html", 3, listed), actRefresh);
    Mark(Add(ws.remoteTree, nullptr, ekFile, "page.html", 8, listed), actRefresh);
    SetCounters(0, 0, 2);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(ReadAll(Local("/broken.html")), "old broken");
    EXPECT_EQ(ReadAll(Local("/page.html")), "new page");
    EXPECT_EQ(TopNames(), QStringList({"broken.html", "page.html"}));
    EXPECT_EQ(view.prompts, (Lines{"Could not download: broken.html: Try to continue with transfer?"}));
    EXPECT_EQ(ModifiedTime("/page.html"), LocalDateTimeToUnix(listed + 2.0 / 24));
    struct stat st{};
    ::stat(Local("/page.html").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_NEAR(Find(ws.localTree, "/page.html")->detail.modified, listed + 2.0 / 24, 1e-9);
    EXPECT_EQ(ws.counters.transferRemain, 1);
    EXPECT_EQ(std::count_if(view.logLines.begin(), view.logLines.end(),
                            [](const std::string &l) { return l.find("fernhopDownload.log") != std::string::npos; }),
              1);

    // With timeOffset on the file carries exactly the listed time.
    options.timeOffset = true;
    Mark(Find(ws.remoteTree, "/page.html"), actRefresh);
    SetCounters(0, 0, 1);
    ASSERT_TRUE(Transfer());
    EXPECT_EQ(ModifiedTime("/page.html"), LocalDateTimeToUnix(listed));
}

TEST_F(DownloadRunTest, FileGetTextOnlyWithItsOptionAndNoDoubledSlashUnderTheRoot)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^RETR ", "action": "send", "data": "body"})"));
    remoteDirectory = "/";
    options.fileGet = ".txt";
    ASSERT_TRUE(QDir(top.path()).mkdir("docs"));
    SiteNode *docs = Add(ws.remoteTree, nullptr, ekDirectory, "docs");
    Mark(Add(ws.remoteTree, docs, ekFile, "a", 4), actNewFile);
    SetCounters(0, 0, 1);
    ASSERT_TRUE(Transfer());

    options.saveExt = true;
    Mark(Find(ws.remoteTree, "/docs/a"), actNewFile);
    SetCounters(0, 0, 1);
    ASSERT_TRUE(Transfer());
    EXPECT_EQ(Commands(), (Lines{"TYPE I", "PASV", "RETR /docs/a", "PASV", "RETR /docs/a.txt"}));
    EXPECT_EQ(ReadAll(Local("/docs/a")), "body");
    EXPECT_EQ(ReadAll(Local("/docs/a.txt")), "body");
}

// A listed name that would leave the top directory or carry a line break is never fetched.
TEST_F(DownloadRunTest, UnsafeNamesFailAlone)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^RETR ", "action": "send", "data": "ok"})"));
    SiteNode *up = Add(ws.remoteTree, nullptr, ekFile, "fine.txt", 2);
    Mark(up, actNewFile);
    TDetail escape;
    escape.kind = ekFile;
    escape.name = "..";
    Mark(ws.remoteTree.Append(nullptr, escape), actNewFile);
    TDetail broken = escape;
    broken.name = "two\r\nlines";
    Mark(ws.remoteTree.Append(nullptr, broken), actNewFile);
    SetCounters(0, 0, 3);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(Commands(), (Lines{"TYPE I", "PASV", "RETR /www/fine.txt"}));
    EXPECT_TRUE(StatusShown("Could not download: .."));
    EXPECT_TRUE(StatusShown("Could not download: two\\x0d\\x0alines")); // shown, not a line break
    EXPECT_EQ(TopNames(), QStringList({"fine.txt"}));
}

TEST_F(DownloadRunTest, DisconnectWithAFetchInFlight)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^RETR ", "action": "send", "data": "late", "delay_ms": 300})"));
    for (const char *name : {"a.txt", "b.txt"})
        Mark(Add(ws.remoteTree, nullptr, ekFile, name, 4), actNewFile);
    SetCounters(0, 0, 2);
    seq.StartTransfer();
    ASSERT_TRUE(scripted->waitForCommand("^RETR "));
    ws.stopRequested = ws.stopLoops = true;
    ClearTree(ws, ws.remoteTree);
    ASSERT_TRUE(RunUntil([&] { return !seq.Running(); }));
    EXPECT_EQ(CountRetr(), 1);
    EXPECT_EQ(TopNames(), QStringList()); // neither the file nor a temporary one
    EXPECT_EQ(view.LastStatus(), "Transfer canceled");
}

// A fetch whose byte count falls short of (or goes past) the listed size failed, whatever the
// server's final reply said: the old copy stays, no temporary file is left, and the run goes on.
TEST_F(DownloadRunTest, ShortFetchFailsAndKeepsTheOldCopy)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^RETR /www/page.html$", "action": "send", "data": "new"},
                                             {"match": "^RETR /www/more.html$", "action": "send", "data": "12345"},
                                             {"match": "^RETR /www/next.html$", "action": "send", "data": "next"})"));
    WriteFile(Local("/page.html"), "old page");
    Add(ws.localTree, nullptr, ekFile, "page.html", 8);
    Mark(Add(ws.remoteTree, nullptr, ekFile, "page.html", 8), actRefresh);
    Mark(Add(ws.remoteTree, nullptr, ekFile, "more.html", 3), actNewFile);
    Mark(Add(ws.remoteTree, nullptr, ekFile, "next.html", 4), actNewFile);
    SetCounters(0, 0, 3);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(ReadAll(Local("/page.html")), "old page");
    EXPECT_EQ(ReadAll(Local("/next.html")), "next");
    EXPECT_EQ(TopNames(), QStringList({"next.html", "page.html"}));
    EXPECT_TRUE(StatusShown("Could not download: page.html"));
    EXPECT_TRUE(StatusShown("Could not download: more.html"));
    const auto logged = [&](const std::string &line) {
        return std::find(view.logLines.begin(), view.logLines.end(), line) != view.logLines.end();
    };
    EXPECT_TRUE(logged("FERNHOP: page.html arrived short: 3 of 8 bytes"));
    EXPECT_TRUE(logged("FERNHOP: more.html arrived long: 5 of 3 bytes"));
    EXPECT_EQ(ws.counters.transferRemain, 2);
    EXPECT_EQ(ws.run.filesTransferred, 1);
    EXPECT_EQ(Find(ws.localTree, "/page.html")->detail.size, 8);
    EXPECT_EQ(view.LastStatus(), "Local Site Mirror Complete");
}

// The server goes away in the middle of a fetch: the partial file never replaces the user's copy,
// and the run ends saying why, counted for an unattended caller.
TEST_F(DownloadRunTest, LostConnectionCutsTheRunShort)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(
        R"({"match": "^RETR /www/a.txt$", "action": "send", "data": "par", "then": [], "close": true})"));
    options.errorPrompt = true; // nothing to ask once the server has gone
    WriteFile(Local("/a.txt"), "old a");
    Add(ws.localTree, nullptr, ekFile, "a.txt", 5);
    Mark(Add(ws.remoteTree, nullptr, ekFile, "a.txt", 6), actRefresh);
    Mark(Add(ws.remoteTree, nullptr, ekFile, "b.txt", 2), actNewFile);
    SetCounters(0, 0, 2);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(ReadAll(Local("/a.txt")), "old a");
    EXPECT_EQ(TopNames(), QStringList({"a.txt"}));
    EXPECT_EQ(CountRetr(), 1);
    EXPECT_TRUE(StatusShown("Could not download: a.txt"));
    EXPECT_EQ(view.prompts, Lines{});
    const std::string cut = "Run cut short: the connection to the server was lost at a.txt; 2 of 2 files not transferred";
    EXPECT_EQ(view.LastStatus(), cut);
    EXPECT_NE(std::find(view.logLines.begin(), view.logLines.end(), cut), view.logLines.end());
    EXPECT_EQ(ws.run.runsCutShort, 1);
    EXPECT_EQ(ws.run.filesTransferred, 0);
}

// The case filters spell the PC's copies; the server is asked for its names as listed.
TEST_F(DownloadRunTest, CaseFiltersShapeOnlyThePcNames)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^RETR ", "action": "send", "data": "body"})"));
    options.fileFilter = CaseFilter::Lower;
    options.directoryFilter = CaseFilter::Upper;
    SiteNode *docs = Add(ws.remoteTree, nullptr, ekDirectory, "Docs");
    Mark(docs, actCreateDir);
    Mark(Add(ws.remoteTree, docs, ekFile, "Index.HTML", 4), actNewFile);
    SetCounters(0, 1, 1);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(Commands(), (Lines{"TYPE I", "PASV", "RETR /www/Docs/Index.HTML"}));
    EXPECT_EQ(ReadAll(Local("/DOCS/index.html")), "body");
    EXPECT_EQ(Shape(ws.localTree), (Lines{"D /DOCS", "F /DOCS/index.html"}));
    EXPECT_EQ(Shape(ws.remoteTree), (Lines{"D /Docs", "F /Docs/Index.HTML"}));
}

// A failure reply after the data (no Abort asked for) fails that file alone; a size announced
// with the transfer counts over the listed one.
TEST_F(DownloadRunTest, FailureReplyOrAnnouncedSizeFailsOneFileAndTheRunGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"(
        {"match": "^RETR /www/a.txt$", "action": "send", "data": "aaaa", "then": "426 Connection closed; transfer aborted."},
        {"match": "^RETR /www/b.txt$", "action": "send", "reply": "150 Opening BINARY mode data connection for b.txt (10 bytes).", "data": "bbbb"},
        {"match": "^RETR /www/c.txt$", "action": "send", "data": "cccc"})"));
    WriteFile(Local("/a.txt"), "old a");
    WriteFile(Local("/b.txt"), "old b");
    for (const char *name : {"a.txt", "b.txt"})
        Add(ws.localTree, nullptr, ekFile, name, 5);
    for (const char *name : {"a.txt", "b.txt"})
        Mark(Add(ws.remoteTree, nullptr, ekFile, name, 4), actRefresh);
    Mark(Add(ws.remoteTree, nullptr, ekFile, "c.txt", 4), actNewFile);
    SetCounters(0, 0, 3);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(TopNames(), QStringList({"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(ReadAll(Local("/a.txt")), "old a");
    EXPECT_EQ(ReadAll(Local("/b.txt")), "old b");
    EXPECT_EQ(ReadAll(Local("/c.txt")), "cccc");
    EXPECT_TRUE(StatusShown("Could not download: a.txt"));
    EXPECT_TRUE(StatusShown("Could not download: b.txt"));
    EXPECT_EQ(ws.run.filesTransferred, 1);
    EXPECT_EQ(view.LastStatus(), "Local Site Mirror Complete");
}

// Downloads alike: a local copy not older than the server's exact time stays as it is.
TEST_F(DownloadRunTest, UncertainTimesAreSettledByTheServersExactTime)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"(
        {"match": "^MDTM /www/a.txt$", "reply": "213 20240502101520"},
        {"match": "^MDTM /www/b.txt$", "reply": "213 20240502101540"},
        {"match": "^RETR ", "action": "send", "data": "n"})"));
    const TDateTime listed = EncodeDate(2024, 5, 2) + EncodeTime(10, 15);
    for (const char *name : {"a.txt", "b.txt"}) {
        WriteFile(Local(std::string("/") + name), "o");
        Add(ws.localTree, nullptr, ekFile, name, 1, listed + EncodeTime(0, 0, 30));
        SiteNode *remote = Add(ws.remoteTree, nullptr, ekFile, name, 1, listed);
        remote->detail.precision = tpMinute;
        remote->detail.verifyTime = true;
        Mark(remote, actRefresh);
    }
    SetCounters(0, 0, 2);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(Commands(), (Lines{"MDTM /www/a.txt", "MDTM /www/b.txt", "TYPE I", "PASV", "RETR /www/b.txt"}));
    EXPECT_EQ(ReadAll(Local("/a.txt")), "o");
    EXPECT_EQ(ReadAll(Local("/b.txt")), "n");
    EXPECT_EQ(TopNames(), QStringList({"a.txt", "b.txt"}));
    EXPECT_EQ(ws.counters.transferTotal, 1);
    EXPECT_EQ(ws.counters.transferRemain, 0);
}
