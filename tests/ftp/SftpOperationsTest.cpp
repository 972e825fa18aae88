// An SFTP session's operations against OpenSSH's sshd, with the events an FTP session raises:
// commands, the listing as machine listing lines, uploads that only ever replace a file whole,
// downloads, and a session cut off in the middle of a transfer.
#include "ftp/SftpFixture.h"
#include "ftp/FtpRemoteSession.h"
#include "site/MlsdLine.h"

#include <fcntl.h>
#include <filesystem>
#include <random>

namespace {

constexpr std::time_t kNoon = 1796731200; // 2026-12-08 12:00:00 UTC

std::string Bytes(size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string text(size, '\0');
    for (char &c : text)
        c = char(random());
    return text;
}

bool WriteLocal(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

} // namespace

TEST_F(Sftp, CommandsAnswerAsFtpCommandsDo)
{
    ASSERT_TRUE(server->makeDir("www/old"));
    ASSERT_TRUE(server->writeFile("www/a.txt", "x"));
    ASSERT_TRUE(server->writeFile("www/run.sh", "#!/bin/sh\n"));
    ASSERT_TRUE(server->setModificationTime("www/run.sh", kNoon));
    client.InitialDirectory = "www";
    ASSERT_TRUE(LogIn()) << server->log();
    const std::string www = server->path("www");
    recorder.Clear();

    ASSERT_TRUE(Complete([&] { client.ChangeDirectory(www + "/old/.."); }));
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("a.txt"); })); // a file: refused
    ASSERT_TRUE(Complete([&] { client.MakeDirectory("new"); }));
    ASSERT_TRUE(Complete([&] { client.RemoveDirectory("old"); }));
    ASSERT_TRUE(Complete([&] { client.RemoveDirectory("missing"); }));
    ASSERT_TRUE(Complete([&] { client.DeleteFile("a.txt"); }));
    ASSERT_TRUE(Complete([&] { client.SendCommand("SITE CHMOD 750 run.sh"); }));
    ASSERT_TRUE(Complete([&] { client.SendCommand("PWD"); }));
    ASSERT_TRUE(Complete([&] { client.SendCommand("MFMT 20261208120000 new"); }));
    ASSERT_TRUE(Complete([&] { client.GetFileTime("run.sh"); }));
    EXPECT_DOUBLE_EQ(client.RemoteFileTime(), 25569.0 + double(kNoon) / 86400.0); // UTC, as MDTM gives it
    ASSERT_TRUE(Complete([&] { client.DeleteFile("bad\r\nname"); }));
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); }));
    ASSERT_TRUE(Complete([&] { client.SendCheckFilePasv(www); })); // exact times need none

    EXPECT_EQ(recorder.sent, (Lines{"STAT " + www, "STAT " + www + "/a.txt", "MKDIR " + www + "/new",
                                    "RMDIR " + www + "/old", "RMDIR " + www + "/missing", "REMOVE " + www + "/a.txt",
                                    "SETSTAT " + www + "/run.sh mode 0750", "SETSTAT " + www + "/new modify 1796731200",
                                    "STAT " + www + "/run.sh"}));
    EXPECT_EQ(recorder.events, (Lines{
        "OnFtpReady", "OnDirectoryChanged ok", "fiReady",
        "fiCommandFailed", "OnFtpReady", "OnDirectoryChanged failed", "fiReady",
        "OnFtpReady", "OnDirectoryCreated ok", "fiReady",
        "OnFtpReady", "OnDirectoryDeleted ok", "fiReady",
        "fiCommandFailed", "OnFtpReady", "OnDirectoryDeleted failed", "fiReady",
        "OnFtpReady", "OnFileDeleted ok", "fiReady",
        "OnFtpReady", "OnCommandIssued ok", "fiReady",
        "fiCommandRejected", "OnFtpReady", "OnCommandIssued failed", "fiReady",
        "OnFtpReady", "OnCommandIssued ok", "fiReady",
        "OnFtpReady", "OnFileTimeDone ok", "fiReady",
        "fiCommandFailed", "OnFtpReady", "OnFileDeleted failed", "fiReady",
        "OnFtpReady", "fiReady",
        "OnFtpReady", "OnCheckFileSent error", "fiReady"}));
    EXPECT_TRUE(server->exists("www/new"));
    EXPECT_FALSE(server->exists("www/old"));
    EXPECT_FALSE(server->exists("www/a.txt"));
    EXPECT_EQ(server->mode("www/run.sh"), 0750u);
    EXPECT_EQ(server->modificationTime("www/new"), kNoon);
}

TEST_F(Sftp, ListingGivesMachineLinesAndLinksNeverLeadOut)
{
    const std::string outside = home + "/outside";
    std::filesystem::create_directories(outside);
    ASSERT_TRUE(WriteLocal(outside + "/keep.txt", "not the site's"));
    ASSERT_TRUE(server->writeFile("a.txt", "12345"));
    ASSERT_TRUE(server->writeFile("with space.txt", ""));
    ASSERT_TRUE(server->writeFile("grüße.html", "<p>"));
    ASSERT_TRUE(server->makeDir("sub"));
    ASSERT_TRUE(server->makeLink("to-a", "a.txt"));
    ASSERT_TRUE(server->makeLink("to-outside", outside));
    ASSERT_TRUE(server->makeLink("dangling", "nowhere"));
    for (const char *name : {"a.txt", "with space.txt", "grüße.html", "sub", "to-a", "to-outside", "dangling"})
        ASSERT_TRUE(server->setModificationTime(name, kNoon));
    ASSERT_TRUE(LogIn()) << server->log();

    ASSERT_TRUE(Complete([&] { client.GetListingPasv(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_TRUE(client.ListedWithMlsd());
    Lines lines = client.Listing();
    std::sort(lines.begin(), lines.end(), [](const std::string &a, const std::string &b) {
        return a.substr(a.find(' ')) < b.substr(b.find(' '));
    });
    EXPECT_EQ(lines, (Lines{
        "type=file;size=5;modify=20261208120000;UNIX.mode=0644; a.txt",
        "type=OS.unix=slink;modify=20261208120000;UNIX.mode=0777; dangling",
        "type=file;size=3;modify=20261208120000;UNIX.mode=0644; grüße.html",
        "type=dir;size=4096;modify=20261208120000;UNIX.mode=0755; sub",
        "type=file;size=5;modify=20261208120000;UNIX.mode=0644; to-a",
        "type=OS.unix=slink;modify=20261208120000;UNIX.mode=0777; to-outside",
        "type=file;size=0;modify=20261208120000;UNIX.mode=0644; with space.txt"}));
    // As the listing's reader takes them: the link out of the tree is no directory to walk into.
    for (const std::string &line : lines) {
        MlsdEntry entry;
        ASSERT_EQ(ReadMlsdLine(line, entry), MlsdLine::entry) << line;
        EXPECT_EQ(entry.kind, entry.name == "sub" ? ekDirectory : ekFile) << line;
    }

    // Deleting the link removes the link, never what it leads to.
    ASSERT_TRUE(Complete([&] { client.DeleteFile("to-outside"); }));
    EXPECT_TRUE(recorder.Has("OnFileDeleted ok"));
    EXPECT_FALSE(server->exists("to-outside"));
    EXPECT_TRUE(std::filesystem::exists(outside + "/keep.txt"));

    // A directory that cannot be read: the listing fails, the session goes on.
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("sub"); }));
    ASSERT_TRUE(Complete([&] { client.RemoveDirectory(server->path("sub")); }));
    recorder.Clear();
    ASSERT_TRUE(Complete([&] { client.GetListing(); }));
    EXPECT_EQ(recorder.events, (Lines{"fiCommandFailed", "fiListingReady Listing ready", "fiTransferDone Transfer done",
                                      "OnFtpReady", "OnListingDone failed", "fiReady"}));
}

TEST_F(Sftp, UploadsReplaceAFileOnlyWhenWholeAndKeepItsMode)
{
    ASSERT_TRUE(server->writeFile("www/page.html", "old"));
    ASSERT_TRUE(server->makeDir("www"));
    std::filesystem::permissions(server->path("www/page.html"), std::filesystem::perms(0755));
    const std::string local = home + "/page.html";
    const std::string body = Bytes(6 << 20, 1);
    ASSERT_TRUE(WriteLocal(local, body));
    const timespec times[2] = {{kNoon, 0}, {kNoon, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, local.c_str(), times, 0), 0);
    client.InitialDirectory = "www";
    ASSERT_TRUE(LogIn()) << server->log();

    // Whatever a reader of the site sees during the upload is the old file, whole.
    int looks = 0, halfSeen = 0;
    TFtpInfoEvent record = client.OnFtpInfo;
    client.OnFtpInfo = [&](TFtpClient *sender, FtpInfo info, const std::string &text) {
        record(sender, info, text);
        if (info == fiProgress && ++looks % 16 == 0) {
            const std::optional<std::string> now = server->readFile("www/page.html");
            if (now != "old" && now != body)
                ++halfSeen;
        }
    };
    client.LocalFile = local;
    client.RemoteFile = "page.html";
    client.UploadFileTime = UnixToLocalDateTime(kNoon);
    ASSERT_TRUE(Complete([&] { client.PutFilePasv(); }));
    EXPECT_TRUE(recorder.Has("OnFileStored ok")) << server->log();
    EXPECT_GT(looks, 16);
    EXPECT_EQ(halfSeen, 0);
    EXPECT_EQ(server->readFile("www/page.html"), body);
    EXPECT_EQ(client.BytesTransferred(), int64_t(body.size()));
    EXPECT_TRUE(client.FileTimeSet());
    EXPECT_EQ(server->modificationTime("www/page.html"), kNoon);
    EXPECT_EQ(server->mode("www/page.html"), 0755u);

    // A new file, in another directory given by its path.
    client.RemoteFile = server->path("new.txt");
    ASSERT_TRUE(WriteLocal(local, "fresh"));
    ASSERT_TRUE(Complete([&] { client.PutFile(); }));
    EXPECT_EQ(server->readFile("new.txt"), "fresh");
    EXPECT_EQ(server->modificationTime("new.txt"), kNoon);

    // No temporary or set-aside file is left behind.
    for (const auto &entry : std::filesystem::recursive_directory_iterator(server->root()))
        EXPECT_EQ(entry.path().filename().string().find(".fernhop-"), std::string::npos) << entry.path();

    // A directory where the file should go: refused, nothing changed.
    ASSERT_TRUE(server->makeDir("www/dir.html"));
    client.RemoteFile = "dir.html";
    recorder.Clear();
    ASSERT_TRUE(Complete([&] { client.PutFile(); }));
    EXPECT_TRUE(recorder.Has("OnFileStored failed"));
    EXPECT_TRUE(std::filesystem::is_directory(server->path("www/dir.html")));
}

TEST_F(Sftp, DownloadMovesEveryByte)
{
    const std::string body = Bytes(3 << 20, 2);
    ASSERT_TRUE(server->writeFile("data.bin", body));
    ASSERT_TRUE(LogIn()) << server->log();
    client.RemoteFile = "data.bin";
    client.LocalFile = home + "/data.bin";
    ASSERT_TRUE(Complete([&] { client.GetFilePasv(); }));
    EXPECT_TRUE(recorder.Has("OnFileReceived ok"));
    EXPECT_EQ(fernhop::test::readWholeFile(home + "/data.bin"), body);
    EXPECT_EQ(client.BytesTransferred(), int64_t(body.size()));
    EXPECT_EQ(client.AnnouncedSize(), int64_t(body.size()));

    client.RemoteFile = "missing.bin";
    recorder.Clear();
    ASSERT_TRUE(Complete([&] { client.GetFile(); }));
    EXPECT_EQ(recorder.events, (Lines{"fiCommandFailed", "OnFtpReady", "OnFileReceived failed", "fiReady"}));
}

// The connection dies (the server's session processes killed) or the transfer is aborted in the
// middle: the operation fails, and the old file on the server is still the old file.
TEST_F(Sftp, TransferCutShortLeavesTheOldFile)
{
    const std::string body = Bytes(48 << 20, 3);
    const std::string local = home + "/big.bin";
    ASSERT_TRUE(WriteLocal(local, body));
    ASSERT_TRUE(server->writeFile("big.bin", "old"));
    ASSERT_TRUE(LogIn()) << server->log();

    // Aborted: the session goes on.
    bool stop = false;
    TFtpInfoEvent record = client.OnFtpInfo;
    client.OnFtpInfo = [&](TFtpClient *sender, FtpInfo info, const std::string &text) {
        record(sender, info, text);
        if (info == fiProgress && stop && sender->BytesTransferred() > (2 << 20)) {
            stop = false;
            sender->Abort();
        }
    };
    client.LocalFile = local;
    client.RemoteFile = "big.bin";
    stop = true;
    ASSERT_TRUE(Complete([&] { client.PutFile(); }));
    EXPECT_TRUE(recorder.Has("OnFileStored failed"));
    EXPECT_EQ(server->readFile("big.bin"), "old");
    EXPECT_FALSE(server->exists(".big.bin.fernhop-new"));
    ASSERT_TRUE(Complete([&] { client.GetListing(); }));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));

    // Killed mid-upload.
    client.OnFtpInfo = [&](TFtpClient *sender, FtpInfo info, const std::string &text) {
        record(sender, info, text);
        if (info == fiProgress && stop && sender->BytesTransferred() > (2 << 20)) {
            stop = false;
            server->killSessions();
        }
    };
    recorder.Clear();
    stop = true;
    client.PutFile();
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; }));
    EXPECT_TRUE(recorder.Has("OnFileStored failed"));
    EXPECT_TRUE(recorder.Has(ErrorEvent(feConnectionAborted)) || recorder.Has(ErrorEvent(feConnectionReset)))
        << ::testing::PrintToString(recorder.events);
    EXPECT_EQ(server->readFile("big.bin"), "old");

    // Killed mid-download.
    ASSERT_TRUE(server->writeFile("big.bin", body));
    client.Reset();
    ASSERT_TRUE(LogIn());
    recorder.Clear();
    client.LocalFile = home + "/back.bin";
    stop = true;
    client.GetFile();
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; }));
    EXPECT_TRUE(recorder.Has("OnFileReceived failed"));
    EXPECT_FALSE(client.Success());
    EXPECT_LT(client.BytesTransferred(), int64_t(body.size()));
    EXPECT_EQ(server->readFile("big.bin"), body);
}

TEST_F(Sftp, ServerThatStopsAnsweringEndsWithReplyTimeOut)
{
    ASSERT_TRUE(server->writeFile("big.bin", Bytes(32 << 20, 4)));
    client.ReplyTimeOutSeconds = 1;
    ASSERT_TRUE(LogIn()) << server->log();
    bool pause = true;
    TFtpInfoEvent record = client.OnFtpInfo;
    client.OnFtpInfo = [&](TFtpClient *sender, FtpInfo info, const std::string &text) {
        record(sender, info, text);
        if (info == fiProgress && pause && sender->BytesTransferred() > (1 << 20)) {
            pause = false;
            server->pauseSessions(true);
        }
    };
    client.RemoteFile = "big.bin";
    client.LocalFile = home + "/big.bin";
    client.GetFile();
    const bool ended = RunUntil([&] { return recorder.quits > 0; });
    server->pauseSessions(false);
    ASSERT_TRUE(ended);
    EXPECT_EQ(recorder.From(ErrorEvent(feReplyTimeOut)),
              (Lines{ErrorEvent(feReplyTimeOut), "OnFtpReady", "OnFileReceived failed", "fiReady", "OnFtpQuit"}));
    EXPECT_EQ(client.ReplyTimeOutText(), "Server did not answer READ " + server->path("big.bin") + " for 1 second");
}

// The transfer pool's sessions drive the client through the remote-session interface; over SFTP
// they list, store and retrieve as over FTP. The server is reached by its name, looked up, and
// known_hosts names it so.
TEST_F(Sftp, RemoteSessionByNameListsStoresAndRetrieves)
{
    FtpRemoteSession session;
    TFtpClient &c = session.Client();
    c.UseSftp = true;
    c.SetFtpServer("LocalHost");
    c.SetFtpPort(server->port());
    c.UserName = server->user();
    c.UserPassword = server->password();
    c.KnownHostsFile = knownHosts;
    WriteKnownHosts("[localhost]:" + std::to_string(server->port()) + server->knownHostsLine().substr(
                                                                           server->knownHostsLine().find(' ')) + "\n");
    ASSERT_TRUE(server->writeFile("www/a.txt", "12345"));
    auto wait = [](auto start) {
        std::optional<RemoteOutcome> outcome;
        start([&](const RemoteOutcome &o) { outcome = o; });
        EXPECT_TRUE(RunUntil([&] { return outcome.has_value(); }));
        return outcome.value_or(RemoteOutcome{});
    };
    EXPECT_TRUE(wait([&](RemoteSession::Done done) { session.Open(done); }).ok);

    std::vector<std::string> lines;
    bool machine = false;
    EXPECT_TRUE(wait([&](RemoteSession::Done done) {
                    session.List(server->path("www"), [&lines, &machine, done](const RemoteOutcome &o, const std::vector<std::string> &l, bool m) {
                        lines = l;
                        machine = m;
                        done(o);
                    });
                }).ok);
    EXPECT_TRUE(machine);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(lines[0].find(' ')), " a.txt");

    ASSERT_TRUE(WriteLocal(home + "/b.txt", "bee"));
    RemoteStore store{home + "/b.txt", server->path("www/b.txt"), false, UnixToLocalDateTime(kNoon)};
    EXPECT_TRUE(wait([&](RemoteSession::Done done) { session.Store(store, done); }).ok);
    EXPECT_EQ(server->readFile("www/b.txt"), "bee");
    EXPECT_EQ(server->modificationTime("www/b.txt"), kNoon);
    RemoteRetrieve retrieve{server->path("www/a.txt"), home + "/a.txt", false};
    EXPECT_TRUE(wait([&](RemoteSession::Done done) { session.Retrieve(retrieve, done); }).ok);
    EXPECT_EQ(fernhop::test::readWholeFile(home + "/a.txt"), "12345");
    const RemoteOutcome missing = wait([&](RemoteSession::Done done) { session.Delete("www/missing", done); });
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(missing.sessionLost);
    EXPECT_EQ(missing.reason, "550 No such file (SFTP status 2)");
}
