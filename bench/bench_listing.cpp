// Listing parser throughput and listing cache save/load of a 100,000-entry remote tree.
#include "NullView.h"
#include "site/ListingCache.h"
#include "site/ListingParser.h"
#include "site/MlsdLine.h"
#include "site/TreeEntries.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

struct Bench {
    Options options;
    NullView view;
    SiteModel model{options, view};
    FixedSite site;
    Bench()
    {
        model.SetSite(&site);
        model.currentYear = 2024;
        model.currentMonth = 6;
    }
};

// A directory as a UNIX server lists it: a tenth subdirectories, the rest files, recent files
// with a time of day and older ones with a year.
std::vector<std::string> UnixListing(int count)
{
    static const char *months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::vector<std::string> lines{"total " + std::to_string(count * 8)};
    char line[256];
    for (int i = 0; i < count; ++i) {
        const bool directory = i % 10 == 0;
        const char *month = months[i % 12];
        char when[16];
        if (i % 3 == 0)
            std::snprintf(when, sizeof when, "%02d:%02d", i % 24, i % 60);
        else
            std::snprintf(when, sizeof when, " %d", 1995 + i % 29);
        std::snprintf(line, sizeof line, "%s   1 webuser  webgroup %9d %s %2d %s %s%06d%s",
                      directory ? "drwxr-xr-x" : "-rw-r--r--", directory ? 4096 : 1000 + i * 37, month,
                      1 + i % 28, when, directory ? "folder_" : "page_", i, directory ? "" : ".html");
        lines.emplace_back(line);
    }
    return lines;
}

void BM_ProcessListing(benchmark::State &state)
{
    Bench b;
    ListingParser parser(b.model);
    const std::vector<std::string> lines = UnixListing(int(state.range(0)));
    int listed = 0;
    for (auto _ : state) {
        parser.ProcessListing(b.model.remoteTree, nullptr, lines);
        if (++listed % 20 == 0) {
            state.PauseTiming();
            b.model.remoteTree.Clear();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(lines.size()));
}
BENCHMARK(BM_ProcessListing)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The same directory as a machine listing (MLSD): the facts pure-ftpd and pyftpdlib write.
std::vector<std::string> MlsdListing(int count)
{
    std::vector<std::string> lines{"type=cdir;sizd=4096;modify=20240601120000;perm=flcdmpe; ."};
    char line[256];
    for (int i = 0; i < count; ++i) {
        const bool directory = i % 10 == 0;
        std::snprintf(line, sizeof line, "type=%s;size=%d;modify=%04d%02d%02d%02d%02d%02d;perm=%s;unique=803U%x; %s%06d%s",
                      directory ? "dir" : "file", directory ? 4096 : 1000 + i * 37, 1995 + i % 29, 1 + i % 12,
                      1 + i % 28, i % 24, i % 60, i % 60, directory ? "flcdmpe" : "adfrw", i,
                      directory ? "folder_" : "page_", i, directory ? "" : ".html");
        lines.emplace_back(line);
    }
    return lines;
}

// Both parsers on the same entries in one run: compare their items per second.
void BM_ProcessMlsdListing(benchmark::State &state)
{
    Bench b;
    ListingParser parser(b.model);
    const std::vector<std::string> lines = MlsdListing(int(state.range(0)));
    int listed = 0;
    for (auto _ : state) {
        parser.ProcessMlsdListing(b.model.remoteTree, nullptr, lines);
        if (++listed % 20 == 0) {
            state.PauseTiming();
            b.model.remoteTree.Clear();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(lines.size()));
}
BENCHMARK(BM_ProcessMlsdListing)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The line readers alone, without the tree.
void BM_ReadMlsdLine(benchmark::State &state)
{
    const std::vector<std::string> lines = MlsdListing(10000);
    MlsdEntry entry;
    for (auto _ : state)
        for (const std::string &line : lines)
            benchmark::DoNotOptimize(ReadMlsdLine(line, entry));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(lines.size()));
}
BENCHMARK(BM_ReadMlsdLine)->Unit(benchmark::kMillisecond);

// 1,000 directories of 99 files each, plus the directories: 100,000 nodes.
void BuildRemoteTree(SiteModel &model)
{
    TDetail e;
    e.modified = EncodeDate(2020, 5, 17) + EncodeTime(9, 41);
    for (int d = 0; d < 1000; ++d) {
        e.kind = ekDirectory;
        e.directory = "";
        e.name = "folder_" + std::to_string(d);
        e.size = 0;
        SiteNode *dir = AddChildEntry(model, model.remoteTree, nullptr, e);
        e.kind = ekFile;
        e.directory = "/" + dir->detail.name;
        for (int f = 0; f < 99; ++f) {
            e.name = "page_" + std::to_string(f) + ".html";
            e.size = 1000 + f * 37;
            AddChildEntry(model, model.remoteTree, dir, e);
        }
    }
}

void BM_SaveListingCache(benchmark::State &state)
{
    QTemporaryDir tmp;
    Bench b;
    b.model.localTopDirectory = tmp.path().toStdString();
    BuildRemoteTree(b.model);
    for (auto _ : state)
        SaveListingCache(b.model, "0123ABCD", {"ftp.example.org", "web", "/www"});
    state.SetItemsProcessed(int64_t(state.iterations()) * b.model.remoteTree.Count());
}
BENCHMARK(BM_SaveListingCache)->Unit(benchmark::kMillisecond);

void BM_LoadListingCache(benchmark::State &state)
{
    QTemporaryDir tmp;
    Bench b;
    b.model.localTopDirectory = tmp.path().toStdString();
    BuildRemoteTree(b.model);
    SaveListingCache(b.model, "0123ABCD", {"ftp.example.org", "web", "/www"});
    for (auto _ : state)
        benchmark::DoNotOptimize(LoadListingCache(b.model, "0123ABCD", {"ftp.example.org", "web", "/www"}));
    state.SetItemsProcessed(int64_t(state.iterations()) * b.model.remoteTree.Count());
}
BENCHMARK(BM_LoadListingCache)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
