#include "net/AsyncSocket.h"
#include "net/EventLoopWait.h"
#include "net/WinsockErrors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ProbeSocket : public TAsyncSocket {
public:
    using TAsyncSocket::SetLastError;
};

// A listener, the connection it accepted and the client, all on 127.0.0.1, each notice logged.
struct LoopbackPair {
    TAsyncSocket listener;
    TAsyncSocket server;
    TAsyncSocket client;
    std::vector<std::string> clientNotices;
    std::vector<std::string> serverNotices;
    std::string serverReceived;

    bool Open()
    {
        listener.SetAddress("127.0.0.1");
        listener.SetPort(0);
        listener.CreateSocket();
        listener.Listen();
        if (listener.LastError() != 0)
            return false;
        bool accepted = false;
        listener.OnAccepted = [&](TAsyncSocket *) {
            server.Accept(listener);
            accepted = server.LastError() == 0;
        };
        client.OnConnected = [this](TAsyncSocket *s) {
            clientNotices.push_back("connect " + std::to_string(s->LastError()));
        };
        client.OnSendReady = [this](TAsyncSocket *) { clientNotices.push_back("write"); };
        server.OnDataAvailable = [this](TAsyncSocket *s) {
            serverNotices.push_back("read");
            char buffer[256];
            int n;
            while ((n = s->Receive(buffer, sizeof buffer)) > 0)
                serverReceived.append(buffer, size_t(n));
        };
        server.OnClosed = [this](TAsyncSocket *) { serverNotices.push_back("close"); };
        client.SetAddress("127.0.0.1");
        client.SetPort(listener.GetLocalPort());
        client.CreateSocket();
        client.ConnectSocket();
        if (client.LastError() != 0)
            return false;
        return RunUntil([&] { return accepted && clientNotices.size() >= 2; });
    }
};

uint16_t PortNobodyListensOn()
{
    TAsyncSocket probe;
    probe.SetAddress("127.0.0.1");
    probe.SetPort(0);
    probe.CreateSocket();
    probe.Listen();
    uint16_t port = probe.GetLocalPort();
    probe.Close();
    return port;
}

} // namespace

TEST(AsyncSocketHost, OnlyADottedAddressSkipsTheLookup)
{
    TAsyncSocket s;
    s.SetHost("192.168.1.5");
    EXPECT_EQ(s.Address, "192.168.1.5");
    EXPECT_EQ(s.HostName, "");

    s.SetHost("ftp.example.net");
    EXPECT_EQ(s.Address, "");
    EXPECT_EQ(s.HostName, "ftp.example.net");

    // Starts with a digit but is a name: looked up, never taken as an address.
    s.SetHost("123-reg.example.net");
    EXPECT_EQ(s.HostName, "123-reg.example.net");
    EXPECT_EQ(s.Address, "");
    s.SetHost("10.0.0");
    EXPECT_EQ(s.HostName, "10.0.0");

    // An empty text keeps what was there.
    s.SetHost("10.1.2.3");
    s.SetHost("");
    EXPECT_EQ(s.Host(), "");
    EXPECT_EQ(s.Address, "10.1.2.3");
    EXPECT_EQ(s.HostName, "");
}

TEST(AsyncSocketLifecycle, StartWinsockDescribesThisPlatform)
{
    TAsyncSocket s;
    EXPECT_FALSE(s.WinsockStarted());
    EXPECT_TRUE(s.StartWinsock());
    EXPECT_TRUE(s.LibraryLoaded());
    EXPECT_NE(s.WinsockDescription().find("Linux"), std::string::npos);
    EXPECT_EQ(s.WinsockSystemStatus(), "Running");
    EXPECT_GT(s.WinsockMaxSockets(), 0);
    s.UnloadWinsock();
    EXPECT_FALSE(s.WinsockStarted());
    EXPECT_FALSE(s.LibraryLoaded());
}

TEST(AsyncSocketLifecycle, CreateSocketKeepsAnExistingSocketAndLastError)
{
    ProbeSocket s;
    s.CreateSocket();
    ASSERT_TRUE(s.HasSocket());
    EXPECT_EQ(s.LastError(), 0);
    s.SetLastError(77);
    s.CreateSocket();
    EXPECT_EQ(s.LastError(), 77);
    EXPECT_TRUE(s.HasSocket());
}

TEST(AsyncSocketLifecycle, CallsWithoutASocket)
{
    ProbeSocket s;
    char byte = 'x';
    EXPECT_EQ(s.Send(&byte, 1), 0);
    EXPECT_EQ(s.LastError(), WSAENOTSOCK);
    EXPECT_EQ(s.GetLocalAddress(), "");
    EXPECT_EQ(s.GetLocalPort(), 0);

    // Close without a socket (a second Close) makes no call and leaves LastError alone.
    s.SetLastError(5);
    s.Close();
    s.Close();
    EXPECT_EQ(s.LastError(), 5);
}

TEST(AsyncSocketConnection, ConnectNoticeComesFirstThenTheSendNotice)
{
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    EXPECT_EQ(pair.clientNotices, (std::vector<std::string>{"connect 0", "write"}));
    EXPECT_TRUE(pair.client.SocketConnected());
    EXPECT_TRUE(pair.server.SocketConnected());
    EXPECT_EQ(pair.listener.GetLocalAddress(), "127.0.0.1");

    char buffer[16];
    EXPECT_EQ(pair.server.Receive(buffer, sizeof buffer), 0); // nothing waiting: no error
    EXPECT_EQ(pair.server.LastError(), 0);
    const unsigned char mark[2] = {255, 242};
    EXPECT_EQ(pair.client.SendUrgent(mark, 2), 2);
}

TEST(AsyncSocketConnection, DataArrivesBeforeThePeersClose)
{
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    ASSERT_EQ(pair.client.Send("hello", 5), 5);
    EXPECT_EQ(pair.client.LastError(), 0);
    pair.client.Close();

    ASSERT_TRUE(RunUntil([&] { return !pair.serverNotices.empty() && pair.serverNotices.back() == "close"; }));
    EXPECT_EQ(pair.serverReceived, "hello");
    EXPECT_EQ(pair.serverNotices.front(), "read");
    // The close notice closes the handle.
    EXPECT_FALSE(pair.server.HasSocket());
    EXPECT_FALSE(pair.server.SocketConnected());
}

TEST(AsyncSocketConnection, ReadNoticeIsNotRepeatedUntilReceiveIsCalled)
{
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    int notices = 0;
    pair.client.OnDataAvailable = [&](TAsyncSocket *) { ++notices; }; // reads nothing
    ASSERT_EQ(pair.server.Send("abc", 3), 3);
    ASSERT_TRUE(RunUntil([&] { return notices == 1; }));
    RunFor(200);
    EXPECT_EQ(notices, 1);

    char byte;
    EXPECT_EQ(pair.client.Receive(&byte, 1), 1);
    EXPECT_TRUE(RunUntil([&] { return notices == 2; }));
}

TEST(AsyncSocketConnection, NoNoticeArrivesAfterALocalClose)
{
    LoopbackPair pair;
    ASSERT_TRUE(pair.Open());
    int notices = 0;
    pair.client.OnDataAvailable = [&](TAsyncSocket *) { ++notices; };
    pair.client.OnClosed = [&](TAsyncSocket *) { ++notices; };
    ASSERT_EQ(pair.server.Send("bye", 3), 3);
    pair.server.Close();
    pair.client.Close();
    RunFor(200);
    EXPECT_EQ(notices, 0);
}

TEST(AsyncSocketConnection, RefusedConnectionCarriesWinsockNumber)
{
    uint16_t port = PortNobodyListensOn();
    TAsyncSocket s;
    uint16_t noticeError = 0;
    bool notified = false;
    s.OnConnected = [&](TAsyncSocket *sender) {
        notified = true;
        noticeError = sender->LastError();
    };
    s.SetAddress("127.0.0.1");
    s.SetPort(port);
    s.CreateSocket();
    s.ConnectSocket();
    if (s.LastError() == 0) { // the usual way: the refusal comes with the connect notice
        ASSERT_TRUE(RunUntil([&] { return notified; }));
        EXPECT_EQ(noticeError, WSAECONNREFUSED);
    } else {
        EXPECT_EQ(s.LastError(), WSAECONNREFUSED);
    }
}

TEST(AsyncSocketLookup, ResolvedAddressIsUsedOnRequest)
{
    TAsyncSocket s;
    int resolved = 0;
    s.OnResolved = [&](TAsyncSocket *) { ++resolved; };
    s.ResolveHost("localhost");
    EXPECT_EQ(s.LastError(), 0);
    s.ResolveHost("localhost"); // ignored: a lookup is pending
    ASSERT_TRUE(RunUntil([&] { return resolved == 1; }));
    EXPECT_EQ(s.LastError(), 0);
    s.UseResolvedAddress();
    EXPECT_EQ(s.GetAddressString(), "127.0.0.1");
    RunFor(100);
    EXPECT_EQ(resolved, 1);
}

TEST(AsyncSocketLookup, FailedLookupReportsAndKeepsTheOldAddress)
{
    TAsyncSocket s;
    int resolved = 0;
    s.OnResolved = [&](TAsyncSocket *) { ++resolved; };
    s.ResolveHost("127.0.0.1");
    ASSERT_TRUE(RunUntil([&] { return resolved == 1; }));

    s.ResolveHost("no-such-host.invalid");
    ASSERT_TRUE(RunUntil([&] { return resolved == 2; }));
    EXPECT_GE(s.LastError(), WSAHOST_NOT_FOUND);
    EXPECT_LE(s.LastError(), WSANO_DATA);
    s.UseResolvedAddress();
    EXPECT_EQ(s.GetAddressString(), "127.0.0.1");
}

TEST(AsyncSocketLookup, CloseCancelsAPendingLookup)
{
    TAsyncSocket s;
    int resolved = 0;
    s.OnResolved = [&](TAsyncSocket *) { ++resolved; };
    s.ResolveHost("localhost");
    s.Close();
    RunFor(300);
    EXPECT_EQ(resolved, 0);

    s.ResolveHost("localhost"); // nothing pending any more
    EXPECT_TRUE(RunUntil([&] { return resolved == 1; }));
}

TEST(AsyncSocketTimeOut, ExpiryClosesTheSocketBeforeOnTimeOut)
{
    TAsyncSocket s;
    s.CreateSocket();
    bool fired = false;
    bool hadSocket = true;
    s.OnTimeOut = [&](TAsyncSocket *sender) {
        fired = true;
        hadSocket = sender->HasSocket();
    };
    s.StartTimeOut(1);
    ASSERT_TRUE(RunUntil([&] { return fired; }));
    EXPECT_FALSE(hadSocket);
}

TEST(AsyncSocketTimeOut, ZeroSecondsStopsARunningTimeOut)
{
    TAsyncSocket s;
    bool fired = false;
    s.OnTimeOut = [&](TAsyncSocket *) { fired = true; };
    s.StartTimeOut(1);
    s.StartTimeOut(0);
    RunFor(1500);
    EXPECT_FALSE(fired);
}
