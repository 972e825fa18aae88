// Starts one of the test harness's real FTP servers for scripts (demo, benchmarks) and keeps it
// running until standard input closes or a signal arrives. First line of output:
//   port=PORT user=USER password=PASSWORD root=ROOT
// and for vsftpd-tls (explicit TLS required, a self-signed certificate made for the run) also
//   cert=CERTIFICATE_FILE fingerprint=SHA256
// and for sshd (SFTP; ROOT is where sessions start) also
//   base=DIRECTORY fingerprint=SHA256:...   (keys appended to DIRECTORY/authorized_keys log in)
// usage: fernhop-test-ftp-server pyftpdlib|vsftpd|vsftpd-tls|sshd
#include "support/FtpServers.h"
#include "support/SshServer.h"
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
    if (kind != "pyftpdlib" && kind != "vsftpd" && kind != "vsftpd-tls" && kind != "sshd") {
        std::fprintf(stderr, "usage: %s pyftpdlib|vsftpd|vsftpd-tls|sshd\n", argv[0]);
        return 64;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    std::unique_ptr<fernhop::test::RealSshServer> sshd;
    if (kind == "sshd") {
        sshd = fernhop::test::RealSshServer::start();
        if (!sshd) {
            std::fprintf(stderr, "sshd did not start\n");
            return 1;
        }
        std::printf("port=%u user=%s password=%s root=%s base=%s fingerprint=%s\n", unsigned(sshd->port()),
                    sshd->user().c_str(), sshd->password().c_str(), sshd->root().c_str(), sshd->baseDir().c_str(),
                    sshd->fingerprint().c_str());
        std::fflush(stdout);
    }
    std::unique_ptr<fernhop::test::TestCertificate> certificate;
    std::unique_ptr<RealFtpServer> server;
    if (kind == "vsftpd-tls") {
        certificate = fernhop::test::TestCertificate::make();
        if (certificate)
            server = RealFtpServer::start(RealFtpServer::Kind::Vsftpd,
                                          RealFtpServer::Tls::With(certificate->certificateFile(), certificate->keyFile()));
    } else if (!sshd) {
        server = RealFtpServer::start(kind == "vsftpd" ? RealFtpServer::Kind::Vsftpd : RealFtpServer::Kind::Pyftpdlib);
    }
    if (!server && !sshd) {
        std::fprintf(stderr, "the %s server did not start\n", argv[1]);
        return 1;
    }
    if (server) {
        std::printf("port=%u user=%s password=%s root=%s", unsigned(server->port()), server->user().c_str(),
                    server->password().c_str(), server->root().c_str());
        if (certificate)
            std::printf(" cert=%s fingerprint=%s", certificate->certificateFile().c_str(),
                        certificate->fingerprint().c_str());
        std::printf("\n");
        std::fflush(stdout);
    }
    char buffer[256];
    while (!stopSignal) {
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, 200) > 0 && ::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            break;
    }
    if (server)
        server->stop();
    return 0;
}
