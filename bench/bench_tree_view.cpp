// The tree display with a 100,000-entry site: memory per entry of the core tree and of the model
// and view on top of it, the longest event-loop stall while entries are added the way a scan adds
// them (yielding every 200), while scrolling through the expanded tree, and when clearing it.
// Run under a display or with QT_QPA_PLATFORM=offscreen: bench_tree_view [ENTRIES]
#include "NullView.h"
#include "site/SiteModel.h"
#include "site/TreeEntries.h"
#include "ui/SiteTreeModel.h"
#include "ui/SiteTreeView.h"

#include <QApplication>
#include <QScrollBar>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <string>

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

// Shows the view's scroll requests as the window does.
class ScrollingView : public NullView {
public:
    SiteTreeView *tree = nullptr;
    void MakeVisible(SiteTree &, SiteNode *node) override { tree->MakeVisible(node); }
    void KeepInView(SiteTree &, SiteNode *node) override { tree->KeepInView(node); }
};

struct Result {
    double total = 0, longest = 0;
};

// Directories of 100 files; each added as AddChildEntry does, with a yield every 200 entries.
Result Load(SiteModel &model, int entries)
{
    Result r;
    Clock::time_point start = Clock::now(), chunk = start;
    int added = 0;
    for (int d = 0; added < entries; ++d) {
        TDetail dir;
        dir.kind = ekDirectory;
        dir.name = "section_" + std::to_string(d);
        SiteNode *parent = AddChildEntry(model, model.remoteTree, nullptr, dir);
        ++added;
        for (int f = 0; f < 99 && added < entries; ++f) {
            TDetail file;
            file.kind = ekFile;
            file.directory = "/" + dir.name;
            file.name = "page_" + std::to_string(f) + ".html";
            file.size = 1000 + f;
            file.modified = 46000 + f;
            AddChildEntry(model, model.remoteTree, parent, file);
            if (++added % 200 == 0) {
                QApplication::processEvents();
                r.longest = std::max(r.longest, Ms(chunk));
                chunk = Clock::now();
            }
        }
    }
    QApplication::processEvents();
    r.longest = std::max(r.longest, Ms(chunk));
    r.total = Ms(start);
    return r;
}

Result ScrollThrough(SiteTreeView &view)
{
    Result r;
    Clock::time_point start = Clock::now();
    QScrollBar *bar = view.verticalScrollBar();
    const int steps = 200;
    for (int i = 0; i <= steps; ++i) {
        Clock::time_point step = Clock::now();
        bar->setValue(int(qint64(bar->maximum()) * i / steps));
        view.viewport()->repaint();
        QApplication::processEvents();
        r.longest = std::max(r.longest, Ms(step));
    }
    r.total = Ms(start);
    return r;
}
} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int entries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    Options options;
    ScrollingView screen;
    SiteModel model(options, screen);

    // The core tree alone.
    const size_t before = HeapInUse();
    size_t core = 0;
    {
        NullView quiet;
        SiteModel bare(options, quiet);
        Load(bare, entries);
        core = HeapInUse() - before;
        std::printf("core tree: %.0f bytes per entry\n", double(core) / entries);
    }

    for (bool expandTree : {false, true}) {
        options.expandTree = expandTree;
        auto *treeModel = new SiteTreeModel(model.remoteTree);
        auto *view = new SiteTreeView;
        screen.tree = view;
        view->SetSiteModel(treeModel);
        view->resize(400, 600);
        view->show();
        QApplication::processEvents();
        const size_t afterView = HeapInUse();
        Result load = Load(model, entries);
        const size_t loaded = HeapInUse();
        std::printf("expandTree %s: load %.0f ms, longest stall %.1f ms\n", expandTree ? "on " : "off", load.total,
                    load.longest);
        view->expandAll();
        QApplication::processEvents();
        const size_t expanded = HeapInUse();
        Result scroll = ScrollThrough(*view);
        std::printf("  scroll through %d rows: %.0f ms, longest step %.1f ms\n", entries, scroll.total,
                    scroll.longest);
        Clock::time_point clearStart = Clock::now();
        ClearTree(model, model.remoteTree);
        QApplication::processEvents();
        std::printf("  clear: %.1f ms\n", Ms(clearStart));
        // What the model and view add on top of the tree's own memory:
        std::printf("  model and view: %.1f bytes per entry as loaded, %.1f with every row expanded\n",
                    (double(loaded) - double(afterView) - double(core)) / entries,
                    (double(expanded) - double(afterView) - double(core)) / entries);
        delete view;
        delete treeModel;
    }
    return 0;
}
