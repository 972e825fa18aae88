// The FTP log, the per-file display and the trace switches, fed as FtpClient1 would feed them.
#include "support/RecordingView.h"
#include "transfer/TransferDisplay.h"

#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {
std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class DisplayTest : public ::testing::Test {
protected:
    DisplayTest()
    {
        display.tickCount = [this] { return tick; };
        qputenv("FERNHOP_HOME", (home.path() + "/settings").toUtf8());
    }
    ~DisplayTest() override { qunsetenv("FERNHOP_HOME"); }

    void Info(FtpInfo info, const std::string &text) { display.FtpClient1FtpInfo(&ws.FtpClient1, info, text); }
    std::string Label(TextSlot slot) { return view.texts[slot]; }
    std::string TraceFile() const { return ReadAll(home.path().toStdString() + "/settings/fernopDebug.txt"); }

    QTemporaryDir home;
    Options options;
    RecordingView view;
    Workspace ws{options, view};
    TransferDisplay display{ws};
    int64_t tick = 0;
};
} // namespace

TEST_F(DisplayTest, LogLinesLoseLineBreaksAndMaskPasswords)
{
    Info(fiReplyText, "230-Welcome\r\n to the\nserver\r\n");
    Info(fiCommandSent, "PASS my secret\r\n");
    Info(fiCommandSent, "pass lower case\r\n");
    Info(fiCommandSent, "ACCT billing-42\r\n");
    Info(fiReplyText, "\r\n");
    Info(fiTrace, "-> Data socket connected");
    // Replies read together: one line each; a stray line break inside a line is dropped.
    Info(fiReplyText, "426 Transfer aborted via ABOR.\r\n226 ABOR command successful.\r\n");
    EXPECT_EQ(view.logLines, (std::vector<std::string>{"230-Welcome", " to theserver", "PASS *****", "pass lower case",
                                                       "ACCT *****", "426 Transfer aborted via ABOR.",
                                                       "226 ABOR command successful."}));

    display.NTdebugButtonClick();
    Info(fiTrace, "-> Data socket connected");
    EXPECT_EQ(view.logLines.back(), "-> Data socket connected");
}

TEST_F(DisplayTest, TraceSwitchesAndTheTraceFile)
{
    Info(fiReplyText, "220 before tracing");
    EXPECT_TRUE(display.VersionLabelClick());
    EXPECT_EQ(view.logLines.back(), "DEBUG: on. Fernhop - v3.7b");
    Info(fiCommandSent, "PASS x\r\n");
    Info(fiReplyText, "230 in");
    EXPECT_FALSE(display.VersionLabelClick());
    EXPECT_EQ(view.logLines.back(), "DEBUG: off");
    Info(fiReplyText, "221 after tracing");
    // Only what went through the log while tracing, masked; the switch lines go to the memo alone.
    EXPECT_EQ(TraceFile(), "PASS *****\r\n230 in\r\n");

    EXPECT_TRUE(display.VersionCaptionClick());
    EXPECT_FALSE(display.VersionCaptionClick());
    EXPECT_TRUE(display.NTdebugButtonClick());
    EXPECT_EQ(display.NTdebugButtonCaption(), "NT 4.0 Debug ON");
    EXPECT_FALSE(display.NTdebugButtonClick());
    EXPECT_EQ(display.NTdebugButtonCaption(), "NT 4.0 Debug OFF");
}

TEST_F(DisplayTest, ShutdownDumpReplacesTheLogFileOnlyWhenTracing)
{
    display.memoLines = [this] { return view.logLines; };
    const std::string dump = home.path().toStdString() + "/settings/fernhop.log";
    EXPECT_TRUE(display.ShutdownDump());
    EXPECT_TRUE(view.logLines.empty());

    display.VersionLabelClick();
    Info(fiReplyText, "226 done");
    ASSERT_TRUE(display.ShutdownDump());
    ASSERT_TRUE(display.ShutdownDump()); // replaced, not appended
    EXPECT_EQ(ReadAll(dump), "DEBUG: on. Fernhop - v3.7b\r\n226 done\r\nDEBUG: Fernhop - v3.7b\r\n"
                             "DEBUG: Fernhop shutdown. End of log.\r\nDEBUG: Fernhop - v3.7b\r\n"
                             "DEBUG: Fernhop shutdown. End of log.\r\n");
}

TEST_F(DisplayTest, SpeedTimeAndPercentOfAFile)
{
    display.ShowFileLabels();
    display.StartFile("a.zip", 10240);
    EXPECT_EQ(Label(TextSlot::fileNameLabel), " a.zip");
    EXPECT_EQ(Label(TextSlot::fileSizeLabel), " 10240");
    EXPECT_EQ(Label(TextSlot::transferredLabel), " 0");

    tick = 1000; // not more than a second: bytes and percent only
    display.ProgressReport(2048);
    EXPECT_EQ(Label(TextSlot::transferredLabel), " 2048");
    EXPECT_EQ(Label(TextSlot::kpsLabel), "");
    EXPECT_EQ(view.texts[TextSlot::progressPercent], "20%");

    tick = 1500; // the first sample fills the history: the average is that sample
    display.ProgressReport(5120);
    EXPECT_EQ(Label(TextSlot::kpsLabel), "3.3K/s");
    EXPECT_EQ(Label(TextSlot::timeRemainLabel), " 0:03");
    EXPECT_EQ(view.texts[TextSlot::progressPercent], "50%");

    tick = 2000;
    display.ProgressReport(20000); // grown past its size
    EXPECT_EQ(view.texts[TextSlot::progressPercent], "100%");

    display.StartFile("empty.txt", 0);
    tick = 4000;
    display.ProgressReport(0);
    EXPECT_EQ(display.Rate().Percent(), 0);
    EXPECT_EQ(Label(TextSlot::kpsLabel), "0.0K/s");

    display.HideFileLabels();
    EXPECT_EQ(Label(TextSlot::kpsLabel), "");
    EXPECT_EQ(Label(TextSlot::fileNameLabel), "");
}

TEST_F(DisplayTest, UploadSizeReportAndListingProgress)
{
    Info(fiFileSize, "777"); // not uploading: ignored
    EXPECT_EQ(Label(TextSlot::fileSizeLabel), "");
    ws.run.uploading = true;
    Info(fiFileSize, "4096");
    EXPECT_EQ(Label(TextSlot::fileSizeLabel), " 4096");
    EXPECT_EQ(display.Rate().ExpectedSize(), 4096);
    Info(fiFileSize, "12x");
    EXPECT_EQ(Label(TextSlot::fileSizeLabel), "");
    EXPECT_EQ(display.Rate().ExpectedSize(), 0);

    ws.run.uploading = false;
    ws.remoteListing = true;
    Info(fiProgress, "");
    EXPECT_EQ(view.LastStatus(), "Loading Remote Directory: 0 files  [0 bytes]");
}
