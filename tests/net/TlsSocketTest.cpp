// TLS over TAsyncSocket on loopback: both ends are our own sockets, the server's with a
// self-signed certificate made by openssl. The handshake never blocks the event loop, plain
// bytes arrive whole and before the close, and a second connection resumes the first's session.
#include "net/AsyncSocket.h"
#include "net/EventLoopWait.h"
#include "support/TestCertificate.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using fernhop::test::TestCertificate;

namespace {

struct TlsPair {
    TAsyncSocket listener;
    TAsyncSocket server;
    TAsyncSocket client;
    bool accepted = false;
    int clientTlsDone = 0, serverTlsDone = 0;
    bool serverClosed = false, clientClosed = false;
    std::string serverReceived, clientReceived;

    // Connects over TCP; the server side accepts and answers TLS when `serverTls` is given.
    bool Connect(const TlsServerSetup *serverTls)
    {
        listener.SetAddress("127.0.0.1");
        listener.SetPort(0);
        listener.CreateSocket();
        listener.Listen();
        listener.OnAccepted = [this, serverTls](TAsyncSocket *) {
            server.Accept(listener);
            accepted = server.LastError() == 0;
            if (accepted && serverTls)
                server.StartTlsServer(*serverTls);
        };
        auto reader = [](std::string &into) {
            return [&into](TAsyncSocket *s) {
                char buffer[4096];
                int n;
                while ((n = s->Receive(buffer, sizeof buffer)) > 0)
                    into.append(buffer, size_t(n));
            };
        };
        server.OnDataAvailable = reader(serverReceived);
        client.OnDataAvailable = reader(clientReceived);
        server.OnClosed = [this](TAsyncSocket *s) {
            s->OnDataAvailable(s);
            serverClosed = true;
        };
        client.OnClosed = [this](TAsyncSocket *s) {
            s->OnDataAvailable(s);
            clientClosed = true;
        };
        server.OnTlsDone = [this](TAsyncSocket *) { ++serverTlsDone; };
        client.OnTlsDone = [this](TAsyncSocket *) { ++clientTlsDone; };
        bool connected = false;
        client.OnConnected = [&](TAsyncSocket *s) { connected = s->LastError() == 0; };
        client.SetAddress("127.0.0.1");
        client.SetPort(listener.GetLocalPort());
        client.CreateSocket();
        client.ConnectSocket();
        return RunUntil([&] { return connected && accepted; });
    }

    bool Handshake(const TlsClientSetup &setup)
    {
        return client.StartTls(setup) && RunUntil([&] { return clientTlsDone > 0 && serverTlsDone > 0; });
    }

    // Sends all of `data`, serving the event loop while the socket has no room.
    static bool SendAll(TAsyncSocket &socket, const std::string &data)
    {
        size_t sent = 0;
        return RunUntil([&] {
            while (sent < data.size()) {
                int n = socket.Send(data.data() + sent, int(std::min<size_t>(data.size() - sent, 65536)));
                if (socket.LastError() != 0)
                    return true;
                if (n == 0)
                    return false;
                sent += size_t(n);
            }
            return true;
        }) && sent == data.size();
    }
};

} // namespace

class TlsSocket : public ::testing::Test {
protected:
    void SetUp() override
    {
        certificate = TestCertificate::make();
        ASSERT_TRUE(certificate);
        serverSetup = {certificate->certificateFile(), certificate->keyFile()};
    }
    std::unique_ptr<TestCertificate> certificate;
    TlsServerSetup serverSetup;
};

TEST_F(TlsSocket, BytesBothWaysWholeAndBeforeTheClose)
{
    TlsPair pair;
    ASSERT_TRUE(pair.Connect(&serverSetup));
    ASSERT_TRUE(pair.Handshake({"localhost", nullptr}));
    EXPECT_EQ(pair.client.LastError(), 0);
    EXPECT_TRUE(pair.client.TlsReady());

    const TlsPeerInfo peer = pair.client.TlsPeer();
    EXPECT_TRUE(peer.version == "TLSv1.3" || peer.version == "TLSv1.2") << peer.version;
    EXPECT_FALSE(peer.cipher.empty());
    EXPECT_FALSE(peer.resumed);
    ASSERT_TRUE(peer.hasCertificate);
    EXPECT_EQ(peer.fingerprint, certificate->fingerprint());
    EXPECT_EQ(TlsChannel::ShownFingerprint(peer.fingerprint), certificate->shownFingerprint());
    EXPECT_NE(peer.subject.find("CN = localhost"), std::string::npos) << peer.subject;
    EXPECT_FALSE(peer.validUntil.empty());
    // Self-signed: not trusted by the CA store, whatever the name.
    EXPECT_FALSE(peer.verified);
    EXPECT_NE(peer.verifyProblem.find("self"), std::string::npos) << peer.verifyProblem;

    // Far more than a socket buffer holds, so that writes come back short and go on later.
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + i / 4096);
    ASSERT_TRUE(TlsPair::SendAll(pair.client, big));
    ASSERT_TRUE(TlsPair::SendAll(pair.server, "220 over TLS\r\n"));
    ASSERT_TRUE(RunUntil([&] { return pair.serverReceived.size() == big.size() && !pair.clientReceived.empty(); }));
    EXPECT_TRUE(pair.serverReceived == big);
    EXPECT_EQ(pair.clientReceived, "220 over TLS\r\n");

    // The last bytes arrive before the close that follows them.
    ASSERT_TRUE(TlsPair::SendAll(pair.client, "tail"));
    pair.client.Close();
    ASSERT_TRUE(RunUntil([&] { return pair.serverClosed; }));
    EXPECT_EQ(pair.serverReceived.size(), big.size() + 4);
    EXPECT_EQ(pair.serverReceived.substr(big.size()), "tail");
}

TEST_F(TlsSocket, ASecondConnectionResumesTheFirstsSession)
{
    TlsPair first;
    ASSERT_TRUE(first.Connect(&serverSetup));
    ASSERT_TRUE(first.Handshake({"127.0.0.1", nullptr}));
    // TLS 1.3 hands out its session after the handshake: a round trip brings it in.
    ASSERT_TRUE(TlsPair::SendAll(first.server, "hello\r\n"));
    ASSERT_TRUE(RunUntil([&] { return !first.clientReceived.empty(); }));
    EXPECT_TRUE(first.client.TlsPeer().hasCertificate);
    const TlsSession session = first.client.GetTlsSession();
    ASSERT_TRUE(session);

    TlsPair second;
    ASSERT_TRUE(second.Connect(&serverSetup));
    ASSERT_TRUE(second.Handshake({"127.0.0.1", session}));
    EXPECT_TRUE(second.client.TlsPeer().resumed);
    EXPECT_TRUE(second.server.TlsPeer().resumed);
}

TEST_F(TlsSocket, APeerThatSpeaksNoTlsFailsTheHandshake)
{
    TlsPair pair;
    ASSERT_TRUE(pair.Connect(nullptr));
    ASSERT_TRUE(TlsPair::SendAll(pair.server, "500 What is this?\r\n"));
    ASSERT_TRUE(pair.client.StartTls({"localhost", nullptr}));
    ASSERT_TRUE(RunUntil([&] { return pair.clientTlsDone > 0; }));
    EXPECT_NE(pair.client.LastError(), 0);
    EXPECT_FALSE(pair.client.TlsReady());
    EXPECT_FALSE(pair.client.TlsError().empty());
    // Nothing of the refused stream comes through as data.
    RunFor(100);
    EXPECT_EQ(pair.clientReceived, "");
}

TEST(TlsFingerprint, NormalAndShownForms)
{
    const std::string digits(64, 'A');
    EXPECT_EQ(TlsChannel::NormalFingerprint("aa:" + std::string(62, 'a')), digits);
    EXPECT_EQ(TlsChannel::NormalFingerprint(digits), digits);
    EXPECT_EQ(TlsChannel::NormalFingerprint(digits + "0"), "");
    EXPECT_EQ(TlsChannel::NormalFingerprint("zz" + digits.substr(2)), "");
    EXPECT_EQ(TlsChannel::ShownFingerprint("ABCDEF"), "AB:CD:EF");
}
