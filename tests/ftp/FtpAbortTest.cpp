// Abort: the Telnet interrupt, the synch mark, ABOR; once until the next completion. What the
// transfer's own states then make of the 426 and 226 replies, per kind of transfer, and that the
// command after an abort gets its own reply.
#include "ftp/ScriptedDataFixture.h"

namespace {

int LinesWith(const Lines &lines, const std::string &text)
{
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const std::string &line) { return line.find(text) != std::string::npos; }));
}

} // namespace

class Abort : public ScriptedData {};

TEST_P(Abort, DuringADownloadTheTransferCompletesOnceAsAFailure)
{
    // RETR is answered, but the data only flows (and ends) when ABOR comes; then 426, 226.
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^RETR ", "reply": "150 Opening data connection (3 bytes)."},
        {"match": "ABOR", "action": "send", "reply": "426 Transfer aborted.", "data": "abc",
         "then": "226 ABOR successful."})"));
    client.RemoteFile = "a.bin";
    client.LocalFile = LocalPath("a.bin");
    Get();
    ASSERT_TRUE(RunUntil([&] { return recorder.Has("fiFileSize 3"); }));
    client.Abort();
    client.Abort(); // sends nothing more
    ASSERT_TRUE(RunUntil([&] { return recorder.readies > 0; }));
    RunFor(100);
    EXPECT_EQ(recorder.readies, 1);
    EXPECT_TRUE(recorder.Has("OnFileReceived failed"));
    EXPECT_EQ(LinesWith(recorder.sent, "ABOR"), 1);
    EXPECT_EQ(LinesWith(server->commands(), "ABOR"), 1);
    EXPECT_EQ(recorder.quits, 0);

    // With no operation running there is nothing to abort.
    client.Abort();
    EXPECT_EQ(LinesWith(recorder.sent, "ABOR"), 1);
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); }));
}

TEST_P(Abort, DuringAListingTheListingFailsOnceAndTheSessionGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^LIST -a$", "reply": "150 Here."},
        {"match": "ABOR", "reply": ["426 Transfer aborted.", "226 ABOR successful."]})"));
    List();
    ASSERT_TRUE(server->waitForCommand("^LIST -a$"));
    ASSERT_TRUE(RunUntil([&] { return client.ReplyState() == 12; }));
    client.Abort();
    ASSERT_TRUE(RunUntil([&] { return recorder.readies > 0; }));
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); }));
    EXPECT_EQ(recorder.Count("OnListingDone failed"), 1);
    EXPECT_FALSE(recorder.Has("OnListingDone ok"));
    EXPECT_EQ(recorder.quits, 0);
    EXPECT_EQ(CommandsAfterLogin().back(), "NOOP");
}

TEST_P(Abort, DuringAnUploadTheSendingStopsAndOneFailedCompletionFollows)
{
    // The server answers the upload's end and ABOR with a 226 each: one completion all the same.
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^STOR ", "action": "receive"},
        {"match": "ABOR", "reply": "226 ABOR successful."})"));
    WriteLocal("up.bin", std::string(1 << 20, 'u'));
    client.LocalFile = LocalPath("up.bin");
    client.RemoteFile = "up.bin";
    bool aborted = false;
    client.OnFtpInfo = [&](TFtpClient *sender, FtpInfo info, const std::string &) {
        if (info == fiProgress && !aborted) {
            aborted = true;
            sender->Abort(); // Stop pressed while the first block is on its way
        }
    };
    client.OnFileStored = [&](TFtpClient *sender) {
        recorder.events.push_back(sender->Success() ? "OnFileStored ok" : "OnFileStored failed");
    };
    Put();
    ASSERT_TRUE(RunUntil([&] { return recorder.readies > 0; }));
    ASSERT_TRUE(server->waitForCommand("ABOR"));
    RunFor(200);
    EXPECT_EQ(recorder.readies, 1);
    EXPECT_EQ(recorder.events, (Lines{"OnFtpReady", "OnFileStored failed"}));
    EXPECT_LT(server->uploaded("up.bin").value_or("").size(), size_t(1 << 20));
    EXPECT_TRUE(client.Connected());
}

// What an owner does on a completion: the next command at once. The server may answer ABOR only
// after the interrupted command's reply has completed the transfer; that ABOR reply must not be
// taken for the next command's, and the next command must reach the server clean.
class AbortThenGoOn : public Abort {
protected:
    // Aborts the running transfer when its first block or chunk of data has moved.
    void AbortOnFirstProgress()
    {
        TFtpInfoEvent record = client.OnFtpInfo;
        client.OnFtpInfo = [this, record](TFtpClient *sender, FtpInfo info, const std::string &text) {
            record(sender, info, text);
            if (info == fiProgress && !aborted) {
                aborted = true;
                sender->Abort();
            }
        };
    }
    // The command after the abort: its completion, as recorded, once it has come.
    bool NextCommandDone(const std::string &event)
    {
        return RunUntil([&] {
            return recorder.Has(event + " ok") || recorder.Has(event + " failed") || recorder.quits > 0;
        });
    }
    // The last two command lines the server read: the ABOR line (Telnet IP and the synch mark's
    // IAC; its DM went out of band), then the next command as sent.
    Lines LastTwoCommands() const
    {
        Lines all = server->commands();
        return all.size() < 2 ? all : Lines(all.end() - 2, all.end());
    }
    bool aborted = false;
};

TEST_P(AbortThenGoOn, AnUploadAnswered426ThenALate226ForAbor)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^STOR ", "action": "receive", "then": "426 Transfer aborted."},
        {"match": "ABOR", "chunks": ["226 ABOR successful.\r\n"], "delay_ms": 250},
        {"match": "^CWD ", "reply": "550 No such directory."})"));
    WriteLocal("up.bin", std::string(1 << 20, 'u'));
    client.LocalFile = LocalPath("up.bin");
    client.RemoteFile = "up.bin";
    AbortOnFirstProgress();
    client.OnFileStored = [&](TFtpClient *sender) {
        recorder.events.push_back(sender->Success() ? "OnFileStored ok" : "OnFileStored failed");
        sender->ChangeDirectory("/gone");
    };
    Put();
    ASSERT_TRUE(NextCommandDone("OnDirectoryChanged"));
    RunFor(100);
    EXPECT_TRUE(recorder.Has("OnDirectoryChanged failed")); // its own 550, not the ABOR's 226
    EXPECT_EQ(recorder.Count("OnFileStored failed"), 1);
    EXPECT_EQ(recorder.readies, 2);
    EXPECT_EQ(LastTwoCommands(), (Lines{"\xff\xf4\xff" "ABOR", "CWD /gone"}));
    EXPECT_EQ(recorder.quits, 0);
}

TEST_P(AbortThenGoOn, ADownloadThatHadFinishedAnd225ForAbor)
{
    // The data and the 226 are out before ABOR arrives: the server has nothing left to abort.
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^RETR ", "action": "send", "data": "abc"},
        {"match": "ABOR", "chunks": ["225 No transfer to ABOR.\r\n"], "delay_ms": 250},
        {"match": "^DELE ", "reply": "550 Not allowed."})"));
    client.RemoteFile = "a.bin";
    client.LocalFile = LocalPath("a.bin");
    AbortOnFirstProgress();
    client.OnFileReceived = [&](TFtpClient *sender) {
        recorder.events.push_back(sender->Success() ? "OnFileReceived ok" : "OnFileReceived failed");
        sender->DeleteFile("a.bin");
    };
    Get();
    ASSERT_TRUE(NextCommandDone("OnFileDeleted"));
    RunFor(100);
    EXPECT_TRUE(recorder.Has("OnFileDeleted failed")); // its own 550, not the ABOR's 225
    EXPECT_EQ(recorder.Count("OnFileReceived failed"), 1);
    EXPECT_EQ(recorder.readies, 2);
    EXPECT_EQ(LastTwoCommands(), (Lines{"\xff\xf4\xff" "ABOR", "DELE a.bin"}));
}

TEST_P(AbortThenGoOn, BeforeTheDataConnectionNothingMoreIsSent)
{
    // Stop right after the upload was asked for: TYPE is out, its 200 and the ABOR's 225 follow.
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "ABOR", "reply": "225 No transfer to ABOR."})"));
    WriteLocal("up.bin", "data");
    client.LocalFile = LocalPath("up.bin");
    client.RemoteFile = "up.bin";
    Put();
    client.Abort();
    ASSERT_TRUE(RunUntil([&] { return recorder.readies > 0; }));
    EXPECT_TRUE(recorder.Has("OnFileStored failed"));
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); }));
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"TYPE I", "\xff\xf4\xff" "ABOR", "NOOP"}));
    EXPECT_EQ(recorder.readies, 2);
    EXPECT_EQ(recorder.quits, 0);
}

TEST_P(AbortThenGoOn, TheSessionEndingBeforeTheAborReplyStillCompletesOnce)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^STOR ", "action": "receive", "then": "426 Transfer aborted."},
        {"match": "ABOR", "close": true})"));
    WriteLocal("up.bin", std::string(1 << 20, 'u'));
    client.LocalFile = LocalPath("up.bin");
    client.RemoteFile = "up.bin";
    AbortOnFirstProgress();
    Put();
    ASSERT_TRUE(WaitForQuit());
    RunFor(100);
    EXPECT_EQ(recorder.readies, 1);
    EXPECT_EQ(recorder.Count("OnFileStored failed"), 1);
}

// A server whose data connection is not up yet when ABOR comes (pyftpdlib): the transfer's 150,
// then 225 for ABOR ("no transfer in progress"), and no final reply to the transfer's command.
// The 225 ends the abort, and the next command gets its own reply.
TEST_P(AbortThenGoOn, Only225AfterTheTransfers150)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^STOR ", "reply": "150 File status okay. About to open data connection."},
        {"match": "^RETR ", "reply": "150 File status okay. About to open data connection."},
        {"match": "ABOR", "reply": "225 ABOR command successful; data channel closed."},
        {"match": "^DELE ", "reply": "550 Not allowed."})"));
    WriteLocal("up.bin", std::string(1 << 16, 'u'));
    int preliminaries = 0;
    TFtpInfoEvent record = client.OnFtpInfo;
    client.OnFtpInfo = [&, record](TFtpClient *sender, FtpInfo info, const std::string &text) {
        record(sender, info, text);
        preliminaries += info == fiReplyText && text.rfind("150 ", 0) == 0;
    };
    auto deleted = [&](TFtpClient *sender) {
        recorder.events.push_back(sender->Success() ? "transfer ok" : "transfer failed");
        sender->DeleteFile("x.bin");
    };
    client.OnFileStored = deleted;
    client.OnFileReceived = deleted;
    client.LocalFile = LocalPath("up.bin");
    client.RemoteFile = "up.bin";
    Put();
    ASSERT_TRUE(server->waitForCommand("^STOR "));
    ASSERT_TRUE(RunUntil([&] { return preliminaries == 1; }));
    client.Abort();
    ASSERT_TRUE(NextCommandDone("OnFileDeleted"));

    client.RemoteFile = "a.bin";
    client.LocalFile = LocalPath("a.bin");
    Get();
    ASSERT_TRUE(server->waitForCommand("^RETR "));
    ASSERT_TRUE(RunUntil([&] { return preliminaries == 2; }));
    client.Abort();
    ASSERT_TRUE(RunUntil([&] { return recorder.Count("OnFileDeleted failed") == 2 || recorder.quits > 0; }));
    EXPECT_EQ(recorder.Count("transfer failed"), 2);
    EXPECT_EQ(recorder.Count("OnFileDeleted failed"), 2); // each its own 550
    EXPECT_EQ(recorder.quits, 0);
    EXPECT_EQ(LastTwoCommands(), (Lines{"\xff\xf4\xff" "ABOR", "DELE x.bin"}));
}

INSTANTIATE_TEST_SUITE_P(Modes, AbortThenGoOn, ::testing::Values(false, true), ModeName);
INSTANTIATE_TEST_SUITE_P(Modes, Abort, ::testing::Values(false, true), ModeName);
