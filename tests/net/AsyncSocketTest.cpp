#include "net/AsyncSocket.h"
#include "net/EventLoopWait.h"
#include "net/HostLookup.h"
#include "net/WinsockErrors.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

    // IPv6 text, plain or in brackets, is an address too; the brackets are not part of it.
    for (const char *text : {"::1", "[::1]"}) {
        s.SetHost(text);
        EXPECT_EQ(s.Address, "::1") << text;
        EXPECT_EQ(s.HostName, "") << text;
    }
    s.SetHost("[2001:DB8:0::5]");
    EXPECT_EQ(s.Address, "2001:db8::5");
    s.SetHost("::ffff:10.0.0.1"); // an IPv4 server written the IPv6 way is spoken to over IPv4
    EXPECT_EQ(s.Address, "10.0.0.1");
    for (const char *name : {"[ftp.example.net]", "1::2::3", "::1 ", "[::1", "::1]"}) {
        s.SetHost(name);
        EXPECT_EQ(s.HostName, name);
        EXPECT_EQ(s.Address, "");
    }

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

// ---- IPv6 and lookups with more than one address -------------------------------------------

namespace {

// The addresses a made-up name gives, for the life of the test.
struct FixedAnswers {
    FixedAnswers(const std::string &name, std::vector<std::string> addresses)
    {
        HostLookup::SetFixedAnswers({{name, std::move(addresses)}});
    }
    ~FixedAnswers() { HostLookup::SetFixedAnswers({}); }
};

// A listener on `address` with a port of the kernel's choice.
bool ListenOn(TAsyncSocket &listener, const std::string &address, uint16_t port = 0)
{
    listener.SetAddress(address);
    listener.SetPort(port);
    listener.CreateSocket();
    listener.Listen();
    return listener.LastError() == 0;
}

// Connects `client` to the addresses `name` gives, on `port`, as the FTP client does; each
// OnNextAddress is logged as "<why the last failed> -> <address now tried>".
struct MultiAddressConnect {
    TAsyncSocket client;
    std::vector<std::string> attempts;
    bool done = false;
    uint16_t result = 0;

    bool Run(const std::string &name, uint16_t port)
    {
        client.OnResolved = [&, port](TAsyncSocket *s) {
            s->UseResolvedAddress();
            s->SetPort(port);
            s->ConnectSocket();
            if (s->LastError() != 0) {
                result = s->LastError();
                done = true;
            }
        };
        client.OnNextAddress = [&](TAsyncSocket *s) {
            attempts.push_back(WinsockErrorName(s->LastError()) + " -> " + s->GetAddressString());
        };
        client.OnConnected = [&](TAsyncSocket *s) {
            result = s->LastError();
            done = true;
        };
        client.CreateSocket();
        client.ResolveHost(name);
        return RunUntil([&] { return done; }, 30000);
    }
};

} // namespace

TEST(AsyncSocketIpv6, LoopbackConnectionOnIpv6)
{
    TAsyncSocket listener;
    ASSERT_TRUE(ListenOn(listener, "::1"));
    EXPECT_EQ(listener.GetLocalAddress(), "::1");
    EXPECT_TRUE(listener.AddressIsIpv6());
    TAsyncSocket server;
    bool accepted = false;
    listener.OnAccepted = [&](TAsyncSocket *) {
        server.Accept(listener);
        accepted = server.LastError() == 0;
    };
    TAsyncSocket client; // made as IPv4 first, as the FTP client does before it knows the address
    client.CreateSocket();
    client.SetAddress("::1");
    client.SetPort(listener.GetLocalPort());
    bool connected = false;
    client.OnConnected = [&](TAsyncSocket *s) { connected = s->LastError() == 0; };
    client.ConnectSocket();
    ASSERT_EQ(client.LastError(), 0);
    ASSERT_TRUE(RunUntil([&] { return connected && accepted; }));
    EXPECT_EQ(client.GetLocalAddress(), "::1");
    EXPECT_EQ(server.GetAddressString(), "::1");
    EXPECT_TRUE(server.SameHostAs(client));
}

TEST(AsyncSocketIpv6, RefusedAddressMovesOnToTheNext)
{
    TAsyncSocket listener;
    ASSERT_TRUE(ListenOn(listener, "127.0.0.1"));
    listener.OnAccepted = [&](TAsyncSocket *) {};
    // Nothing listens on ::1 at the listener's port.
    FixedAnswers answers("two.fernhop.test", {"::1", "127.0.0.1"});
    MultiAddressConnect connect;
    ASSERT_TRUE(connect.Run("two.fernhop.test", listener.GetLocalPort()));
    EXPECT_EQ(connect.result, 0);
    EXPECT_EQ(connect.attempts, (std::vector<std::string>{"WSAECONNREFUSED -> 127.0.0.1"}));
    EXPECT_EQ(connect.client.GetAddressString(), "127.0.0.1");
}

// An address whose connect hangs (a listener whose queue is full drops the handshake) gives way
// to the next after the attempt's time.
TEST(AsyncSocketIpv6, SilentAddressGivesWayToTheNext)
{
    int stuffed = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    ASSERT_EQ(::bind(stuffed, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(stuffed, 0), 0);
    ASSERT_EQ(::getsockname(stuffed, reinterpret_cast<sockaddr *>(&at), &length), 0);
    int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    const uint16_t port = ntohs(at.sin_port);
    TAsyncSocket listener;
    ASSERT_TRUE(ListenOn(listener, "::1", port));
    listener.OnAccepted = [&](TAsyncSocket *) {};

    FixedAnswers answers("slow.fernhop.test", {"127.0.0.1", "::1"});
    MultiAddressConnect connect;
    connect.client.TimeOutConnect = 1;
    ASSERT_TRUE(connect.Run("slow.fernhop.test", port));
    EXPECT_EQ(connect.result, 0);
    EXPECT_EQ(connect.attempts, (std::vector<std::string>{"WSAETIMEDOUT -> ::1"}));
    ::close(filler);
    ::close(stuffed);
}

// When every address fails, the error is the one that says most: the server's refusal, not the
// link-local address (no interface given) that this PC cannot use at all.
TEST(AsyncSocketIpv6, AllAddressesFailedGivesTheMostTellingError)
{
    const uint16_t port = PortNobodyListensOn();
    FixedAnswers answers("none.fernhop.test", {"127.0.0.1", "fe80::1"});
    MultiAddressConnect connect;
    ASSERT_TRUE(connect.Run("none.fernhop.test", port));
    EXPECT_EQ(connect.attempts, (std::vector<std::string>{"WSAECONNREFUSED -> fe80::1"}));
    EXPECT_EQ(connect.result, WSAECONNREFUSED);
}

TEST(SocketAddress, SameHostComparesAddressesNotTexts)
{
    auto address = [](const std::string &text) { return TSocketAddress::FromText(text).value(); };
    EXPECT_TRUE(address("::1").SameHost(address("0:0::1")));
    EXPECT_TRUE(address("2001:db8::5").SameHost(address("[2001:DB8::5]")));
    EXPECT_FALSE(address("2001:db8::5").SameHost(address("2001:db8::6")));
    EXPECT_FALSE(address("::1").SameHost(address("127.0.0.1")));
    EXPECT_FALSE(address("::").SameHost(address("0.0.0.0")));
    // An accepted IPv4 peer may show as IPv4-mapped IPv6.
    sockaddr_storage record{};
    auto *mapped = reinterpret_cast<sockaddr_in6 *>(&record);
    mapped->sin6_family = AF_INET6;
    mapped->sin6_addr.s6_addr[10] = mapped->sin6_addr.s6_addr[11] = 0xff;
    mapped->sin6_addr.s6_addr[12] = 127;
    mapped->sin6_addr.s6_addr[15] = 1;
    const TSocketAddress peer = TSocketAddress::FromRecord(record);
    EXPECT_TRUE(peer.SameHost(address("127.0.0.1")));
    EXPECT_TRUE(address("127.0.0.1").SameHost(peer));
    EXPECT_FALSE(peer.SameHost(address("127.0.0.2")));
    EXPECT_FALSE(peer.SameHost(address("::1")));
}
