// The single commands of the tree menus: "&Delete File NOW" on either tree and
// "&Create Directory...".
#include "transfer/TransferSequencer.h"

#include "site/LocalScan.h"
#include "site/TreeEntries.h"
#include "transfer/RemotePath.h"
#include "transfer/TransferPaths.h"

#include <cerrno>
#include <unistd.h>

namespace {
bool InTree(const SiteTree &tree, const SiteNode *node)
{
    for (SiteNode *n = tree.First(); n; n = tree.Next(n))
        if (n == node)
            return true;
    return false;
}

// The formatted name below the remote directory, with exactly one "/" between them.
std::string JoinRemote(std::string top, std::string name)
{
    size_t start = name.find_first_not_of('~');
    name = start == std::string::npos ? std::string() : name.substr(start);
    if (name.empty() || name.front() != '/')
        name = "/" + name;
    while (top.size() > 1 && top.back() == '/')
        top.pop_back();
    return FullRemotePath(top, name);
}
} // namespace

void TransferSequencer::DeleteRemoteNow(SiteNode *selected)
{
    RunState &run = ws_.run;
    if (run.currentOperation != opIdle || Running() || single_ != Single::None || !selected ||
        selected->detail.kind != ekFile)
        return;
    // A command the client refuses would never complete and leave opDeleteNow behind.
    if (!ws_.Connected()) {
        ws_.ShowStatus("Fernhop not connected");
        return;
    }
    if (!ClientFree())
        return;
    run.transferNode = selected;
    run.currentFileName = selected->detail.name;
    run.remoteTopPath = RemoteTopText();
    const std::string path = FullRemotePath(run.remoteTopPath, RemoteRelativePath(ws_, selected->detail));
    if (!SendableName(path)) {
        // Marked before the error prompt, under which the tree may be cleared.
        run.transferNode = nullptr;
        selected->icon = iconFailed;
        ws_.remoteTree.NotifyChanged(selected);
        ReportTransferError("Could not delete: " + run.currentFileName);
        return;
    }
    run.currentOperation = opDeleteNow;
    single_ = Single::DeleteNow;
    ws_.FtpClient1.DeleteFile(path);
}

void TransferSequencer::DeleteNowDone(TFtpClient *sender)
{
    single_ = Single::None;
    RunState &run = ws_.run;
    SiteTree &remote = ws_.remoteTree;
    SiteNode *node = run.transferNode;
    run.transferNode = nullptr;
    // The tree may have been cleared or refilled while the command was out.
    if (node && !InTree(remote, node))
        node = nullptr;
    SiteNode *shown = node;
    if (sender->Success()) {
        if (node) {
            shown = remote.Previous(node);
            remote.Remove(node);
        }
    } else if (node) {
        node->icon = iconFailed;
        remote.NotifyChanged(node);
    }
    KeepInView(ws_, remote, shown, false);
    if (run.currentOperation == opDeleteNow)
        run.currentOperation = opIdle;
    // Last: the error prompt runs the event loop, and the tree may be cleared under it.
    if (!sender->Success())
        ReportTransferError("Could not delete: " + run.currentFileName);
}

void TransferSequencer::DeleteLocalNow(SiteNode *selected)
{
    if (Running() || !selected || selected->detail.kind != ekFile || !StaysBelowTop(selected->detail))
        return;
    SiteTree &local = ws_.localTree;
    const std::string path = LocalPath(ws_.localTopDirectory, selected->detail);
    // A file that is still there keeps its node, so the tree never shows a deletion that failed.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        ws_.ShowStatus("Could not delete: " + selected->detail.name);
        selected->icon = iconFailed;
        local.NotifyChanged(selected);
        return;
    }
    SiteNode *previous = local.Previous(selected);
    local.Remove(selected);
    KeepInView(ws_, local, previous, false);
}

void TransferSequencer::CreateDirectoryCommand()
{
    RunState &run = ws_.run;
    if (run.currentOperation != opIdle || Running() || single_ != Single::None)
        return;
    std::string typed;
    if (!ws_.view.InputQuery("Fernhop Create Directory", "Enter the directory name you wish to create:", typed))
        return;
    if (normaliseRemoteDirectory)
        normaliseRemoteDirectory();
    const std::string formatted = formatRemotePath ? formatRemotePath(typed) : FormatRemotePath(typed, ws_.options);
    const std::string path = JoinRemote(RemoteTopText(), formatted);
    if (!ws_.Connected() || !ClientFree() || !SendableName(path)) {
        ws_.ShowStatus("Could not create directory");
        return;
    }
    run.currentOperation = opCreateDirectory;
    run.currentFileName = formatted;
    single_ = Single::CreateDirectory;
    ws_.FtpClient1.MakeDirectory(path);
}

void TransferSequencer::CreateDirectoryDone(TFtpClient *sender)
{
    single_ = Single::None;
    ws_.ShowStatus(sender->Success() ? "Directory Created" : "Could not create directory");
    if (ws_.run.currentOperation == opCreateDirectory)
        ws_.run.currentOperation = opIdle;
}
