#include "app/ConsoleView.h"
#include "site/LocalScan.h"
#include "transfer/Workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstring>

namespace {

void PrintTree(const SiteTree &tree)
{
    for (SiteNode *node = tree.First(); node; node = tree.Next(node)) {
        const TDetail &d = node->detail;
        std::printf("%*s%-5s %s", tree.Depth(node) * 2, "", IconName(node->icon), d.name.c_str());
        if (d.kind == ekFile)
            std::printf("  %lld bytes", static_cast<long long>(d.size));
        std::printf("  %s\n", FormatDateTime("dd/mm/yyyy hh:mm:ss", d.modified).c_str());
    }
}

int Scan(const char *dir)
{
    Options options;
    ConsoleView view;
    Workspace workspace(options, view);
    workspace.localTopDirectory = QDir(QString::fromLocal8Bit(dir)).absolutePath().toStdString();
    bool ok = LoadLocalTree(workspace);
    PrintTree(workspace.localTree);
    std::printf("%s (%d entries)\n", view.lastStatus.c_str(), workspace.localTree.Count());
    return ok ? 0 : 1;
}

void Usage()
{
    std::fprintf(stderr, "usage: fernhop --scan DIR\n"
                         "  --scan DIR   load DIR as a local site tree and print it\n");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--scan") == 0)
        return Scan(argv[2]);
    Usage();
    return 64;
}
