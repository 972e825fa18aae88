// ListingWalk: the listing cache checked against the server before it is trusted. The top
// directory is listed once; its entries must be those of the cached tree's top level.
#include "transfer/ListingWalk.h"

#include "site/TreeEntries.h"

#include <cmath>
#include <unordered_map>
#include <utility>

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// The seconds an entry's time may stand for, at the precision it was listed or cached with.
std::pair<int64_t, int64_t> TimeSpanOf(const TDetail &entry)
{
    const int64_t first = std::llround(entry.modified * double(kSecondsPerDay));
    switch (entry.precision) {
    case tpSecond: return {first, first};
    case tpMinute: return {first, first + 59};
    case tpDay: return {first, first + kSecondsPerDay - 1};
    case tpMinuteCut: break;
    }
    const bool midnight = ((first % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay == 0;
    return {first, first + (midnight ? kSecondsPerDay - 1 : 59)};
}

// A listing gives minutes, or only a day for older files, where the cache may hold the second:
// the times agree when the listed one may hold the cached one. A file this program stored
// without giving the server its time is listed with the time of its upload, which comes after.
bool TimesAgree(const TDetail &cached, const TDetail &listed)
{
    const auto c = TimeSpanOf(cached);
    const auto l = TimeSpanOf(listed);
    if (cached.serverTimeUnknown)
        return l.second >= c.first;
    return l.first <= c.second && c.first <= l.second;
}

std::string ListedTime(const TDetail &entry)
{
    return FormatDateTime("dd/mm/yyyy hh:mm:ss", entry.modified);
}

} // namespace

// The server may have changed behind the cache (emptied, restored from a backup, another
// program's upload): one listing of the top directory, as a forced refresh would start with,
// tells most of that before the cache is trusted.
void ListingWalk::CheckCachedTop()
{
    ws_.FtpClient1.UseMlsd = ws_.options.useMLSD;
    if (normaliseRemoteDirectory)
        normaliseRemoteDirectory();
    remoteTop_ = remoteDirectoryText ? remoteDirectoryText() : std::string("/");
    ws_.ShowStatus("Checking the cached FTP file list against the server");
    phase_ = Phase::checkingCache;
    SetBusy(true);
    ws_.view.SetEnabled(Control::stopBtn, true);
    ws_.FtpClient1.ChangeDirectory(remoteTop_);
}

void ListingWalk::CacheRefused(const std::string &why)
{
    ws_.LogLine("FERNHOP: the cached file list is not used: " + why + "; the server is listed");
    phase_ = Phase::idle;
    SetBusy(false);
    RefreshRemoteTree();
}

void ListingWalk::CachedTopListed(TFtpClient *Sender)
{
    if (!Sender->Success()) {
        CacheRefused("the remote directory " + remoteTop_ + " could not be listed");
        return;
    }
    std::vector<TDetail> listed;
    const bool dateErrorBefore = parser_.dateError;
    parser_.dateError = false;
    ws_.currentRelativeDirectory.clear();
    processing_ = true;
    const bool readable = parser_.ReadEntries(Sender->Listing(), Sender->ListedWithMlsd(), listed) &&
                          !(Sender->Listing().empty() && Sender->BytesTransferred() > 0);
    processing_ = false;
    const bool dateError = parser_.dateError;
    parser_.dateError = dateErrorBefore;
    if (restartPending_) {
        restartPending_ = false;
        StartListing();
        return;
    }
    if (phase_ != Phase::checkingCache || ws_.stopRequested)
        return; // Stop or the end of the session came during the parse's yields
    std::string why;
    if (!readable || dateError)
        why = "the listing of " + remoteTop_ + " could not be read";
    else
        why = CachedTopDifference(listed, Sender->HiddenListed());
    if (!why.empty()) {
        CacheRefused(why);
        return;
    }
    ws_.LogLine("FERNHOP: the server's top directory lists as the cached file list has it");
    phase_ = Phase::idle;
    EndListingRun();
}

std::string ListingWalk::CachedTopDifference(const std::vector<TDetail> &listed, bool hiddenListed) const
{
    // A server that cannot show hidden names says nothing of the cached ones.
    auto compared = [&](const std::string &name) { return hiddenListed || name.empty() || name[0] != '.'; };
    std::unordered_map<std::string, TDetail> onServer;
    for (const TDetail &entry : listed) {
        TDetail copy = FilteredCopy(ws_, ws_.remoteTree, entry); // named as the tree names it
        if (compared(copy.name))
            onServer.emplace(copy.name, std::move(copy));
    }
    const SiteTree &tree = ws_.remoteTree;
    size_t cachedCount = 0;
    for (int i = 0; i < tree.TopCount(); ++i) {
        const TDetail &cached = tree.Top(i)->detail;
        if (!compared(cached.name))
            continue;
        ++cachedCount;
        const auto found = onServer.find(cached.name);
        if (found == onServer.end())
            return cached.name + " is no longer on the server";
        const TDetail &server = found->second;
        if (server.kind != cached.kind)
            return cached.name + " is a " + (server.kind == ekDirectory ? "directory" : "file") +
                   " on the server, not a " + (cached.kind == ekDirectory ? "directory" : "file");
        // A directory's own time moves with every change inside it, uploads of ours included.
        if (cached.kind == ekDirectory)
            continue;
        if (server.size != cached.size)
            return cached.name + " has " + std::to_string(server.size) + " bytes on the server, " +
                   std::to_string(cached.size) + " in the cached list";
        if (!TimesAgree(cached, server))
            return cached.name + " is dated " + ListedTime(server) + " on the server, " + ListedTime(cached) +
                   " in the cached list";
    }
    if (onServer.size() != cachedCount) {
        for (int i = 0; i < tree.TopCount(); ++i)
            onServer.erase(tree.Top(i)->detail.name);
        return (onServer.empty() ? std::string("an entry") : onServer.begin()->first) +
               " is on the server but not in the cached list";
    }
    return {};
}
