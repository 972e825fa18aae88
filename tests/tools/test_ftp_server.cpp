// Starts one of the test harness's real FTP servers for scripts (demo, benchmarks) and keeps it
// running until standard input closes or a signal arrives. First line of output:
//   port=PORT user=USER password=PASSWORD root=ROOT
// and for vsftpd-tls (explicit TLS required, a self-signed certificate made for the run) also
//   cert=CERTIFICATE_FILE fingerprint=SHA256
// usage: fernhop-test-ftp-server pyftpdlib|vsftpd|vsftpd-tls
#include "support/FtpServers.h"
#include "support/TestCertificate.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t stopSignal = 0;
void OnSignal(int) { stopSignal = 1; }
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    using fernhop::test::RealFtpServer;
    const std::string kind = argc == 2 ? argv[1] : "";
    if (kind != "pyftpdlib" && kind != "vsftpd" && kind != "vsftpd-tls") {
        std::fprintf(stderr, "usage: %s pyftpdlib|vsftpd|vsftpd-tls\n", argv[0]);
        return 64;
    }
    std::unique_ptr<fernhop::test::TestCertificate> certificate;
    std::unique_ptr<RealFtpServer> server;
    if (kind == "vsftpd-tls") {
        certificate = fernhop::test::TestCertificate::make();
        if (certificate)
            server = RealFtpServer::start(RealFtpServer::Kind::Vsftpd,
                                          RealFtpServer::Tls::With(certificate->certificateFile(), certificate->keyFile()));
    } else {
        server = RealFtpServer::start(kind == "vsftpd" ? RealFtpServer::Kind::Vsftpd : RealFtpServer::Kind::Pyftpdlib);
    }
    if (!server) {
        std::fprintf(stderr, "the %s server did not start\n", argv[1]);
        return 1;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    std::printf("port=%u user=%s password=%s root=%s", unsigned(server->port()), server->user().c_str(),
                server->password().c_str(), server->root().c_str());
    if (certificate)
        std::printf(" cert=%s fingerprint=%s", certificate->certificateFile().c_str(), certificate->fingerprint().c_str());
    std::printf("\n");
    std::fflush(stdout);
    char buffer[256];
    while (!stopSignal) {
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, 200) > 0 && ::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            break;
    }
    server->stop();
    return 0;
}
