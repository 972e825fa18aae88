// Abort: the Telnet interrupt, the synch mark, ABOR; once until the next completion. What the
// transfer's own states then make of the 426 and 226 replies, per kind of transfer.
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

TEST_P(Abort, DuringAListingThe426EndsTheSession)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^LIST$", "reply": "150 Here."},
        {"match": "ABOR", "reply": "426 Transfer aborted."})"));
    List();
    ASSERT_TRUE(server->waitForCommand("^LIST$"));
    ASSERT_TRUE(RunUntil([&] { return client.ReplyState() == 12; }));
    client.Abort();
    ASSERT_TRUE(WaitForQuit());
    EXPECT_TRUE(recorder.Has(ErrorEvent(feProtocolError)));
    EXPECT_FALSE(recorder.Has("OnListingDone ok"));
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

INSTANTIATE_TEST_SUITE_P(Modes, Abort, ::testing::Values(false, true), ModeName);
