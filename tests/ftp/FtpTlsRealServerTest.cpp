// Explicit TLS against pyftpdlib's TLS handler and vsftpd (ssl_enable, require_ssl_reuse), each
// with a self-signed certificate made for the test: the login goes only over TLS, and listings,
// uploads and downloads in active and passive mode arrive byte for byte over TLS data
// connections that resume the control connection's session.
#include "ftp/FtpRecorder.h"
#include "ftp/RealTransferMode.h"
#include "support/FtpServers.h"
#include "support/TestCertificate.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using fernhop::test::RealFtpServer;
using fernhop::test::TestCertificate;

class TlsTransfer : public ::testing::TestWithParam<Mode> {
protected:
    void SetUp() override
    {
        certificate = TestCertificate::make();
        ASSERT_TRUE(certificate);
        RealFtpServer::Tls tls;
        tls.certificateFile = certificate->certificateFile();
        tls.keyFile = certificate->keyFile();
        ASSERT_NO_FATAL_FAILURE(ShapeServer(tls));
        server = RealFtpServer::start(GetParam().kind, tls);
        ASSERT_TRUE(server);
        ASSERT_TRUE(local.isValid());
        recorder.Attach(client);
        client.SetFtpServer("127.0.0.1");
        client.SetFtpPort(server->port());
        client.UserName = server->user();
        client.UserPassword = server->password();
        client.RequireTls = true;
        client.TraceMode = true;
        TFtpInfoEvent record = client.OnFtpInfo;
        client.OnFtpInfo = [this, record](TFtpClient *sender, FtpInfo info, const std::string &text) {
            record(sender, info, text);
            if (info == fiReplyText)
                replies += text;
        };
        client.OnFtpCertificate = [this](TFtpClient *, const TlsPeerInfo &peer) {
            seen = peer;
            return peer.fingerprint == certificate->fingerprint();
        };
    }

    virtual void ShapeServer(RealFtpServer::Tls &) {}

    template <typename Operation> bool Complete(Operation operation, int limitMs = 60000)
    {
        int before = recorder.readies;
        operation();
        return RunUntil([&] { return recorder.readies > before || recorder.quits > 0; }, limitMs) &&
               recorder.quits == 0;
    }

    bool Passive() const { return GetParam().passive; }
    std::string LocalPath(const std::string &name) const { return local.path().toStdString() + "/" + name; }
    std::string Traces() const
    {
        std::string all;
        for (const std::string &t : recorder.traces)
            all += t + "\n";
        for (const std::string &e : recorder.events)
            if (e.rfind("fiSecurity", 0) == 0)
                all += e + "\n";
        return all + replies;
    }

    std::unique_ptr<TestCertificate> certificate;
    std::unique_ptr<RealFtpServer> server;
    QTemporaryDir local;
    TFtpClient client;
    FtpRecorder recorder;
    TlsPeerInfo seen;
    std::string replies;
};

TEST_P(TlsTransfer, LoginListingUploadAndDownloadOverTls)
{
    ASSERT_TRUE(server->writeFile("www/a.html", "<p>hello</p>"));
    ASSERT_TRUE(Complete([&] { client.Connect(); })) << server->log() << Traces();
    ASSERT_TRUE(recorder.Has("OnLoggedIn ok")) << server->log() << Traces();
    EXPECT_TRUE(client.Secured());
    EXPECT_EQ(seen.fingerprint, certificate->fingerprint());
    EXPECT_FALSE(seen.verified); // self-signed: taken by its fingerprint only
    // AUTH TLS first; no credential before the handshake.
    ASSERT_GE(recorder.sent.size(), 4u);
    EXPECT_EQ(recorder.sent[0], "AUTH TLS");
    EXPECT_EQ(recorder.sent[1], "PBSZ 0");
    EXPECT_EQ(recorder.sent[2], "PROT P");
    EXPECT_EQ(recorder.sent[3].rfind("USER ", 0), 0u);
    EXPECT_EQ(recorder.Count("fiSecurity TLS: " + seen.version + ", cipher " + seen.cipher), 1);

    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/www"); }));
    ASSERT_TRUE(Complete([&] { Passive() ? client.GetListingPasv() : client.GetListing(); })) << Traces() << server->log();
    bool listed = false;
    for (const std::string &line : client.Listing())
        listed = listed || line.find("a.html") != std::string::npos;
    EXPECT_TRUE(listed) << Traces();

    for (size_t size : {size_t(0), size_t(1), size_t(70000), size_t(5) << 20}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const std::string body = RandomBytes(size, unsigned(size));
        std::ofstream(LocalPath("up.bin"), std::ios::binary) << body;
        client.LocalFile = LocalPath("up.bin");
        client.RemoteFile = "up.bin";
        ASSERT_TRUE(Complete([&] { Passive() ? client.PutFilePasv() : client.PutFile(); })) << Traces();
        EXPECT_TRUE(recorder.Has("OnFileStored ok")) << server->log() << Traces();
        EXPECT_TRUE(server->readFile("www/up.bin") == body);

        client.LocalFile = LocalPath("down.bin");
        ASSERT_TRUE(Complete([&] { Passive() ? client.GetFilePasv() : client.GetFile(); })) << Traces();
        EXPECT_TRUE(recorder.Has("OnFileReceived ok")) << Traces();
        EXPECT_TRUE(ReadLocal(LocalPath("down.bin")) == body);
        recorder.Clear();
    }
    // vsftpd refuses a data connection that does not resume the control connection's session.
    if (GetParam().kind == RealFtpServer::Kind::Vsftpd) {
        EXPECT_EQ(Traces().find("new session"), std::string::npos) << Traces();
    }
}

TEST_P(TlsTransfer, AnUntrustedCertificateEndsTheSessionBeforeTheLogin)
{
    client.OnFtpCertificate = [](TFtpClient *, const TlsPeerInfo &) { return false; };
    Complete([&] { client.Connect(); });
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; }));
    EXPECT_FALSE(recorder.Has("OnLoggedIn ok"));
    EXPECT_TRUE(recorder.Has(ErrorEvent(feTlsFailed)));
    for (const std::string &line : recorder.sent)
        EXPECT_TRUE(line == "AUTH TLS" || line == "QUIT") << line;
}

// Should resuming ever break, vsftpd refuses the data connection: the transfer fails plainly and
// neither side's file is touched.
class TlsWithoutResuming : public TlsTransfer {};

TEST_P(TlsWithoutResuming, ADataConnectionThatDoesNotResumeTheSessionFailsTheTransfer)
{
    ASSERT_TRUE(server->writeFile("www/there.bin", "the server's copy"));
    std::ofstream(LocalPath("up.bin"), std::ios::binary) << RandomBytes(300000, 7);
    ASSERT_TRUE(Complete([&] { client.Connect(); })) << server->log() << Traces();
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/www"); }));
    client.ResumeTlsOnData = false;

    client.LocalFile = LocalPath("up.bin");
    client.RemoteFile = "up.bin";
    Complete([&] { Passive() ? client.PutFilePasv() : client.PutFile(); });
    EXPECT_FALSE(recorder.Has("OnFileStored ok")) << Traces();
    EXPECT_FALSE(client.Success());
    const auto stored = server->readFile("www/up.bin");
    EXPECT_TRUE(!stored || stored->size() < 300000);

    // vsftpd may end the whole session after such a refusal: the download gets one of its own.
    if (client.Connected())
        client.Quit();
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; }));
    recorder.Clear();
    recorder.quits = 0;
    ASSERT_TRUE(Complete([&] { client.Connect(); })) << server->log() << Traces();
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/www"); }));
    client.LocalFile = LocalPath("down.bin");
    client.RemoteFile = "there.bin";
    Complete([&] { Passive() ? client.GetFilePasv() : client.GetFile(); });
    EXPECT_TRUE(recorder.Has("OnFileReceived failed")) << Traces();
    EXPECT_FALSE(client.Success());
}

// A server whose data connections show another certificate than its control connection, and
// that answers the transfer command the moment the data connection's handshake is done (so the
// reply and the handshake's end arrive together): not a byte of an upload reaches it, whatever
// the file's size, and nothing it sends on such a connection counts as a listing or a file.
class TlsOtherDataCertificate : public TlsTransfer {
protected:
    void ShapeServer(RealFtpServer::Tls &tls) override
    {
        other = TestCertificate::make();
        ASSERT_TRUE(other);
        tls.dataCertificateFile = other->certificateFile();
        tls.dataKeyFile = other->keyFile();
        // In active mode the handshake waits for the 1xx reply: there is nothing to hold it for.
        tls.holdDataReply = GetParam().passive;
        tls.tls12 = true;
    }
    std::unique_ptr<TestCertificate> other;
};

TEST_P(TlsOtherDataCertificate, NothingMovesOverADataConnectionOfAnotherServer)
{
    ASSERT_TRUE(server->writeFile("www/there.bin", "the server's copy"));
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        if (!client.Connected()) {
            recorder.quits = 0;
            ASSERT_TRUE(Complete([&] { client.Connect(); })) << server->log() << Traces();
            ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/www"); }));
        }
        const std::string name = "up" + std::to_string(round) + ".bin";
        std::ofstream(LocalPath(name), std::ios::binary) << RandomBytes(round == 0 ? 5 : 3000 * round, unsigned(round));
        client.LocalFile = LocalPath(name);
        client.RemoteFile = name;
        Complete([&] { Passive() ? client.PutFilePasv() : client.PutFile(); });
        EXPECT_FALSE(recorder.Has("OnFileStored ok")) << Traces();
        const auto stored = server->readFile("www/" + name);
        EXPECT_TRUE(!stored || stored->empty()) << stored->size() << " bytes reached the server\n" << Traces();
        EXPECT_TRUE(recorder.Has("fiSecurity The data connection showed another certificate than the server; it was "
                                 "closed.")) << Traces();
        recorder.Clear();
    }
    if (!client.Connected()) {
        recorder.quits = 0;
        ASSERT_TRUE(Complete([&] { client.Connect(); })) << server->log() << Traces();
        ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/www"); }));
    }
    Complete([&] { Passive() ? client.GetListingPasv() : client.GetListing(); });
    EXPECT_FALSE(recorder.Has("OnListingDone ok")) << Traces();
    EXPECT_TRUE(client.Listing().empty());

    if (!client.Connected()) {
        recorder.quits = 0;
        ASSERT_TRUE(Complete([&] { client.Connect(); })) << server->log() << Traces();
        ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/www"); }));
    }
    client.LocalFile = LocalPath("there.bin");
    client.RemoteFile = "there.bin";
    Complete([&] { Passive() ? client.GetFilePasv() : client.GetFile(); });
    EXPECT_FALSE(recorder.Has("OnFileReceived ok")) << Traces();
    EXPECT_EQ(client.DataErrorContext(), "DataRetrConnected"); // a download's, not a listing's
}

// Data connections that end without the server's TLS close: a listing has no size to be checked
// by, so a cut one would read as deleted names; it fails instead. A download is taken (its size
// is checked by the run) and the missing close is traced.
class TlsDataWithoutClose : public TlsTransfer {
protected:
    void ShapeServer(RealFtpServer::Tls &tls) override { tls.noDataCloseNotify = true; }
};

TEST_P(TlsDataWithoutClose, AListingEndedWithoutTheServersCloseFails)
{
    ASSERT_TRUE(server->writeFile("www/a.html", "<p>hello</p>"));
    ASSERT_TRUE(Complete([&] { client.Connect(); })) << server->log() << Traces();
    ASSERT_TRUE(Complete([&] { client.ChangeDirectory("/www"); }));
    Complete([&] { Passive() ? client.GetListingPasv() : client.GetListing(); });
    EXPECT_TRUE(recorder.Has("OnListingDone failed")) << Traces();
    EXPECT_FALSE(client.Success());
    EXPECT_NE(Traces().find("Listing data ended without the server's TLS close"), std::string::npos) << Traces();

    client.LocalFile = LocalPath("a.html");
    client.RemoteFile = "a.html";
    ASSERT_TRUE(Complete([&] { Passive() ? client.GetFilePasv() : client.GetFile(); })) << Traces();
    EXPECT_TRUE(recorder.Has("OnFileReceived ok")) << Traces();
    EXPECT_EQ(ReadLocal(LocalPath("a.html")), "<p>hello</p>");
    EXPECT_NE(Traces().find("Data ended without the server's TLS close"), std::string::npos) << Traces();
}

// A server (or someone on the way) that puts bytes after the 234 in clear: read after the
// handshake they would start the first protected reply ("2" + "200 PBSZ" taken as a 2xx). The
// session ends before the handshake; nothing more is sent.
class TlsBytesBeforeHandshake : public TlsTransfer {
protected:
    void ShapeServer(RealFtpServer::Tls &tls) override { tls.afterAuth = "2"; }
};

TEST_P(TlsBytesBeforeHandshake, EndTheSessionBeforeTheLogin)
{
    Complete([&] { client.Connect(); });
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; })) << Traces();
    EXPECT_FALSE(recorder.Has("OnLoggedIn ok"));
    EXPECT_TRUE(recorder.Has(ErrorEvent(feTlsFailed))) << Traces();
    EXPECT_EQ(recorder.sent, std::vector<std::string>{"AUTH TLS"}) << Traces();
    EXPECT_NE(Traces().find("The server sent more after agreeing to TLS"), std::string::npos) << Traces();
}

// A server that takes only suites without forward secrecy (a recorded session would be readable
// once its key leaks): the handshake fails and nothing more is sent.
class TlsWithoutForwardSecrecy : public TlsTransfer {
protected:
    void ShapeServer(RealFtpServer::Tls &tls) override
    {
        rsa = TestCertificate::makeRsa(); // the static RSA key exchange needs an RSA key
        ASSERT_TRUE(rsa);
        tls.certificateFile = rsa->certificateFile();
        tls.keyFile = rsa->keyFile();
        tls.tls12 = true;
        tls.ciphers = "AES128-SHA:AES256-GCM-SHA384";
    }
    std::unique_ptr<TestCertificate> rsa;
};

TEST_P(TlsWithoutForwardSecrecy, IsNotSpokenTo)
{
    Complete([&] { client.Connect(); });
    ASSERT_TRUE(RunUntil([&] { return recorder.quits > 0; })) << Traces();
    EXPECT_FALSE(recorder.Has("OnLoggedIn ok")) << Traces();
    EXPECT_TRUE(recorder.Has(ErrorEvent(feTlsFailed))) << Traces();
    EXPECT_EQ(recorder.sent, std::vector<std::string>{"AUTH TLS"}) << Traces();
}

static std::string ModeName(const ::testing::TestParamInfo<Mode> &info)
{
    return std::string(info.param.kind == RealFtpServer::Kind::Vsftpd ? "vsftpd" : "pyftpdlib") +
           (info.param.passive ? "_passive" : "_active");
}

// Active mode too: the data connection's handshake starts after the server's 1xx reply, when
// pyftpdlib (which connects at PORT) expects it.
INSTANTIATE_TEST_SUITE_P(Servers, TlsTransfer,
                         ::testing::Values(Mode{RealFtpServer::Kind::Pyftpdlib, true},
                                           Mode{RealFtpServer::Kind::Pyftpdlib, false},
                                           Mode{RealFtpServer::Kind::Vsftpd, true},
                                           Mode{RealFtpServer::Kind::Vsftpd, false}),
                         ModeName);
INSTANTIATE_TEST_SUITE_P(Pyftpdlib, TlsOtherDataCertificate,
                         ::testing::Values(Mode{RealFtpServer::Kind::Pyftpdlib, true},
                                           Mode{RealFtpServer::Kind::Pyftpdlib, false}),
                         ModeName);
INSTANTIATE_TEST_SUITE_P(Pyftpdlib, TlsWithoutForwardSecrecy,
                         ::testing::Values(Mode{RealFtpServer::Kind::Pyftpdlib, true}), ModeName);
INSTANTIATE_TEST_SUITE_P(Pyftpdlib, TlsBytesBeforeHandshake,
                         ::testing::Values(Mode{RealFtpServer::Kind::Pyftpdlib, true}), ModeName);
INSTANTIATE_TEST_SUITE_P(Pyftpdlib, TlsDataWithoutClose,
                         ::testing::Values(Mode{RealFtpServer::Kind::Pyftpdlib, true},
                                           Mode{RealFtpServer::Kind::Pyftpdlib, false}),
                         ModeName);

// pyftpdlib takes data connections that start a TLS session of their own.
INSTANTIATE_TEST_SUITE_P(Vsftpd, TlsWithoutResuming,
                         ::testing::Values(Mode{RealFtpServer::Kind::Vsftpd, true}, Mode{RealFtpServer::Kind::Vsftpd, false}),
                         [](const ::testing::TestParamInfo<Mode> &info) {
                             return std::string(info.param.passive ? "passive" : "active");
                         });
