// Transfers that do not end with their final 2xx reply: the server's close in the middle of an
// operation, and a failure reply to RETR or STOR that no Abort asked for. Each is a failure, is
// reported once, and leaves nothing open.
#include "ftp/ScriptedDataFixture.h"

#include <unistd.h>

#include <functional>

namespace {

// Whether this process holds `path` open.
bool HeldOpen(const std::string &path)
{
    bool held = false;
    if (DIR *dir = ::opendir("/proc/self/fd")) {
        while (dirent *entry = ::readdir(dir)) {
            char target[4096];
            std::string link = std::string("/proc/self/fd/") + entry->d_name;
            ssize_t n = ::readlink(link.c_str(), target, sizeof target);
            if (n > 0 && std::string(target, size_t(n)) == path)
                held = true;
        }
        ::closedir(dir);
    }
    return held;
}

} // namespace

class TransferFailure : public ScriptedData {
protected:
    // The events from the error on: one error, one failed completion, the end of the session.
    Lines Expected(const std::string &completion) const
    {
        return {ErrorEvent(feConnectionAborted), "OnFtpReady", completion, "fiReady", "OnFtpQuit"};
    }
};

TEST_P(TransferFailure, ServerClosingDuringADownloadFailsIt)
{
    // 3 bytes of an announced 10, and the server is gone without a final reply.
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "^RETR ", "action": "send",
        "reply": "150 Opening BINARY mode data connection for a.bin (10 bytes).", "data": "abc",
        "then": [], "close": true})"));
    client.RemoteFile = "a.bin";
    client.LocalFile = LocalPath("a.bin");
    Get();
    ASSERT_TRUE(WaitForQuit());
    RunFor(50);
    EXPECT_EQ(recorder.From(ErrorEvent(feConnectionAborted)), Expected("OnFileReceived failed"));
    EXPECT_EQ(client.AnnouncedSize(), 10);
    EXPECT_FALSE(client.Success());
    EXPECT_FALSE(HeldOpen(LocalPath("a.bin")));
}

TEST_P(TransferFailure, ServerClosingDuringAnUploadListingOrCommandFailsIt)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^STOR ", "action": "receive", "then": [], "close": true})"));
    WriteLocal("up.bin", std::string(5000, 'u'));
    client.LocalFile = LocalPath("up.bin");
    client.RemoteFile = "up.bin";
    Put();
    ASSERT_TRUE(WaitForQuit());
    RunFor(50);
    EXPECT_EQ(recorder.From(ErrorEvent(feConnectionAborted)), Expected("OnFileStored failed"));

    struct Case {
        std::string rule;
        std::function<void()> start;
        std::string completion;
    };
    const std::vector<Case> cases{
        {R"({"match": "^LIST", "action": "send", "data": ["a", "b"], "then": [], "close": true})",
         [&] { List(); }, "OnListingDone failed"},
        {R"({"match": "^STOR ", "action": "receive", "then": [], "close": true})", [&] { Check("/"); },
         "OnCheckFileSent error"},
        {R"({"match": "^DELE ", "close": true})", [&] { client.DeleteFile("a.txt"); }, "OnFileDeleted failed"},
        {R"({"match": "^MDTM ", "close": true})", [&] { client.GetFileTime("a.txt"); }, "OnFileTimeDone failed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.completion);
        client.Reset();
        recorder.Clear();
        ASSERT_NO_FATAL_FAILURE(StartData(c.rule));
        c.start();
        ASSERT_TRUE(WaitForQuit());
        RunFor(50);
        EXPECT_EQ(recorder.From(ErrorEvent(feConnectionAborted)), Expected(c.completion));
    }
}

TEST_P(TransferFailure, FailureReplyToRetrOrStorEndsTheTransferAndTheSessionGoesOn)
{
    // 426 after part of the data, with no Abort: no ABOR is sent and none is waited for.
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^RETR ", "action": "send", "data": "abc", "then": "426 Connection closed; transfer aborted."},
        {"match": "^STOR ", "action": "receive", "then": "426 Connection closed; transfer aborted."})"));
    WriteLocal("up.bin", std::string(3000, 'u'));
    const int descriptors = OpenDescriptors();
    client.RemoteFile = "a.bin";
    client.LocalFile = LocalPath("a.bin");
    ASSERT_TRUE(Complete([&] { Get(); }));
    client.RemoteFile = "up.bin";
    client.LocalFile = LocalPath("up.bin");
    ASSERT_TRUE(Complete([&] { Put(); }));
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); }));
    RunFor(50);

    EXPECT_EQ(recorder.Count("OnFileReceived failed"), 1);
    EXPECT_EQ(recorder.Count("OnFileStored failed"), 1);
    EXPECT_EQ(recorder.readies, 3);
    EXPECT_EQ(recorder.quits, 0);
    EXPECT_EQ(Commands(), OpenData({"TYPE I"}) + Lines{"RETR a.bin"} + OpenData({}) + (Lines{"STOR up.bin", "NOOP"}));
    EXPECT_EQ(OpenDescriptors(), descriptors); // data sockets and local files closed
}

INSTANTIATE_TEST_SUITE_P(Modes, TransferFailure, ::testing::Values(false, true), ModeName);
