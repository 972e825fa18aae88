// One upload and one download of a file through TFtpClient against a running FTP server, with
// the time each took and the longest stall of the event loop meanwhile (a 1 ms timer's longest
// gap between ticks). bench/bench-transfer.sh starts vsftpd, runs this and curl, and prints the
// ratios. Run by hand:
//   bench_transfer PORT USER PASSWORD LOCAL_FILE REMOTE_NAME active|passive|sftp
// (sftp: the server is an sshd whose host key is taken unasked; bench/bench-sftp.sh runs it)
// Prints: mode=... upload_s=... download_s=... upload_stall_ms=... download_stall_ms=...
#include "ftp/Ftp.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct Outcome {
    bool ok = false;
    double seconds = 0;
    double longestStallMs = 0;
};

// Runs `operation` and serves the event loop until the client's next completion (or the end of
// the session), timing it and watching the loop with a 1 ms timer.
template <typename Operation> Outcome Run(TFtpClient &client, bool &done, Operation operation)
{
    Outcome outcome;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        outcome.longestStallMs = std::max(outcome.longestStallMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    done = false;
    clock.start();
    sinceTick.start();
    ticker.start(1);
    operation();
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    outcome.seconds = clock.nsecsElapsed() / 1e9;
    outcome.ok = client.Success();
    return outcome;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s PORT USER PASSWORD LOCAL_FILE REMOTE_NAME active|passive|sftp\n", argv[0]);
        return 64;
    }
    const bool passive = std::strcmp(argv[6], "passive") == 0;
    TFtpClient client;
    bool done = false;
    bool quit = false;
    client.OnFtpReady = [&](TFtpClient *) { done = true; };
    client.OnFtpQuit = [&](TFtpClient *) {
        done = true;
        quit = true;
    };
    client.OnFtpError = [](TFtpClient *, FtpError code, const std::string &) {
        std::fprintf(stderr, "FTP error %d\n", int(code));
    };
    // A listener the way the program has one: progress and trace events are looked at.
    long events = 0;
    client.OnFtpInfo = [&](TFtpClient *, FtpInfo, const std::string &) { ++events; };
    client.UseSftp = std::strcmp(argv[6], "sftp") == 0;
    client.OnSshHostKey = [](TFtpClient *, const SshHostKey &) { return true; };
    client.SetFtpServer("127.0.0.1");
    client.SetFtpPort(uint16_t(std::atoi(argv[1])));
    client.UserName = argv[2];
    client.UserPassword = argv[3];

    Outcome login = Run(client, done, [&] { client.Connect(); });
    if (!login.ok || quit) {
        std::fprintf(stderr, "login failed\n");
        return 1;
    }
    client.LocalFile = argv[4];
    client.RemoteFile = argv[5];
    Outcome up = Run(client, done, [&] { passive ? client.PutFilePasv() : client.PutFile(); });
    client.LocalFile = std::string(argv[4]) + ".back";
    Outcome down = Run(client, done, [&] { passive ? client.GetFilePasv() : client.GetFile(); });
    client.CloseLocalFile();
    if (!up.ok || !down.ok || quit) {
        std::fprintf(stderr, "transfer failed (upload %d, download %d)\n", up.ok, down.ok);
        return 1;
    }
    std::printf("mode=%s upload_s=%.3f download_s=%.3f upload_stall_ms=%.1f download_stall_ms=%.1f events=%ld\n",
                argv[6], up.seconds, down.seconds, up.longestStallMs, down.longestStallMs, events);
    client.Quit();
    Run(client, done, [] {});
    return 0;
}
