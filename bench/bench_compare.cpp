// The compare of two site trees: identical trees with and without fast compare, a slave tree in
// reversed order, and a slave that lacks every tenth file. Google Benchmark reports CPU time.
#include "site/Compare.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <string>
#include <vector>

namespace {

// Records what a window would be asked to show, as cheaply as a real view could take it.
class CountingView : public MainView {
public:
    std::vector<std::string> statuses;
    std::vector<int> progress;
    long keepInViewCalls = 0;

    void ShowStatusText(const std::string &text) override { statuses.push_back(text); }
    void AppendLogLine(const std::string &) override {}
    void SetEnabled(Control, bool) override {}
    void SetText(TextSlot, const std::string &) override {}
    void ShowProgressPanel(bool) override {}
    void SetProgressBar(int percent) override { progress.push_back(percent); }
    void KeepInView(SiteTree &, SiteNode *) override { ++keepInViewCalls; }
    PromptAnswer AskUser(const std::string &, const std::string &, int = 3) override { return PromptAnswer::No; }
    bool Confirm(const std::string &) override { return false; }
    void Message(const std::string &) override {}
    bool InputQuery(const std::string &, const std::string &, std::string &) override { return false; }
    bool ChooseFolder(const std::string &, std::string &) override { return false; }
    void PlaySound(SoundEvent, const std::string &) override {}
};

enum class Shape { Same, Reversed, EveryTenthFileMissing };

TDetail Entry(TEntryKind kind, const std::string &directory, const std::string &name)
{
    TDetail d;
    d.kind = kind;
    d.directory = directory;
    d.name = name;
    d.size = kind == ekFile ? int64_t(name.size() * 37) : 0;
    d.modified = EncodeDate(2024, 3, 1) + EncodeTime(int(name.size() % 24), 30);
    return d;
}

// `entries` nodes in blocks of 1,000: a top directory with 9 subdirectories of 110 files each.
// Reversed puts every directory's children in the opposite order, so no partner is near.
void Fill(SiteTree &tree, int entries, Shape shape)
{
    const bool reversed = shape == Shape::Reversed;
    const int tops = entries / 1000;
    auto order = [reversed](int i, int n) { return reversed ? n - 1 - i : i; };
    for (int t0 = 0; t0 < tops; ++t0) {
        const std::string topName = "Section_" + std::to_string(order(t0, tops));
        SiteNode *top = tree.Append(nullptr, Entry(ekDirectory, "", topName));
        const std::string topPath = "/" + topName;
        for (int g0 = 0; g0 < 9; ++g0) {
            const std::string groupName = "Group_" + std::to_string(order(g0, 9));
            SiteNode *group = tree.Append(top, Entry(ekDirectory, topPath, groupName));
            const std::string groupPath = topPath + "/" + groupName;
            for (int f0 = 0; f0 < 110; ++f0) {
                const int f = order(f0, 110);
                if (shape == Shape::EveryTenthFileMissing && f % 10 == 0)
                    continue;
                tree.Append(group, Entry(ekFile, groupPath, "Index_Page_" + std::to_string(f) + ".html"));
            }
        }
    }
}

void RunCompare(benchmark::State &state, Shape slaveShape, bool fastCompare)
{
    Options options;
    options.fastCompare = fastCompare;
    CountingView view;
    SiteModel model(options, view);
    const int entries = int(state.range(0));
    Fill(model.localTree, entries, Shape::Same);
    Fill(model.remoteTree, entries, slaveShape);
    for (auto _ : state) {
        view.statuses.clear();
        view.progress.clear();
        benchmark::DoNotOptimize(Compare(model, model.localTree, model.remoteTree));
    }
    state.counters["entries"] = double(model.localTree.Count());
    state.counters["keepInView"] = double(view.keepInViewCalls) / double(state.iterations());
    state.counters["transfers"] = model.counters.transferTotal;
}

void IdenticalFast(benchmark::State &state) { RunCompare(state, Shape::Same, true); }
void IdenticalScrolling(benchmark::State &state) { RunCompare(state, Shape::Same, false); }
void ReversedSlave(benchmark::State &state) { RunCompare(state, Shape::Reversed, true); }
void SlaveLacksEveryTenthFile(benchmark::State &state) { RunCompare(state, Shape::EveryTenthFileMissing, true); }

} // namespace

BENCHMARK(IdenticalFast)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(IdenticalScrolling)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(ReversedSlave)->Arg(10000)->Arg(30000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(SlaveLacksEveryTenthFile)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    // The compare yields to the event loop, so it needs an application object.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
