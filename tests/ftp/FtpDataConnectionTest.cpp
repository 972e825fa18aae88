// Making the data connection: where a passive connection goes, unreadable PASV replies, a
// connection that cannot be made, who may connect to the active listener, and the checks an
// operation makes before it sends anything.
#include "ftp/ScriptedDataFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

// A one-connection TCP listener on 127.0.0.1 serving `body` from a thread, then closing.
class DataServer {
public:
    explicit DataServer(std::string body) : body_(std::move(body))
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(fd_, 1);
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            pollfd waiting{fd_, POLLIN, 0};
            if (::poll(&waiting, 1, 10000) != 1)
                return;
            int connection = ::accept(fd_, nullptr, nullptr);
            ::send(connection, body_.data(), body_.size(), MSG_NOSIGNAL);
            ::close(connection);
        });
    }
    ~DataServer()
    {
        thread_.join();
        ::close(fd_);
    }
    // The port as the two last PASV numbers.
    std::string PasvPort() const { return std::to_string(port_ / 256) + "," + std::to_string(port_ % 256); }

private:
    std::string body_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

bool HasTrace(const FtpRecorder &recorder, const std::string &text)
{
    return std::find(recorder.traces.begin(), recorder.traces.end(), text) != recorder.traces.end();
}

} // namespace

class DataConnection : public ScriptedFtp {
protected:
    QTemporaryDir local;
};

TEST_F(DataConnection, PassiveConnectionGoesToTheControlPeerWhateverTheReplyNames)
{
    DataServer data("x\r\ny\r\n");
    // The final reply comes before the data: the listing completes once both are in.
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(DataRules(
        R"({"match": "^PASV$", "reply": "227 Entering Passive Mode (10,9,8,7,)" + data.PasvPort() + R"()."},
           {"match": "^LIST -a$", "reply": ["150 Here.", "226 Done."]})")));
    ASSERT_TRUE(Complete([&] { client.GetListingPasv(); }));
    EXPECT_EQ(client.Listing(), (Lines{"x", "y"}));
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
    EXPECT_TRUE(HasTrace(recorder, "-> PASV announced 10.9.8.7, connecting to 127.0.0.1 instead"));
}

class BadPasvReply : public ScriptedFtp, public ::testing::WithParamInterface<const char *> {};

TEST_P(BadPasvReply, EndsTheSessionAsAProtocolErrorAndShowsTheReply)
{
    const std::string reply = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(DataRules(R"({"match": "^PASV$", "reply": ")" + reply + R"("})")));
    client.GetListingPasv();
    ASSERT_TRUE(WaitForQuit());
    EXPECT_EQ(recorder.events, (Lines{ErrorEvent(feProtocolError), "OnFtpQuit"}));
    EXPECT_TRUE(HasTrace(recorder, "-> PASV reply not understood: " + reply));
    EXPECT_EQ(CommandsAfterLogin(), (Lines{"PASV"}));
    EXPECT_EQ(client.LastErrorCode(), feProtocolError);
}

INSTANTIATE_TEST_SUITE_P(Replies, BadPasvReply,
                         ::testing::Values("227 Entering Passive Mode 127,0,0,1,4,1.",
                                           "227 Entering Passive Mode (127,0,0,1,4,256).",
                                           "227 Entering Passive Mode (127,0,0,one,4,1)."));

TEST_F(DataConnection, ConnectionThatCannotBeMadeIsADataError)
{
    const uint16_t closed = fernhop::test::freeLoopbackPort();
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(DataRules(
        R"({"match": "^RETR ", "reply": "150 Opening data connection."},
           {"match": "^PASV$", "reply": "227 Entering Passive Mode (127,0,0,1,)" + std::to_string(closed / 256) + "," +
        std::to_string(closed % 256) + R"()."})")));
    client.RemoteFile = "a.bin";
    client.LocalFile = local.path().toStdString() + "/a.bin";
    client.GetFilePasv();
    ASSERT_TRUE(WaitForQuit());
    EXPECT_EQ(recorder.events, (Lines{ErrorEvent(feDataError), "OnFtpQuit"}));
    EXPECT_EQ(client.DataErrorContext(), "DataListConnected");
    EXPECT_EQ(client.SocketErrorNumber(), 10061);
    EXPECT_TRUE(HasTrace(recorder, "-> Data socket connect error: 10061"));
    EXPECT_FALSE(client.Connected());
}

TEST_F(DataConnection, ActiveListenerTakesOnlyTheServersConnection)
{
    // The server connects a while after LIST; meanwhile another host knocks at the listener.
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(DataRules(
        R"({"match": "^LIST -a$", "action": "send", "data": ["a"], "delay_ms": 300})")));
    client.GetListing();
    auto port = [&]() -> int {
        for (const std::string &line : recorder.sent) {
            unsigned h1, h2, h3, h4, p1, p2;
            if (std::sscanf(line.c_str(), "PORT %u,%u,%u,%u,%u,%u", &h1, &h2, &h3, &h4, &p1, &p2) == 6)
                return int(p1 * 256 + p2);
        }
        return 0;
    };
    ASSERT_TRUE(RunUntil([&] { return port() != 0; }));

    std::atomic<int> intruderGot{-2}; // bytes the intruder received; -1: refused, 0: closed on it
    std::thread intruder([&, listenerPort = port()] {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        ::inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
        ::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(listenerPort));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval limit{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char buffer[16];
        intruderGot = ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) == 0
                          ? int(::recv(fd, buffer, sizeof buffer, 0))
                          : -1;
        ::close(fd);
    });
    bool done = RunUntil([&] { return recorder.readies > 0 && intruderGot != -2; });
    intruder.join();
    ASSERT_TRUE(done);
    EXPECT_LE(intruderGot, 0);
    EXPECT_EQ(client.Listing(), Lines{"a"});
    EXPECT_TRUE(recorder.Has("OnListingDone ok"));
}

TEST_F(DataConnection, ChecksBeforeSendingAnything)
{
    ASSERT_NO_FATAL_FAILURE(StartLoggedIn(kDataRules));
    ASSERT_TRUE(local.isValid());
    const std::string missing = local.path().toStdString() + "/no/such/dir/file";
    // A FIFO where a file was expected would block an open or a read for ever.
    const std::string fifo = local.path().toStdString() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string remote, local;
        bool upload;
        FtpError error;
    };
    for (const Case &c : {Case{"", missing, false, feFileNotFound}, Case{"a", "", false, feFileOpen},
                          Case{"a", missing, false, feFileOpen}, Case{"", "/dev/null", true, feFileNotFound},
                          Case{"a", "", true, feFileOpen}, Case{"a", missing, true, feLocalFileOpen},
                          Case{"a", fifo, true, feLocalFileOpen}, Case{"a", fifo, false, feFileOpen}}) {
        client.RemoteFile = c.remote;
        client.LocalFile = c.local;
        recorder.Clear();
        ASSERT_TRUE(Complete([&] { c.upload ? client.PutFilePasv() : client.GetFile(); }));
        EXPECT_EQ(recorder.events, (Lines{ErrorEvent(c.error), "OnFtpReady",
                                          c.upload ? "OnFileStored failed" : "OnFileReceived failed", "fiReady"}));
        EXPECT_EQ(client.LastErrorCode(), c.error);
    }
    EXPECT_TRUE(CommandsAfterLogin().empty());
}

TEST(FtpClientAlone, DataOperationsWithoutASession)
{
    TFtpClient client;
    FtpRecorder recorder;
    recorder.Attach(client);
    client.GetListing();
    client.GetFilePasv();
    client.Abort(); // nothing to abort: no event, nothing sent
    EXPECT_EQ(recorder.events, (Lines{"fiNotConnected", "fiNotConnected"}));
    // The uploads complete, as failures, so that a run waiting for them goes on.
    client.PutFile();
    ASSERT_TRUE(RunUntil([&] { return recorder.readies == 1; }));
    client.SendCheckFilePasv("/");
    ASSERT_TRUE(RunUntil([&] { return recorder.readies == 2; }));
    EXPECT_EQ(recorder.events, (Lines{"fiNotConnected", "fiNotConnected", "fiNotConnected", "OnFtpReady",
                                      "OnFileStored failed", "fiReady", "fiNotConnected", "OnFtpReady",
                                      "OnCheckFileSent error", "fiReady"}));
    EXPECT_TRUE(recorder.sent.empty());
}
