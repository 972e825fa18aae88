// One upload sync as the program runs it: login, listing walk of the remote directory, local
// scan, compare, upload run, QUIT. bench/bench-upload.sh runs it beside lftp against vsftpd.
// Prints the time of each step and the commands sent, by verb and per stored file.
// usage: bench_upload PORT USER PASSWORD LOCAL_DIR REMOTE_DIR [active]
#include "NullView.h"
#include "site/Compare.h"
#include "site/LocalScan.h"
#include "transfer/ListingWalk.h"
#include "transfer/TransferSequencer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

namespace {


// Runs the event loop until `done`, at most `limitMs`. It sleeps between events: a busy wait
// would take the CPU the server needs.
bool Wait(const std::function<bool()> &done, int limitMs = 600000)
{
    QTimer waker; // wakes the wait now and then so the limit is noticed
    waker.start(50);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s PORT USER PASSWORD LOCAL_DIR REMOTE_DIR [active]\n", argv[0]);
        return 64;
    }
    const bool passive = !(argc > 6 && std::strcmp(argv[6], "active") == 0);
    const std::string remoteDir = argv[5];

    Options options;
    options.errorPrompt = false;
    NullView view;
    Workspace ws(options, view);
    FixedSite site;
    site.savedServerTime = 1; // no check file
    ws.SetSite(&site);
    ws.localTopDirectory = argv[4];

    TransferSequencer seq(ws);
    ListingWalk walk(ws);
    seq.remoteDirectoryText = walk.remoteDirectoryText = [&] { return remoteDir; };
    seq.usePasv = walk.usePasv = [&] { return passive; };
    seq.Attach();
    std::map<std::string, int> sent;
    ws.FtpClient1.OnFtpInfo = [&](TFtpClient *sender, FtpInfo info, const std::string &text) {
        if (info == fiCommandSent)
            ++sent[text.substr(0, text.find_first_of(" \r"))];
        seq.display.FtpClient1FtpInfo(sender, info, text);
    };
    bool loggedIn = false, quit = false;
    ws.FtpClient1.OnLoggedIn = [&](TFtpClient *) { loggedIn = true; };
    ws.FtpClient1.OnFtpQuit = [&](TFtpClient *) { quit = true; };

    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); };
    const auto t0 = Clock::now();
    TFtpClient &ftp = ws.FtpClient1;
    ftp.SetFtpServer("127.0.0.1");
    ftp.SetFtpPort(uint16_t(std::atoi(argv[1])));
    ftp.UserName = argv[2];
    ftp.UserPassword = argv[3];
    ftp.Connect();
    if (!Wait([&] { return loggedIn || quit; }) || !ftp.Success()) {
        std::fprintf(stderr, "login failed\n");
        return 1;
    }
    const auto t1 = Clock::now();
    ws.run.currentOperation = opListing;
    walk.StartListing();
    if (!Wait([&] { return !walk.Running(); }))
        return 1;
    const auto t2 = Clock::now();
    if (!LoadLocalTree(ws))
        return 1;
    const auto t3 = Clock::now();
    ws.run.currentOperation = opIdle;
    Compare(ws, ws.localTree, ws.remoteTree);
    const RunCounters planned = ws.counters;
    const auto t4 = Clock::now();
    const std::map<std::string, int> beforeRun = sent;
    seq.StartTransfer();
    if (!Wait([&] { return !seq.Running(); }))
        return 1;
    const auto t5 = Clock::now();
    ftp.Quit();
    Wait([&] { return quit; }, 10000);
    const auto t6 = Clock::now();

    // Commands of the run alone, by verb.
    std::map<std::string, int> run;
    int runCommands = 0;
    for (const auto &[verb, count] : sent) {
        const int before = beforeRun.count(verb) ? beforeRun.at(verb) : 0;
        if (count > before) {
            run[verb] = count - before;
            runCommands += count - before;
        }
    }
    std::printf("total %.3f s: login %.3f, listing %.3f, scan %.3f, compare %.3f, run %.3f, quit %.3f\n",
                seconds(t0, t6), seconds(t0, t1), seconds(t1, t2), seconds(t2, t3), seconds(t3, t4), seconds(t4, t5),
                seconds(t5, t6));
    std::printf("planned: %d deletions, %d creations, %d transfers; result: %s\n", planned.deleteTotal,
                planned.createTotal, planned.transferTotal, view.last.c_str());
    std::printf("commands of the whole session:");
    for (const auto &[verb, count] : sent)
        std::printf(" %s %d", verb.c_str(), count);
    std::printf("\ncommands of the run:");
    for (const auto &[verb, count] : run)
        std::printf(" %s %d", verb.c_str(), count);
    const int stored = run["STOR"];
    if (stored > 0)
        std::printf("; per stored file: %.2f (TYPE, %s and STOR: %.2f)", double(runCommands) / stored,
                    passive ? "PASV" : "PORT", double(run["TYPE"] + run[passive ? "PASV" : "PORT"] + stored) / stored);
    std::printf("\n");
    return view.last == "Remote Site Update Complete" ? 0 : 2;
}
