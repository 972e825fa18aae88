// GetFileTime: MDTM for one file, its reply read as a UTC time to the second.
#include "ftp/FtpReplyFields.h"
#include "ftp/ScriptedFtpFixture.h"

TEST(MdtmReply, FourteenDigitsAndAnOptionalFraction)
{
    const TDateTime leapDay = EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58);
    EXPECT_EQ(ParseMdtmReply("213 20240229235958"), leapDay);
    EXPECT_EQ(ParseMdtmReply("213 20240229235958.123"), leapDay); // the fraction is dropped
    EXPECT_EQ(ParseMdtmReply("213 20240229235958  "), leapDay);
    for (const char *line : {"213 2024022923595", "213 202402292359580", "213 20230229235958",
                             "213 20240229245958", "213 20240229235960", "213 20240229235958.",
                             "213 20240229235958.1x", "213 191240229235958", "213 2024-02-29 23:59:58",
                             "213-20240229235958", "550 20240229235958", "213"})
        EXPECT_FALSE(ParseMdtmReply(line)) << line;
}

TEST_F(ScriptedFtp, FileTimeComesFromA213AndAnythingElseFails)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(R"(
        {"match": "^MDTM /www/a.html$", "reply": "213 20240229235958.5"},
        {"match": "^MDTM /www/gone.html$", "reply": "550 No such file."},
        {"match": "^MDTM /www/odd.html$", "reply": "213 Feb 29 2024"})"));
    ASSERT_TRUE(Complete([&] { client.GetFileTime("/www/a.html"); }));
    EXPECT_EQ(recorder.events, (Lines{"OnFtpReady", "OnFileTimeDone ok", "fiReady"}));
    EXPECT_EQ(client.RemoteFileTime(), EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58));

    for (const char *path : {"/www/gone.html", "/www/odd.html"}) {
        recorder.Clear();
        ASSERT_TRUE(Complete([&] { client.GetFileTime(path); }));
        EXPECT_EQ(recorder.events, (Lines{"fiCommandFailed", "OnFtpReady", "OnFileTimeDone failed", "fiReady"}));
        EXPECT_FALSE(client.MdtmRefused()); // the command is known, this file had no time
    }
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"MDTM /www/a.html", "MDTM /www/gone.html", "MDTM /www/odd.html"}));
}

TEST_F(ScriptedFtp, UnknownMdtmIsRememberedForTheSession)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(R"({"match": "^MDTM ", "reply": "502 Command not implemented."})"));
    EXPECT_FALSE(client.MdtmRefused());
    ASSERT_TRUE(Complete([&] { client.GetFileTime("a.html"); }));
    EXPECT_TRUE(recorder.Has("OnFileTimeDone failed"));
    EXPECT_TRUE(client.MdtmRefused());

    // A new session asks again.
    client.Quit();
    ASSERT_TRUE(WaitForQuit());
    client.Reset();
    recorder.Clear();
    ASSERT_TRUE(ConnectAndWait());
    EXPECT_FALSE(client.MdtmRefused());
}

TEST_F(ScriptedFtp, FileTimeOfAPathWithALineBreakIsRefusedUnsent)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(R"({"match": "^MDTM ", "reply": "213 20240229235958"})"));
    for (const char *path : {"a.html\r\nDELE index.html", "a.html\nDELE index.html", ""}) {
        recorder.Clear();
        ASSERT_TRUE(Complete([&] { client.GetFileTime(path); }));
        EXPECT_EQ(recorder.events, (Lines{ErrorEvent(feFileNotFound), "OnFtpReady", "OnFileTimeDone failed", "fiReady"}));
    }
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); }));
    EXPECT_EQ(CommandsAfterLogin(), Lines{"NOOP"});
    EXPECT_TRUE(client.Connected());
}
