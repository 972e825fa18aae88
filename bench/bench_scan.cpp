// Local scan of a generated 100,000-file tree against `find` on the same tree, and the memory of a
// 1,000,000-node site tree. Prints ratios; run: bench_scan [DIR]
#include "NullView.h"
#include "site/LocalScan.h"
#include "site/TreeEntries.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <random>
#include <string>
#include <sys/stat.h>

namespace {


// 100,000 files in 1,000 directories over three levels; names and sizes from a fixed seed.
void Generate(const std::string &root, int files)
{
    std::mt19937 rng(20261207);
    ::mkdir(root.c_str(), 0755);
    const int dirs = files / 100;
    std::vector<std::string> paths;
    for (int d = 0; d < dirs; ++d) {
        std::string path = root + "/dir" + std::to_string(d % 10);
        ::mkdir(path.c_str(), 0755);
        path += "/sub" + std::to_string(d / 10 % 10);
        ::mkdir(path.c_str(), 0755);
        path += "/leaf" + std::to_string(d / 100);
        ::mkdir(path.c_str(), 0755);
        paths.push_back(path);
    }
    for (int f = 0; f < files; ++f) {
        std::string name = paths[size_t(f % dirs)] + "/Page_" + std::to_string(rng() % 1000000) + "_" +
                           std::to_string(f) + ".html";
        std::ofstream(name) << std::string(rng() % 64, 'x');
    }
}

double Seconds(const std::chrono::steady_clock::time_point &start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double BestOf(int runs, const std::function<void()> &work)
{
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, Seconds(start));
    }
    return best;
}

void ScanAgainstFind(const std::string &root)
{
    struct stat st{};
    if (::stat((root + "/dir0").c_str(), &st) != 0) {
        std::printf("generating 100,000 files under %s ...\n", root.c_str());
        Generate(root, 100000);
    }
    std::string command = "find '" + root + "' -printf '%s %T@ %p\\n' > /dev/null";
    if (std::system(command.c_str()) != 0) // warms the caches
        std::printf("find failed\n");
    double find = BestOf(3, [&] { (void)!std::system(command.c_str()); });

    Options options;
    options.expandTree = false;
    NullView view;
    SiteModel model(options, view);
    model.localTopDirectory = root;
    int count = 0;
    double scan = BestOf(3, [&] {
        LoadLocalTree(model);
        count = model.localTree.Count();
    });
    std::printf("scan: %d entries, fernhop %.3f s, find %.3f s, ratio %.2f (target <= 1.5)\n", count, scan, find,
                scan / find);
}

void TreeMemory()
{
    Options options;
    options.expandTree = false;
    NullView view;
    SiteModel model(options, view);
    const int n = 1000000;
    size_t before = mallinfo2().uordblks;
    SiteNode *dir = nullptr;
    for (int i = 0; i < n; ++i) {
        TDetail d;
        if (i % 100 == 0) {
            d.kind = ekDirectory;
            d.name = "directory" + std::to_string(i / 100);
            d.directory = "/site/section";
            dir = AddChildEntry(model, model.remoteTree, nullptr, d);
        } else {
            d.kind = ekFile;
            d.name = "page_" + std::to_string(i) + ".html";
            d.directory = "/site/section/" + dir->detail.name;
            d.size = i;
            AddChildEntry(model, model.remoteTree, dir, d);
        }
    }
    size_t after = mallinfo2().uordblks;
    std::printf("memory: %d nodes, %.1f bytes per entry (target < 250)\n", model.remoteTree.Count(),
                double(after - before) / n);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::string root = argc > 1 ? argv[1] : "/tmp/fernhop-bench-scan";
    ScanAgainstFind(root);
    TreeMemory();
    return 0;
}
