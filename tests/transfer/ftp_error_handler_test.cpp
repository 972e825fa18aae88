// The main window's handling of FTP errors: log lines, status, buttons, prompt and sound.
#include "transfer/FtpErrorHandler.h"

#include "ftp/ScriptedFtpFixture.h" // Script(), RunUntil
#include "support/FtpServers.h"
#include "support/RecordingView.h"
#include "transfer/Workspace.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

class FtpErrorHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        options_.sound.on[size_t(SoundEvent::Error) - 1] = true;
        handler_.Attach();
    }
    void Raise(FtpError code) { handler_.FtpClient1FtpError(&ws_.FtpClient1, code, "Error"); }
    int ErrorSounds() const { return int(std::count(view_.sounds.begin(), view_.sounds.end(), SoundEvent::Error)); }

    Options options_;
    RecordingView view_;
    Workspace ws_{options_, view_};
    FtpErrorHandler handler_{ws_};
};

} // namespace

TEST_F(FtpErrorHandlerTest, PlainCodesAreLoggedWithTheirTextAndTheErrorSound)
{
    const std::vector<std::pair<FtpError, std::string>> texts{
        {feConnectionRefused, "connection refused"},
        {feAddressResolution, "Address resolution error. You must already be dialed-in to the internet."},
        {feServerDown, "The FTP server may be down"},
        {feWinsockNotInitialised, "Winsock not initialised"},
        {feFileNotFound, "File not found"}};
    Lines expected;
    for (const auto &[code, text] : texts) {
        Raise(code);
        expected.push_back("FTP ERROR: " + text);
        EXPECT_EQ(handler_.LastFtpErrorText(), text);
    }
    EXPECT_EQ(view_.logLines, expected);
    EXPECT_EQ(ErrorSounds(), int(texts.size()));
    EXPECT_TRUE(ws_.run.ftpErrorSeen);
    EXPECT_TRUE(view_.messages.empty()); // no message box outside trace mode
}

TEST_F(FtpErrorHandlerTest, NoneSetsTheFlagButShowsNothing)
{
    Raise(feNone);
    EXPECT_TRUE(ws_.run.ftpErrorSeen);
    EXPECT_TRUE(view_.logLines.empty());
    EXPECT_EQ(ErrorSounds(), 0);
    EXPECT_EQ(handler_.LastFtpErrorText(), "");
}

TEST_F(FtpErrorHandlerTest, InternalErrorIsOneCommunicationLineAndReleasesTheLatch)
{
    EXPECT_EQ(CommunicationErrorLine(10038), "FTP Communication Error: WSAENOTSOCK");
    EXPECT_EQ(CommunicationErrorLine(10009), "FTP Communication Error: WSAEBADF");
    ws_.FtpClient1.SetClosing(true);
    Raise(feInternalError);
    EXPECT_EQ(view_.logLines, Lines{CommunicationErrorLine(ws_.FtpClient1.SocketErrorNumber())});
    EXPECT_FALSE(ws_.FtpClient1.Closing());
    EXPECT_EQ(ErrorSounds(), 0);
}

TEST_F(FtpErrorHandlerTest, AccessDeniedResetsTheButtonsForAnotherTry)
{
    ws_.AllButtonsOff();
    view_.SetEnabled(Control::stopBtn, true);
    Raise(feAccessDenied);
    EXPECT_EQ(view_.LastStatus(), "Access Denied. Incorrect username or password.");
    EXPECT_TRUE(view_.Enabled(Control::connectBtn));
    EXPECT_TRUE(view_.Enabled(Control::nickNameCombo));
    EXPECT_FALSE(view_.Enabled(Control::stopBtn));
    EXPECT_FALSE(view_.Enabled(Control::compareBtn));
    EXPECT_EQ(view_.logLines, Lines{"FTP ERROR: Access Denied"});
    EXPECT_EQ(ErrorSounds(), 1);
}

TEST_F(FtpErrorHandlerTest, LocalFileOpenGoesToTheTransferSequencer)
{
    int handedOver = 0;
    handler_.localFileOpenFailed = [&] { ++handedOver; };
    Raise(feLocalFileOpen);
    EXPECT_EQ(handedOver, 1);
    EXPECT_TRUE(view_.logLines.empty());
    EXPECT_EQ(ErrorSounds(), 0); // the sequencer's report plays it

    handler_.localFileOpenFailed = nullptr; // nobody to hand it to: it is logged
    ws_.FtpClient1.LocalFile = "/www/index.html";
    Raise(feLocalFileOpen);
    EXPECT_EQ(view_.logLines, Lines{"FTP ERROR: Fernhop could not open file: /www/index.html"});
}

TEST_F(FtpErrorHandlerTest, TraceModeAlsoShowsTheMessageInABox)
{
    ws_.debugTrace = true;
    Raise(feConnectionReset);
    EXPECT_EQ(view_.messages, Lines{"DEBUG: connection reset"});
}

TEST_F(FtpErrorHandlerTest, DataErrorNamesTheNumberAndTheStep)
{
    EXPECT_EQ(DataErrorText(10054, "DataDoListing"), "Data error number: 10054 in 'DataDoListing'");

    // A passive listing whose data connection is refused, through the client.
    const uint16_t closed = fernhop::test::freeLoopbackPort();
    auto server = fernhop::test::ScriptedFtpServer::start(Script(
        R"({"match": "^PWD$", "reply": "257 \"/\""},
           {"match": "^PASV$", "reply": "227 Entering Passive Mode (127,0,0,1,)" + std::to_string(closed / 256) + "," +
        std::to_string(closed % 256) + R"()."},
           {"match": "^LIST$", "reply": "150 Here."})"));
    ASSERT_TRUE(server);
    TFtpClient &client = ws_.FtpClient1;
    int quits = 0;
    client.OnFtpQuit = [&](TFtpClient *) { ++quits; };
    client.OnLoggedIn = [](TFtpClient *c) { c->GetListingPasv(); };
    client.SetFtpServer("127.0.0.1");
    client.SetFtpPort(server->port());
    client.UserName = "joe";
    client.UserPassword = "secret";
    client.Connect();
    ASSERT_TRUE(RunUntil([&] { return quits > 0; }));
    EXPECT_EQ(view_.logLines, Lines{"FTP ERROR: Data error number: 10061 in 'DataListConnected'"});
    EXPECT_EQ(ErrorSounds(), 1);
}
