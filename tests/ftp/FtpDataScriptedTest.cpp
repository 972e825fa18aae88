// Listings, downloads, uploads and the check file against the scripted server, in active and
// passive mode: what is sent, what arrives, and the events on the way.
#include "ftp/ScriptedDataFixture.h"

#include <random>

namespace {

std::string RandomBytes(size_t size)
{
    std::mt19937 generator{unsigned(size)};
    std::string bytes(size, '\0');
    for (char &c : bytes) // plenty of CR, LF and zero bytes among the others
        c = char(generator() % 7 == 0 ? "\r\n\0"[generator() % 3] : generator() & 0xFF);
    return bytes;
}

std::string SendRule(const std::string &match, const std::string &reply, const std::string &body)
{
    return R"({"match": ")" + match + R"(", "action": "send", "reply": ")" + reply + R"(", "data_base64": ")" +
           Base64(body) + R"("})";
}

} // namespace

TEST_P(ScriptedData, ListingEventsAndCommands)
{
    ASSERT_NO_FATAL_FAILURE(StartData(SendRule("^LIST -a$", "150 Here it comes.", "a\r\nb\r\n")));
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_EQ(Commands(), Passive() ? (Lines{"PASV", "LIST -a"}) : (Lines{"PWD", "TYPE A", "PORT", "LIST -a"}));
    EXPECT_EQ(recorder.events, (Lines{"fiProgress a", "fiListingLine a", "fiProgress b", "fiListingLine b",
                                      "fiListingReady Listing ready", "fiTransferDone Transfer done",
                                      "OnFtpReady", "OnListingDone ok", "fiReady"}));
    EXPECT_EQ(recorder.traces, Lines{"-> Data socket connected"});
    EXPECT_EQ(client.Listing(), (Lines{"a", "b"}));
    EXPECT_EQ(client.BytesTransferred(), 6);
    // Only the active listing asks for the directory (PWD) and takes it; the passive one sends no PWD.
    EXPECT_EQ(client.InitialDirectory, Passive() ? "" : "/www");
}

TEST_P(ScriptedData, ListingLinesAreKeptAsSentAndAnUnendedLastLineIsDropped)
{
    const std::string first = "-rw-r--r-- 1 u g 5 Jan 01 2020 a.html";
    const std::string second = "  two  blanks\tand a tab  ";
    // The CR LF after this line straddles the end of the first 16384-byte read.
    const std::string prefix = first + "\r\n" + second + "\r\n\r\n";
    const std::string straddling(16383 - prefix.size(), 'x');
    const std::string body = prefix + straddling + "\r\nlast line\r\nno line end";
    ASSERT_NO_FATAL_FAILURE(StartData(SendRule("^LIST -a$", "150 Here.", body)));
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_EQ(client.Listing(), (Lines{first, second, "", straddling, "last line"}));
    EXPECT_EQ(client.BytesTransferred(), int64_t(body.size()));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
}

TEST_P(ScriptedData, AZeroByteStaysInItsLineAndTheLinesAfterItCount)
{
    ASSERT_NO_FATAL_FAILURE(StartData(SendRule("^LIST -a$", "150 Here.", std::string("a\r\nb\0c\r\nd\r\n", 11))));
    ASSERT_TRUE(Complete([&] { List(); }));
    EXPECT_EQ(client.Listing(), (Lines{"a", std::string("b\0c", 3), "d"}));
    EXPECT_EQ(client.BytesTransferred(), 11);
}

TEST_P(ScriptedData, DownloadIsWrittenByteForByteWhateverTheTransferType)
{
    const std::string body = RandomBytes(40000);
    ASSERT_NO_FATAL_FAILURE(StartData(
        SendRule("^RETR a.bin$", "150 Opening BINARY mode data connection for a.bin (40000 bytes).", body) + "," +
        SendRule("^RETR b.bin$", "150 Opening data connection.", "xyz")));
    client.TransferMode = AsciiTransfer; // decides only the TYPE command
    client.RemoteFile = "a.bin";
    client.LocalFile = LocalPath("a.bin");
    ASSERT_TRUE(Complete([&] { Get(); }));
    client.CloseLocalFile();
    EXPECT_TRUE(ReadLocalFile(LocalPath("a.bin")) == body);
    EXPECT_EQ(client.BytesTransferred(), 40000);
    EXPECT_EQ(Commands(), OpenData({"TYPE A"}) + Lines{"RETR a.bin"});
    EXPECT_TRUE(recorder.Has("fiFileSize 40000"));
    EXPECT_EQ(recorder.From("fiTransferDone Transfer done"),
              (Lines{"fiTransferDone Transfer done", "OnFtpReady", "OnFileReceived ok", "fiReady"}));
    // The reply and the data connection come on two sockets: their order is the network's.
    EXPECT_EQ(std::count(recorder.traces.begin(), recorder.traces.end(), "-> RETR expecting size: 40000"), 1);
    Lines dataTraces;
    for (const std::string &trace : recorder.traces)
        if (trace.rfind("-> RETR", 0) != 0)
            dataTraces.push_back(trace);
    EXPECT_EQ(dataTraces.front(), "-> Data socket connected");
    EXPECT_EQ(Lines(dataTraces.end() - 3, dataTraces.end()),
              (Lines{"-> Data socket CLOSED", "-> Data socket DISCONNECTED", "-> File CLOSED"}));

    recorder.Clear();
    client.TransferMode = BinaryTransfer;
    client.RemoteFile = "b.bin";
    client.LocalFile = LocalPath("b.bin");
    ASSERT_TRUE(Complete([&] { Get(); }));
    EXPECT_EQ(ReadLocalFile(LocalPath("b.bin")), "xyz");
    EXPECT_EQ(recorder.Count("fiFileSize 3"), 0); // the 150 named no size
    EXPECT_EQ(std::count(recorder.traces.begin(), recorder.traces.end(),
                         "-> Data Socket Received: 3   - Total Bytes Received: 3"),
              1);
    // TYPE goes out only when the type changes.
    client.RemoteFile = "a.bin";
    ASSERT_TRUE(Complete([&] { Get(); }));
    EXPECT_EQ(Commands(), OpenData({"TYPE A"}) + Lines{"RETR a.bin"} + OpenData({"TYPE I"}) + Lines{"RETR b.bin"} +
                              OpenData({}) + Lines{"RETR a.bin"});
    EXPECT_TRUE(ReadLocalFile(LocalPath("b.bin")) == body);

    // A shorter download over a longer file keeps none of the old bytes.
    client.RemoteFile = "b.bin";
    ASSERT_TRUE(Complete([&] { Get(); }));
    EXPECT_EQ(ReadLocalFile(LocalPath("b.bin")), "xyz");
}

TEST_P(ScriptedData, UploadGoesOutInBlocksOf2048Bytes)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "^STOR ", "action": "receive"})"));
    const Lines opened{"-> STOR issued: up.bin"};
    const Lines closed{"-> Data Socket Disconnected", "-> Transfer complete. File Closed."};
    struct Case {
        size_t size;
        Lines reads;
    };
    for (const Case &c : {Case{0, {}},
                          Case{4096, {"-> Disk Read: 2048 - Total Read: 2048", "-> Disk Read: 2048 - Total Read: 4096"}},
                          Case{4097, {"-> Disk Read: 2048 - Total Read: 2048", "-> Disk Read: 2048 - Total Read: 4096",
                                      "-> Disk Read: 1  - Total Read: 4097"}}}) {
        SCOPED_TRACE(c.size);
        const std::string content = RandomBytes(c.size);
        WriteLocal("up.bin", content);
        client.LocalFile = LocalPath("up.bin");
        client.RemoteFile = "up.bin";
        recorder.Clear();
        ASSERT_TRUE(Complete([&] { Put(); }));
        EXPECT_TRUE(server->uploaded("up.bin") == content);
        EXPECT_EQ(client.BytesTransferred(), int64_t(c.size));
        Lines traces{"-> File open: " + LocalPath("up.bin"), "-> STOR issued: up.bin",
                     "-> Data Socket Connected. FileSize: " + std::to_string(c.size)};
        traces = traces + c.reads + closed;
        EXPECT_EQ(recorder.traces, traces);
        EXPECT_EQ(recorder.Count("fiProgress"), int(c.reads.size()));
        EXPECT_EQ(recorder.From("fiTransferDone Transfer done"),
                  (Lines{"fiTransferDone Transfer done", "OnFtpReady", "OnFileStored ok", "fiReady"}));
    }
    EXPECT_EQ(Commands(), OpenData({"TYPE I"}) + Lines{"STOR up.bin"} + OpenData({}) + Lines{"STOR up.bin"} +
                              OpenData({}) + Lines{"STOR up.bin"});
}

// A passive STOR goes out while its data connection is being made. A server that answers 425
// to that gets the upload again with the connection made first, and so does every later one.
// In active mode a 425 is a failure like any other.
TEST_P(ScriptedData, EarlyStorRefusedIsSentAgainOnceConnectedForTheSession)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^STOR ", "times": 1, "reply": "425 No data connection yet."},
        {"match": "^STOR ", "action": "receive"})"));
    WriteLocal("up.bin", "first");
    client.LocalFile = LocalPath("up.bin");
    client.RemoteFile = "up.bin";
    ASSERT_TRUE(Complete([&] { Put(); }));
    WriteLocal("up.bin", "second");
    ASSERT_TRUE(Complete([&] { Put(); }));

    EXPECT_EQ(server->uploaded("up.bin"), "second");
    EXPECT_EQ(recorder.Count("OnFileStored ok"), Passive() ? 2 : 1);
    const Lines stor = OpenData({}) + Lines{"STOR up.bin"};
    EXPECT_EQ(Commands(), Passive() ? Lines{"TYPE I"} + stor + stor + stor : Lines{"TYPE I"} + stor + stor);
    if (!Passive())
        return;
    // After the 425 each STOR waits for its connection.
    Lines order;
    for (const std::string &trace : recorder.traces)
        if (trace.rfind("-> STOR issued", 0) == 0 || trace.rfind("-> Data connection made", 0) == 0)
            order.push_back(trace.substr(0, 12));
    EXPECT_EQ(order, (Lines{"-> STOR issu", "-> Data conn", "-> STOR issu", "-> Data conn", "-> STOR issu"}));
}

TEST_P(ScriptedData, CheckFileGoesToTheTopOrBelowIt)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "^STOR ", "action": "receive"})"));
    ASSERT_TRUE(Complete([&] { Check("/"); }));
    ASSERT_TRUE(Complete([&] { Check("/www"); }));
    const Lines open = Passive() ? Lines{"PASV"} : Lines{"TYPE I", "PORT"};
    EXPECT_EQ(Commands(), open + Lines{"STOR /fernhop.chk"} + OpenData({}) + Lines{"STOR /www/fernhop.chk"});
    EXPECT_EQ(server->uploaded("/fernhop.chk"), "Fernhop date/time check file\r\n");
    EXPECT_EQ(server->uploaded("/www/fernhop.chk"), "Fernhop date/time check file\r\n");
    EXPECT_EQ(recorder.Count("OnCheckFileSent ok"), 2);
    EXPECT_EQ(client.RemoteFile, "/www");
}

TEST_P(ScriptedData, RefusedTransfersCompleteAsFailuresAndTheSessionGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"(
        {"match": "^RETR ", "reply": "550 No such file."},
        {"match": "^STOR full", "reply": "452 Disk full."},
        {"match": "^STOR ", "reply": "553 Not allowed."})"));
    WriteLocal("up.bin", "content");
    const int descriptors = OpenDescriptors();

    client.RemoteFile = "missing.bin";
    client.LocalFile = LocalPath("missing.bin");
    ASSERT_TRUE(Complete([&] { Get(); }));
    client.CloseLocalFile();
    client.CloseLocalFile(); // a second close does nothing
    client.LocalFile = LocalPath("up.bin");
    for (const char *remote : {"up.bin", "full.bin"}) {
        client.RemoteFile = remote;
        ASSERT_TRUE(Complete([&] { Put(); }));
    }
    ASSERT_TRUE(Complete([&] { Check("/"); }));
    client.RemoteFile = "a\r\nDELE index.html"; // never sent: a local refusal instead
    ASSERT_TRUE(Complete([&] { Get(); }));
    ASSERT_TRUE(Complete([&] { client.KeepAlive(); }));

    EXPECT_EQ(recorder.Count("fiCommandFailed"), 5);
    EXPECT_EQ(recorder.Count("OnFileReceived failed"), 2);
    EXPECT_EQ(recorder.Count("OnFileStored failed"), 2);
    EXPECT_TRUE(recorder.Has("OnCheckFileSent error"));
    EXPECT_EQ(recorder.quits, 0);
    EXPECT_TRUE(client.Connected());
    client.CloseLocalFile();
    RunFor(50); // the closed data sockets' last notices
    EXPECT_EQ(OpenDescriptors(), descriptors);
    for (const std::string &command : CommandsAfterLogin())
        EXPECT_EQ(command.find("DELE"), std::string::npos);
}

TEST_P(ScriptedData, UploadThatCannotBeReadEndsAsAFailureWithoutHanging)
{
    ASSERT_NO_FATAL_FAILURE(StartData(R"({"match": "^STOR ", "action": "receive"})"));
    // A directory where a file was expected is refused before anything is sent.
    ASSERT_TRUE(QDir(local.path()).mkpath("folder/inside"));
    client.LocalFile = LocalPath("folder");
    client.RemoteFile = "folder";
    ASSERT_TRUE(Complete([&] { Put(); }));
    EXPECT_TRUE(recorder.Has(ErrorEvent(feLocalFileOpen)));
    EXPECT_TRUE(recorder.Has("OnFileStored failed"));
    EXPECT_FALSE(server->uploaded("folder").has_value());
    EXPECT_TRUE(client.Connected());
}

INSTANTIATE_TEST_SUITE_P(Modes, ScriptedData, ::testing::Values(false, true), ModeName);
