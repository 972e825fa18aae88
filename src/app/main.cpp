#include "app/BatchReport.h"
#include "app/BatchRun.h"
#include "app/CommandLine.h"
#include "app/ConsoleView.h"
#include "app/SiteCommands.h"
#include "site/LocalScan.h"
#include "transfer/Workspace.h"

#ifdef FERNHOP_WITH_UI
#include "ui/WindowApp.h"
#endif

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>

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

int Scan(const std::string &dir)
{
    Options options;
    ConsoleView view;
    Workspace workspace(options, view);
    workspace.localTopDirectory = QDir(QString::fromStdString(dir)).absolutePath().toStdString();
    bool ok = LoadLocalTree(workspace);
    PrintTree(workspace.localTree);
    std::printf("%s (%d entries)\n", view.lastStatus.c_str(), workspace.localTree.Count());
    // A directory that could not be read leaves the tree incomplete: a failure, named.
    const std::vector<std::string> unread = UnreadLocalDirectories(workspace.localTree);
    for (const std::string &path : unread)
        std::fprintf(stderr, "not read: %s\n", EscapedForLine(path).c_str());
    return ok && unread.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const CommandLine cl = ParseCommandLine(args);
    if (!cl.error.empty()) {
        std::fprintf(stderr, "fernhop: %s\n\n%s", cl.error.c_str(), UsageText());
        return kExitUsage;
    }
    if (cl.settingsDir) {
        const QString dir = QDir(QString::fromStdString(*cl.settingsDir)).absolutePath();
        ::setenv("FERNHOP_HOME", dir.toLocal8Bit().constData(), 1);
    }
    if (cl.mode == CommandMode::Window) {
#ifdef FERNHOP_WITH_UI
        return RunWindow(argc, argv, cl.nickName);
#else
        std::fprintf(stderr, "fernhop: built without the window; use --batch\n\n%s", UsageText());
        return kExitUsage;
#endif
    }
    // Everything else works without a display.
    QCoreApplication app(argc, argv);
    switch (cl.mode) {
    case CommandMode::Help: std::fputs(UsageText(), stdout); return kExitDone;
    case CommandMode::Window: return kExitUsage;
    case CommandMode::Scan: return Scan(cl.scanDir);
    case CommandMode::ListSites: return ListSitesCommand(stdout, stderr);
    case CommandMode::AddSite: return AddSiteCommand(cl, stdout, stderr);
    case CommandMode::ReplaceSite: return ReplaceSiteCommand(cl, stdout, stderr);
    case CommandMode::RemoveSite: return RemoveSiteCommand(cl, stdout, stderr);
    case CommandMode::Set: return SetOptionsCommand(cl, stdout, stderr);
    case CommandMode::ShowSettings: return ShowSettingsCommand(stdout, stderr);
    case CommandMode::Batch: {
        BatchRequest request{cl.nickName, cl.multiSite, cl.dryRun, cl.yes, cl.tls, cl.trustCerts};
        request.trustHostKeys = cl.trustHostKeys;
        request.askPassphrase = cl.askPassphrase;
        request.allowMassDelete = cl.allowMassDelete;
        request.maxDelete = cl.maxDelete;
        request.connections = cl.connections;
        request.quiet = cl.quiet;
        request.verbose = cl.verbose;
        request.json = cl.json;
        return RunBatch(request, stdout);
    }
    }
    return kExitUsage;
}
