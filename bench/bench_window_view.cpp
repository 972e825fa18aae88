// The main window with a 100,000-entry site: a local scan, a cached listing load and a full
// compare with fastCompare off, each timed, with the longest event-loop stall seen meanwhile (a
// 2 ms timer notes every gap between its ticks), and the heap the window's trees take per entry.
// Run under a display or with QT_QPA_PLATFORM=offscreen: bench_window_view [ENTRIES [SITE_DIR]]
// (SITE_DIR keeps the generated site for the next run: it is made only where it does not exist.)
#include "config/SiteList.h"
#include "site/TreeEntries.h"
#include "transfer/Fernhop.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

size_t HeapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

// Notes the longest gap between two ticks of a fast timer: how long the window did not answer.
class StallWatch : public QObject {
public:
    StallWatch()
    {
        timer_.setInterval(2);
        connect(&timer_, &QTimer::timeout, this, [this] {
            longest_ = std::max(longest_, Ms(last_));
            last_ = Clock::now();
        });
    }
    void Start()
    {
        longest_ = 0;
        last_ = Clock::now();
        timer_.start();
    }
    double Stop()
    {
        QApplication::processEvents();
        timer_.stop();
        return longest_;
    }

private:
    QTimer timer_;
    Clock::time_point last_;
    double longest_ = 0;
};

// Directories of 100 files, the files empty but for their sizes' sake a few bytes.
void MakeSite(const std::string &top, int entries)
{
    int made = 0;
    for (int d = 0; made < entries; ++d) {
        const std::string dir = top + "/section_" + std::to_string(d);
        ::mkdir(dir.c_str(), 0755);
        ++made;
        for (int f = 0; f < 99 && made < entries; ++f, ++made) {
            const std::string path = dir + "/page_" + std::to_string(f) + ".html";
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                (void)!::write(fd, "<p>", 3);
                ::close(fd);
            }
        }
    }
}

void Report(const char *what, double total, double stall, std::clock_t cpuStart)
{
    const double cpu = double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC;
    std::printf("%-28s %8.0f ms (%.0f ms CPU)   longest stall %6.1f ms\n", what, total, cpu, stall);
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    QTemporaryDir dir;
    const std::string top = argc > 2 ? std::string(argv[2]) : dir.path().toStdString() + "/site";
    qputenv("FERNHOP_HOME", (dir.path() + "/settings").toUtf8());
    if (::mkdir(top.c_str(), 0755) == 0) {
        std::printf("making a site of %d entries...\n", entries);
        MakeSite(top, entries);
    }

    MainWindow window;
    window.show();
    Fernhop &fh = window.App();
    while (!fh.LoadSettingsDone())
        QApplication::processEvents();
    fh.options.sound.on.fill(false);
    fh.options.fastCompare = false;
    fh.sites.edits = SiteEdits{"bench", "127.0.0.1", "joe", "pw", top, "/www", 21, true, ""};
    fh.sites.Add();
    fh.sites.SetSavedServerTime(1);
    StallWatch watch;

    // Choosing the site scans its local tree.
    const size_t beforeScan = HeapInUse();
    watch.Start();
    Clock::time_point start = Clock::now();
    std::clock_t cpu = std::clock();
    fh.NickNameComboChange(fh.sites.NickNameItemOfRow(fh.sites.CurrentRow()));
    Report("local scan", Ms(start), watch.Stop(), cpu);
    const size_t afterScan = HeapInUse();
    std::printf("  local tree in the window (core tree, model, view): %.0f bytes per entry (%d entries)\n",
                (double(afterScan) - double(beforeScan)) / fh.ws.localTree.Count(), fh.ws.localTree.Count());

    // The remote side as the server would list it, cached, then loaded back as a connect does.
    for (SiteNode *n = fh.ws.localTree.First(); n; n = fh.ws.localTree.Next(n))
        AddEntryByPath(fh.ws, fh.ws.remoteTree, n->detail);
    fh.ws.saveListingCache();
    ClearTree(fh.ws, fh.ws.remoteTree);
    QApplication::processEvents();
    watch.Start();
    start = Clock::now();
    cpu = std::clock();
    const bool loaded = fh.ws.loadListingCache();
    Report("cached listing load", Ms(start), watch.Stop(), cpu);
    std::printf("  %s, %d entries\n", loaded ? "loaded" : "NOT loaded", fh.ws.remoteTree.Count());

    watch.Start();
    start = Clock::now();
    cpu = std::clock();
    fh.CompareClick();
    Report("compare (fastCompare off)", Ms(start), watch.Stop(), cpu);
    return 0;
}
