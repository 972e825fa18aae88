// Starts one of the test harness's real FTP servers for scripts (demo, benchmarks) and keeps it
// running until standard input closes or a signal arrives. First line of output:
//   port=PORT user=USER password=PASSWORD root=ROOT
// usage: fernhop-test-ftp-server pyftpdlib|vsftpd
#include "support/FtpServers.h"

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
    if (argc != 2 || (std::strcmp(argv[1], "pyftpdlib") != 0 && std::strcmp(argv[1], "vsftpd") != 0)) {
        std::fprintf(stderr, "usage: %s pyftpdlib|vsftpd\n", argv[0]);
        return 64;
    }
    auto server = RealFtpServer::start(std::strcmp(argv[1], "vsftpd") == 0 ? RealFtpServer::Kind::Vsftpd
                                                                            : RealFtpServer::Kind::Pyftpdlib);
    if (!server) {
        std::fprintf(stderr, "the %s server did not start\n", argv[1]);
        return 1;
    }
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGINT, OnSignal);
    std::printf("port=%u user=%s password=%s root=%s\n", unsigned(server->port()), server->user().c_str(),
                server->password().c_str(), server->root().c_str());
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
