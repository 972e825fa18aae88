// The upload run against the scripted server: what is sent, in which order, and what the trees,
// the status line and the prompts show.
#include "transfer/SequencerFixture.h"

#include "site/Compare.h"
#include "site/Marking.h"

#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <sys/stat.h>
#include <sys/time.h>

namespace {
bool AnyLineBreak(const Lines &commands)
{
    for (const std::string &c : commands)
        if (c.find_first_of("\r\n") != std::string::npos)
            return true;
    return false;
}

class UploadRunTest : public SequencerFixture {};
} // namespace

TEST_F(UploadRunTest, NothingMarkedOnlyCompletesAndLeavesTheConnectionUp)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(""));
    Add(ws.localTree, nullptr, ekFile, "same.html");
    Add(ws.remoteTree, nullptr, ekFile, "same.html");
    ASSERT_TRUE(Transfer());
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");
    EXPECT_EQ(Sounds(SoundEvent::Transferred), 1);
    EXPECT_EQ(ws.run.currentOperation, opIdle);
    EXPECT_FALSE(view.Enabled(Control::stopBtn));
    EXPECT_FALSE(view.Enabled(Control::updateBtn));
    EXPECT_TRUE(view.Enabled(Control::compareBtn));
    EXPECT_FALSE(view.progressVisible);
    EXPECT_TRUE(ws.FtpClient1.Connected());
    EXPECT_EQ(Commands(), Lines{});
}

TEST_F(UploadRunTest, NotConnectedStartsNothing)
{
    seq.StartTransfer();
    EXPECT_EQ(view.LastStatus(), "Fernhop not connected");
    EXPECT_FALSE(seq.Running());
}

TEST_F(UploadRunTest, EndOfAMultiSiteRunQuits)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(""));
    multiSite = true;
    ASSERT_TRUE(Transfer());
    ASSERT_TRUE(scripted->waitForCommand("^QUIT$"));
    EXPECT_FALSE(exitAfterQuit);
}

TEST_F(UploadRunTest, EndOfARunWithExitOnQuitsToClose)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(""));
    options.exit = true;
    ASSERT_TRUE(Transfer());
    ASSERT_TRUE(scripted->waitForCommand("^QUIT$"));
    EXPECT_TRUE(exitAfterQuit);
    EXPECT_TRUE(std::find(view.logLines.begin(), view.logLines.end(),
                          "If Fernhop cannot close you MAY have to use the menu option to 'reset FTP' to quit.") !=
                view.logLines.end());
}

// Children before their directory; a failed deletion still counts down; under "/" a path is the
// relative path alone.
TEST_F(UploadRunTest, DeletionsWalkBackwardsAndCountFailuresToo)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^RMD /old$", "reply": "550 Directory not empty."},
                                             {"match": "^(DELE|RMD) ", "reply": "250 Done."})"));
    remoteDirectory = "/";
    SiteNode *old = Add(ws.remoteTree, nullptr, ekDirectory, "old");
    Mark(old, actRemoveDir);
    Mark(Add(ws.remoteTree, old, ekFile, "a.txt"), actDeleteFile);
    Mark(Add(ws.remoteTree, old, ekFile, "b.txt"), actDeleteFile);
    Add(ws.remoteTree, nullptr, ekFile, "keep.txt");
    Add(ws.localTree, nullptr, ekFile, "keep.txt");
    SetCounters(3, 0, 0);

    ASSERT_TRUE(Transfer());
    // The refused RMD: the top cannot be entered (this server knows no CWD), so nothing shows
    // that "old" is gone and the refusal stands.
    EXPECT_EQ(Commands(), (Lines{"DELE /old/b.txt", "DELE /old/a.txt", "RMD /old", "CWD /"}));
    EXPECT_EQ(Shape(ws.remoteTree), (Lines{"D /old", "F /keep.txt"}));
    EXPECT_EQ(ws.remoteTree.First()->icon, iconFailed);
    EXPECT_TRUE(StatusShown("Deleting - 33% complete  [3 total, 2 remain]"));
    EXPECT_TRUE(StatusShown("Could not delete: old"));
    EXPECT_TRUE(StatusShown("Deleting - 100% complete  [3 total, 0 remain]"));
    EXPECT_EQ(view.progress.back(), 100);
    EXPECT_EQ(ws.counters.deleteRemain, 0);
    EXPECT_EQ(Sounds(SoundEvent::Error), 1);
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");
}

TEST_F(UploadRunTest, DeleteOffLeavesRemoteEntriesAndCreatesDirectories)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^MKD ", "reply": "257 Created."})"));
    options.delete_ = false;
    Mark(Add(ws.remoteTree, nullptr, ekFile, "gone.txt"), actDeleteFile);
    SiteNode *made = Add(ws.localTree, nullptr, ekDirectory, "new");
    Mark(made, actCreateDir);
    SetCounters(1, 1, 0);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(Commands(), (Lines{"MKD /www/new"}));
    EXPECT_EQ(Shape(ws.remoteTree), (Lines{"D /new", "F /gone.txt"}));
    EXPECT_EQ(made->icon, iconDir);
    EXPECT_EQ(ws.counters.createRemain, 0);
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");
}

// No keeps the entry and asks about the next; Cancel ends the run before any creation.
TEST_F(UploadRunTest, DeletionPromptNoKeepsCancelEnds)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^DELE ", "reply": "250 Deleted."})"));
    options.confirmDelete = true;
    view.askAnswers = {PromptAnswer::No, PromptAnswer::Yes, PromptAnswer::Cancel};
    for (const char *name : {"x.txt", "y.txt", "z.txt"})
        Mark(Add(ws.remoteTree, nullptr, ekFile, name), actDeleteFile);
    Mark(Add(ws.localTree, nullptr, ekDirectory, "new"), actCreateDir);
    SetCounters(3, 1, 0);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(view.prompts, (Lines{"Confirm file deletion: Really delete: /z.txt", "Confirm file deletion: Really delete: /y.txt",
                                   "Confirm file deletion: Really delete: /x.txt"}));
    EXPECT_EQ(Commands(), (Lines{"DELE /www/y.txt"}));
    EXPECT_EQ(Shape(ws.remoteTree), (Lines{"F /x.txt", "F /z.txt"}));
    EXPECT_EQ(ws.remoteTree.First()->icon, iconFile);
    EXPECT_EQ(view.LastStatus(), "Transfer canceled");
    EXPECT_FALSE(ws.run.promptOpen);
}

TEST_F(UploadRunTest, ErrorPromptNoCancelsYesGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^MKD /www/a$", "reply": "550 Denied."},
                                             {"match": "^MKD ", "reply": "257 Created."})"));
    options.errorPrompt = true;
    for (const char *name : {"a", "b"})
        Mark(Add(ws.localTree, nullptr, ekDirectory, name), actCreateDir);
    SetCounters(0, 2, 0);

    view.askAnswers = {PromptAnswer::Yes};
    ASSERT_TRUE(Transfer());
    EXPECT_EQ(view.prompts, (Lines{"Could not create: a: Try to continue with transfer?"}));
    // The refused MKD: "a" cannot be entered either, so it is not there.
    EXPECT_EQ(Commands(), (Lines{"MKD /www/a", "CWD /www/a", "MKD /www/b"}));
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");

    view.askAnswers = {PromptAnswer::No};
    SetCounters(0, 2, 0);
    ASSERT_TRUE(Transfer());
    EXPECT_EQ(Commands(), (Lines{"MKD /www/a", "CWD /www/a", "MKD /www/b", "MKD /www/a", "CWD /www/a"}));
    EXPECT_EQ(view.LastStatus(), "Transfer canceled");
}

TEST_F(UploadRunTest, NamesWithLineBreaksFailAloneAndAreNeverSent)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^MKD ", "reply": "257 Created."})"));
    Mark(Add(ws.localTree, nullptr, ekDirectory, "bad\nname"), actCreateDir);
    Mark(Add(ws.localTree, nullptr, ekDirectory, "fine"), actCreateDir);
    Mark(Add(ws.localTree, nullptr, ekFile, "odd\r.txt"), actNewFile);
    SetCounters(0, 2, 1);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(Commands(), (Lines{"MKD /www/fine"}));
    EXPECT_FALSE(AnyLineBreak(scripted->commands()));
    EXPECT_TRUE(StatusShown("Could not create: bad\\x0aname")); // shown, not a line break
    EXPECT_TRUE(StatusShown("Could not upload: odd\\x0d.txt"));
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");
}

TEST_F(UploadRunTest, TransferModeFollowsTheExtensionTable)
{
    ws.extensions.rows = {{"0", "0", ".HTML"}, {"1", "0", ".gif"}, {"0", "0", ".txt"}};
    seq.ChooseTransferMode("INDEX.html");
    EXPECT_EQ(ws.FtpClient1.TransferMode, AsciiTransfer);
    EXPECT_EQ(view.texts[TextSlot::transferModeLabel], "ascii");
    seq.ChooseTransferMode("logo.GIF");
    EXPECT_EQ(ws.FtpClient1.TransferMode, BinaryTransfer);
    EXPECT_EQ(view.texts[TextSlot::transferModeLabel], "binary");
    seq.ChooseTransferMode("txt.zip");
    EXPECT_EQ(ws.FtpClient1.TransferMode, BinaryTransfer);
    seq.ChooseTransferMode("notes.txt");
    EXPECT_EQ(ws.FtpClient1.TransferMode, AsciiTransfer);
    ws.extensions.rows.clear();
    seq.ChooseTransferMode("notes.txt");
    EXPECT_EQ(ws.FtpClient1.TransferMode, BinaryTransfer);
}

// Three commands a file; SITE CHMOD names the path STOR used; the remote copy carries the
// server's clock; the upload log names each stored file.
TEST_F(UploadRunTest, UploadsWithChmodOffsetAndLog)
{
    QTemporaryDir local, logs;
    ws.localTopDirectory = local.path().toStdString();
    WriteFile(ws.localTopDirectory + "/a.html", "<p>a</p>");
    ASSERT_EQ(::mkdir((ws.localTopDirectory + "/sub").c_str(), 0755), 0);
    WriteFile(ws.localTopDirectory + "/sub/b.gif", std::string("GIF\0\x01", 5));
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^STOR ", "action": "receive"},
                                             {"match": "^MKD ", "reply": "257 Created."},
                                             {"match": "^SITE CHMOD ", "reply": "200 Done."})"));
    remoteDirectory = "/";
    options.useCHMOD = true;
    options.CHMODcmd = "644";
    options.saveDownLog = true;
    options.saveLogDir = logs.path().toStdString();
    ws.extensions.rows = {{"0", "0", ".html"}};
    site.savedServerTime = EncodeDate(2024, 5, 1) + EncodeTime(10, 0);
    site.savedPcTime = site.savedServerTime + 2.0 / 24; // the PC clock two hours ahead
    const TDateTime localTime = EncodeDate(2024, 5, 2) + EncodeTime(12, 15);
    for (const char *name : {"/a.html", "/sub/b.gif"}) {
        const struct timeval stamp[2] = {{LocalDateTimeToUnix(localTime), 0}, {LocalDateTimeToUnix(localTime), 0}};
        ASSERT_EQ(::utimes((ws.localTopDirectory + name).c_str(), stamp), 0);
    }

    Mark(Add(ws.localTree, nullptr, ekFile, "a.html", 8, localTime), actNewFile);
    SiteNode *sub = Add(ws.localTree, nullptr, ekDirectory, "sub");
    Mark(sub, actCreateDir);
    Mark(Add(ws.localTree, sub, ekFile, "b.gif", 5, localTime), actNewFile);
    SetCounters(0, 1, 2);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(Commands(), (Lines{"MKD /sub", "TYPE A", "PASV", "STOR /a.html", "SITE CHMOD 644 /a.html", "TYPE I",
                                 "PASV", "STOR /sub/b.gif", "SITE CHMOD 644 /sub/b.gif"}));
    EXPECT_EQ(scripted->uploaded("/a.html"), "<p>a</p>");
    EXPECT_EQ(scripted->uploaded("/sub/b.gif"), std::string("GIF\0\x01", 5));
    EXPECT_EQ(Shape(ws.remoteTree), (Lines{"D /sub", "F /sub/b.gif", "F /a.html"}));
    SiteNode *copy = Find(ws.remoteTree, "/sub/b.gif");
    ASSERT_TRUE(copy);
    EXPECT_NEAR(copy->detail.modified, localTime - 2.0 / 24, 1e-9);
    EXPECT_EQ(copy->detail.size, 5);
    EXPECT_EQ(ws.counters.transferRemain, 0);
    EXPECT_EQ(sub->icon, iconDir);
    EXPECT_EQ(ws.localTree.Last()->icon, iconFile);
    EXPECT_EQ(ReadAll(logs.path().toStdString() + "/fernhopUpload.log"), "/a.html\r\n/sub/b.gif\r\n");
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");

    // With timeOffset on the copy keeps the local time, as the compare would read it.
    options.timeOffset = true;
    Mark(ws.localTree.Last(), actRefresh);
    SetCounters(0, 0, 1);
    ASSERT_TRUE(Transfer());
    EXPECT_NEAR(copy->detail.modified, localTime, 1e-9);
}

// A local file that cannot be opened: the FTP error handler's report is the one prompt, and the
// failed store that follows only moves the run on.
TEST_F(UploadRunTest, UnreadableLocalFileIsReportedOnce)
{
    QTemporaryDir local;
    ws.localTopDirectory = local.path().toStdString();
    WriteFile(ws.localTopDirectory + "/b.txt", "b");
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^STOR ", "action": "receive"})"));
    ws.FtpClient1.OnFtpError = [this](TFtpClient *, FtpError code, const std::string &) {
        if (code == feLocalFileOpen)
            seq.LocalFileOpenFailed();
    };
    options.errorPrompt = true;
    view.askAnswers = {PromptAnswer::Yes};
    Mark(Add(ws.localTree, nullptr, ekFile, "gone.txt", 1), actNewFile);
    Mark(Add(ws.localTree, nullptr, ekFile, "b.txt", 1), actNewFile);
    SetCounters(0, 0, 2);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(view.prompts, (Lines{"Fernhop could not open file: " + ws.localTopDirectory +
                                   "/gone.txt: Try to continue with transfer?"}));
    EXPECT_EQ(scripted->uploaded("/www/b.txt"), "b");
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");
    EXPECT_EQ(Shape(ws.remoteTree), (Lines{"F /b.txt"}));
}

TEST_F(UploadRunTest, AnUnwritableLogDirectoryIsReportedOncePerRun)
{
    QTemporaryDir local;
    ws.localTopDirectory = local.path().toStdString();
    WriteFile(ws.localTopDirectory + "/a.txt", "a");
    WriteFile(ws.localTopDirectory + "/b.txt", "b");
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^STOR ", "action": "receive"})"));
    options.saveDownLog = true;
    options.saveLogDir = ws.localTopDirectory + "/missing";
    for (const char *name : {"a.txt", "b.txt"})
        Mark(Add(ws.localTree, nullptr, ekFile, name, 1), actNewFile);
    auto logReports = [&] {
        return std::count_if(view.logLines.begin(), view.logLines.end(),
                             [](const std::string &l) { return l.find("fernhopUpload.log") != std::string::npos; });
    };

    SetCounters(0, 0, 2);
    ASSERT_TRUE(Transfer());
    EXPECT_EQ(logReports(), 1);
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");
    for (SiteNode *n = ws.localTree.First(); n; n = ws.localTree.Next(n))
        Mark(n, actRefresh);
    SetCounters(0, 0, 2);
    ASSERT_TRUE(Transfer());
    EXPECT_EQ(logReports(), 2);
}

// The session's Disconnect sets the stop flags and clears the remote tree while a command is
// still out: its completion must end the run without touching the cleared tree.
TEST_F(UploadRunTest, DisconnectWithACommandInFlight)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^DELE ", "reply": "250 Deleted.", "delay_ms": 300})"));
    for (const char *name : {"a.txt", "b.txt"})
        Mark(Add(ws.remoteTree, nullptr, ekFile, name), actDeleteFile);
    Add(ws.localTree, nullptr, ekFile, "kept.txt");
    SetCounters(2, 0, 0);
    seq.StartTransfer();
    ASSERT_TRUE(scripted->waitForCommand("^DELE "));
    ws.stopRequested = ws.stopLoops = true;
    ClearTree(ws, ws.remoteTree);
    ASSERT_TRUE(RunUntil([&] { return !seq.Running(); }));
    EXPECT_EQ(Commands(), (Lines{"DELE /www/b.txt"}));
    EXPECT_EQ(view.LastStatus(), "Transfer canceled");
}

TEST_F(UploadRunTest, SingleRemoteCommands)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^DELE /www/locked.txt$", "reply": "550 No."},
                                             {"match": "^DELE ", "reply": "250 Deleted."},
                                             {"match": "^MKD /taken$", "reply": "550 Exists."},
                                             {"match": "^MKD ", "reply": "257 Created."})"));
    SiteNode *dir = Add(ws.remoteTree, nullptr, ekDirectory, "dir");
    SiteNode *locked = Add(ws.remoteTree, nullptr, ekFile, "locked.txt");
    SiteNode *old = Add(ws.remoteTree, nullptr, ekFile, "old.txt");
    auto idleAgain = [&] { return RunUntil([&] { return ws.run.currentOperation == opIdle; }); };

    seq.DeleteRemoteNow(dir); // directories are not deleted this way
    EXPECT_EQ(ws.run.currentOperation, opIdle);
    seq.DeleteRemoteNow(old);
    EXPECT_EQ(ws.run.currentOperation, opDeleteNow);
    ASSERT_TRUE(idleAgain());
    seq.DeleteRemoteNow(locked);
    ASSERT_TRUE(idleAgain());
    EXPECT_EQ(Shape(ws.remoteTree), (Lines{"D /dir", "F /locked.txt"}));
    EXPECT_EQ(locked->icon, iconFailed);
    EXPECT_EQ(view.LastStatus(), "Could not delete: locked.txt");

    remoteDirectory = "/";
    view.inputAnswers = {"~/new/", "taken"};
    seq.CreateDirectoryCommand();
    ASSERT_TRUE(idleAgain());
    EXPECT_EQ(view.LastStatus(), "Directory Created");
    seq.CreateDirectoryCommand();
    ASSERT_TRUE(idleAgain());
    EXPECT_EQ(view.LastStatus(), "Could not create directory");
    EXPECT_EQ(Commands(), (Lines{"DELE /www/old.txt", "DELE /www/locked.txt", "MKD /new", "MKD /taken"}));
    EXPECT_EQ(view.prompts.back(), "Fernhop Create Directory: Enter the directory name you wish to create:");
}

TEST_F(UploadRunTest, LocalDeleteNowRemovesTheFileAndItsNode)
{
    QTemporaryDir local;
    ws.localTopDirectory = local.path().toStdString();
    WriteFile(ws.localTopDirectory + "/a.txt", "a");
    SiteNode *a = Add(ws.localTree, nullptr, ekFile, "a.txt");
    SiteNode *ghost = Add(ws.localTree, nullptr, ekFile, "ghost.txt"); // already gone from disk
    seq.DeleteLocalNow(a);
    seq.DeleteLocalNow(ghost);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(ws.localTopDirectory + "/a.txt")));
    EXPECT_TRUE(ws.localTree.Empty());
}

// A failure reply after the data fails that file alone: it does not enter the remote tree (and so
// no listing cache made from it), it is counted as failed, and the run goes on.
TEST_F(UploadRunTest, FailureReplyAfterTheDataFailsOneFileAndTheRunGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"(
        {"match": "^STOR /www/a.txt$", "action": "receive", "then": "451 Requested action aborted: local error."},
        {"match": "^STOR ", "action": "receive"})"));
    QTemporaryDir top;
    ws.localTopDirectory = top.path().toStdString();
    for (const char *name : {"a.txt", "b.txt"}) {
        WriteFile(ws.localTopDirectory + "/" + name, name);
        Mark(Add(ws.localTree, nullptr, ekFile, name, 5), actNewFile);
    }
    SetCounters(0, 0, 2);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(Shape(ws.remoteTree), (Lines{"F /b.txt"}));
    EXPECT_TRUE(StatusShown("Could not upload: a.txt"));
    EXPECT_EQ(scripted->uploaded("/www/b.txt"), std::optional<std::string>("b.txt"));
    EXPECT_EQ(ws.run.filesTransferred, 1);
    EXPECT_EQ(ws.counters.transferRemain, 1);
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");
}

// A file the compare could not be sure of is sent only when the server's exact time is older;
// without MDTM it is sent, and a server that refused MDTM is not asked again.
TEST_F(UploadRunTest, UncertainTimesAreSettledByTheServersExactTime)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"(
        {"match": "^MDTM /www/a.txt$", "reply": "213 20240502101540"},
        {"match": "^MDTM /www/b.txt$", "reply": "213 20240502101520"},
        {"match": "^MDTM ", "reply": "502 Command not implemented."},
        {"match": "^STOR ", "action": "receive"})"));
    QTemporaryDir top;
    ws.localTopDirectory = top.path().toStdString();
    const TDateTime listed = EncodeDate(2024, 5, 2) + EncodeTime(10, 15);
    for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        WriteFile(ws.localTopDirectory + "/" + name, "x");
        SiteNode *local = Add(ws.localTree, nullptr, ekFile, name, 1, listed + EncodeTime(0, 0, 30));
        Mark(local, actRefresh);
        local->detail.verifyTime = true;
        Add(ws.remoteTree, nullptr, ekFile, name, 1, listed)->detail.precision = tpMinute;
    }
    SetCounters(0, 0, 4);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(Commands(), (Lines{"MDTM /www/a.txt", "MDTM /www/b.txt", "TYPE I", "PASV", "STOR /www/b.txt",
                                 "MDTM /www/c.txt", "PASV", "STOR /www/c.txt", "PASV", "STOR /www/d.txt"}));
    EXPECT_EQ(ws.counters.transferTotal, 3);
    EXPECT_EQ(ws.counters.transferRemain, 0);
    EXPECT_EQ(Find(ws.localTree, "/a.txt")->detail.action, actNone);
    EXPECT_EQ(view.LastStatus(), "Remote Site Update Complete");
}

// The window's user is asked, with the numbers, before a run deletes most of the server's files.
TEST_F(UploadRunTest, AMassDeletionWaitsForTheUsersYes)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"({"match": "^DELE ", "reply": "250 Deleted."})"));
    Add(ws.localTree, nullptr, ekFile, "kept.html");
    Add(ws.remoteTree, nullptr, ekFile, "kept.html");
    for (int i = 0; i < 11; ++i)
        Mark(Add(ws.remoteTree, nullptr, ekFile, "old" + std::to_string(i) + ".html"), actDeleteFile);
    SetCounters(11, 0, 0);

    view.askAnswers = {PromptAnswer::No};
    ASSERT_TRUE(Transfer());
    ASSERT_EQ(view.prompts.size(), 1u);
    EXPECT_EQ(view.prompts[0], "The run would delete 11 of the 12 files on the server (92%), more than the 50% "
                               "allowed (option maxDeletePercent).: Delete them anyway?");
    EXPECT_EQ(view.LastStatus(), "Stopped before the first deletion: The run would delete 11 of the 12 files on the "
                                 "server (92%), more than the 50% allowed (option maxDeletePercent).");
    EXPECT_EQ(Commands(), Lines{});
    EXPECT_EQ(ws.remoteTree.Count(), 12);

    view.askAnswers = {PromptAnswer::Yes};
    ASSERT_TRUE(Transfer());
    EXPECT_EQ(view.prompts.size(), 2u);
    EXPECT_EQ(Commands().size(), 11u);
    EXPECT_EQ(ws.remoteTree.Count(), 1);
    EXPECT_TRUE(ws.run.refusedText.empty());
}

// What the compare marked "will be updated" and the run then found in step shows plain on both
// sides after the run, as a sent file does, and "Restore" brings back "same", not the mark.
TEST_F(UploadRunTest, AFileFoundInStepDuringTheRunShowsInStepOnBothSides)
{
    ASSERT_NO_FATAL_FAILURE(LoginScripted(R"(
        {"match": "^MDTM /www/same.txt$", "reply": "213 20240502101540"},
        {"match": "^MDTM /www/older.txt$", "reply": "213 20240502101520"},
        {"match": "^STOR ", "action": "receive"})"));
    QTemporaryDir top;
    ws.localTopDirectory = top.path().toStdString();
    const TDateTime listed = EncodeDate(2024, 5, 2) + EncodeTime(10, 15);
    for (const char *name : {"older.txt", "same.txt"}) {
        WriteFile(ws.localTopDirectory + "/" + name, "x");
        Add(ws.localTree, nullptr, ekFile, name, 1, listed + EncodeTime(0, 0, 30));
        Add(ws.remoteTree, nullptr, ekFile, name, 1, listed)->detail.precision = tpMinute;
    }
    ASSERT_TRUE(Compare(ws, ws.localTree, ws.remoteTree));
    ASSERT_EQ(Find(ws.remoteTree, "/same.txt")->icon, iconNewer);

    ASSERT_TRUE(Transfer());
    EXPECT_EQ(scripted->uploaded("/www/same.txt"), std::nullopt);
    for (SiteTree *tree : {&ws.localTree, &ws.remoteTree}) {
        SiteNode *same = Find(*tree, "/same.txt");
        EXPECT_EQ(same->icon, iconFile) << tree->Tag();
        EXPECT_EQ(same->detail.action, actNone) << tree->Tag();
        Restore1Click(ws, tree->Tag(), same);
        EXPECT_EQ(same->icon, iconSame) << tree->Tag();
        EXPECT_EQ(same->detail.action, actNone) << tree->Tag();
        EXPECT_EQ(Find(*tree, "/older.txt")->icon, iconFile) << tree->Tag();
    }
}
