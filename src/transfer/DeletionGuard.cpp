#include "transfer/DeletionGuard.h"

namespace {

bool HoldsAnything(const SiteTree &tree)
{
    return tree.First() != nullptr;
}

std::string Percent(int part, int whole)
{
    return std::to_string(whole > 0 ? (int64_t(part) * 100 + whole / 2) / whole : 100) + "%";
}

} // namespace

DeletionCheck CheckDeletions(const Workspace &ws, const std::string &remoteTop, int cap)
{
    DeletionCheck check;
    const bool download = ws.Site().Download();
    const SiteTree &source = download ? ws.remoteTree : ws.localTree;
    const SiteTree &deleting = download ? ws.localTree : ws.remoteTree;
    for (const SiteNode *n = deleting.First(); n; n = deleting.Next(n)) {
        if (n->detail.kind != ekFile)
            continue;
        ++check.filesOnSide;
        if (n->detail.action == actDeleteFile)
            ++check.deletions;
    }
    if (!ws.options.delete_ || check.deletions == 0)
        return check;

    const std::string counted = std::to_string(check.deletions) + " of the " + std::to_string(check.filesOnSide) +
                                " files " + (download ? "in " + ws.localTopDirectory : std::string("on the server"));
    if (!HoldsAnything(source)) {
        check.verdict = DeletionVerdict::Refused;
        check.reason = download ? "The remote directory " + remoteTop + " is empty"
                                : "The local directory " + ws.localTopDirectory + " is empty";
        check.reason += ": nothing is deleted (the run would have deleted " + counted +
                        "). If that is meant, delete them by hand.";
        return check;
    }
    if (cap >= 0 && check.deletions > cap) {
        check.verdict = DeletionVerdict::Refused;
        check.reason = "The run would delete " + counted + ", more than the " + std::to_string(cap) +
                       " allowed for this run: nothing is deleted.";
        return check;
    }
    const int64_t percent = ws.options.maxDeletePercent;
    if (check.deletions > kMassDeletionFloor && int64_t(check.deletions) * 100 > percent * check.filesOnSide) {
        check.verdict = DeletionVerdict::Ask;
        check.reason = "The run would delete " + counted + " (" + Percent(check.deletions, check.filesOnSide) +
                       "), more than the " + std::to_string(percent) + "% allowed (option maxDeletePercent).";
    }
    return check;
}
