// Servers that stop answering, and listings without end: the reply time-out and the listing caps.
#include "ftp/ScriptedDataFixture.h"

class SilentServer : public ScriptedData {
protected:
    // The end of a session that timed out: the error, the running operation's failed
    // completion, the quit.
    Lines TimedOut(const std::string &completion) const
    {
        Lines events{ErrorEvent(feReplyTimeOut), "OnFtpReady"};
        if (!completion.empty())
            events.push_back(completion);
        events.push_back("fiReady");
        events.push_back("OnFtpQuit");
        return events;
    }
};

TEST_P(SilentServer, AnUnansweredCommandEndsTheSessionAfterTheTimeOut)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "^CWD /slow$", "reply": "250 OK.", "delay_ms": 300},
                                         {"match": "^CWD /silent$"})"));
    client.ReplyTimeOutSeconds = 1;
    RunFor(1500); // an idle session is never timed out
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/slow"); }));
    EXPECT_TRUE(recorder.Has("OnDirectoryChanged ok"));
    recorder.Clear();

    client.ChangeDirectory("/silent");
    ASSERT_TRUE(WaitForQuit());
    RunFor(50);
    EXPECT_EQ(recorder.From(ErrorEvent(feReplyTimeOut)), TimedOut("OnDirectoryChanged failed"));
    EXPECT_EQ(client.ReplyTimeOutText(), "Server did not answer CWD /silent for 1 second");
    EXPECT_EQ(client.LastErrorCode(), feReplyTimeOut);
    EXPECT_FALSE(client.Connected());
}

TEST_P(SilentServer, AKeepAliveWithoutReplyTimesOutToo)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "^NOOP$"})"));
    client.ReplyTimeOutSeconds = 2;
    client.KeepAlive();
    ASSERT_TRUE(WaitForQuit());
    RunFor(50);
    EXPECT_EQ(recorder.From(ErrorEvent(feReplyTimeOut)), TimedOut(""));
    EXPECT_EQ(client.ReplyTimeOutText(), "Server did not answer NOOP for 2 seconds");
}

TEST_P(SilentServer, ADataConnectionThatStopsMovingTimesOut)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^RETR ", "action": "stall", "data": "abc", "stall_ms": 8000},
        {"match": "^STOR ", "action": "stall", "stall_ms": 8000})"));
    client.ReplyTimeOutSeconds = 1;
    client.RemoteFile = "a.bin";
    client.LocalFile = LocalPath("a.bin");
    Get();
    ASSERT_TRUE(WaitForQuit());
    RunFor(50);
    EXPECT_EQ(recorder.From(ErrorEvent(feReplyTimeOut)), TimedOut("OnFileReceived failed"));
    EXPECT_EQ(client.ReplyTimeOutText(), "Server did not answer RETR a.bin for 1 second");

    // An upload the server stops reading: the sending ends as well.
    client.Reset();
    recorder.Clear();
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "^STOR ", "action": "stall", "stall_ms": 8000})"));
    WriteLocal("up.bin", std::string(size_t(32) << 20, 'u'));
    client.LocalFile = LocalPath("up.bin");
    client.RemoteFile = "up.bin";
    Put();
    ASSERT_TRUE(WaitForQuit());
    RunFor(50);
    EXPECT_EQ(recorder.From(ErrorEvent(feReplyTimeOut)), TimedOut("OnFileStored failed"));
}

TEST_P(SilentServer, AnEndlessListingFailsAtTheLineCap)
{
    ASSERT_NO_FATAL_FAILURE(StartData(
        R"({"match": "^LIST", "action": "flood", "data": "a\r\n", "then": "426 Connection closed."})"));
    // A million lines through the recorder would be slow; keep the traces and the ends only.
    Lines traces;
    client.OnFtpInfo = [&](TFtpClient *, FtpInfo info, const std::string &text) {
        if (info == fiTrace)
            traces.push_back(text);
    };
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone failed"));
    EXPECT_TRUE(client.Listing().empty());
    EXPECT_NE(std::find(traces.begin(), traces.end(), "-> Listing cut off: more than 1000000 lines or 256 MiB"),
              traces.end());
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); })); // the session goes on
    EXPECT_EQ(recorder.quits, 0);
    EXPECT_EQ(Commands(), OpenData(Passive() ? Lines{} : Lines{"PWD", "TYPE A"}) + (Lines{"LIST -a", "NOOP"}));
}

TEST_P(SilentServer, AnEndlessLineFailsAtTheByteCap)
{
    ASSERT_NO_FATAL_FAILURE(
        StartData(R"({"match": "^LIST", "action": "flood", "data": "x", "then": "426 Connection closed."})"));
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone failed"));
    EXPECT_GT(client.BytesTransferred(), int64_t(256) << 20);
    EXPECT_LT(client.BytesTransferred(), (int64_t(256) << 20) + 65536);
    EXPECT_EQ(recorder.quits, 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, SilentServer, ::testing::Values(false, true), ModeName);
