#include "transfer/ListingWalk.h"

#include "site/Marking.h"
#include "site/TreeEntries.h"
#include "transfer/TransferPaths.h"

#include <utility>

namespace {

const char *const kDateErrorMessage =
    "Errors decoding the date and time were encountered. Fernhop expects UNIX style file listings "
    "which your server is not outputing. Please contact Tallowin so we can tailor Fernhop for your system.";

// Nothing is known of what a directory holds when it could not be listed; the compare must not
// delete anything on the other side because of it.
void MarkNotListed(SiteNode *node)
{
    if (node) {
        node->detail.visited = 1;
        node->detail.notListed = true;
    }
}

// "/a/b/c" gives "/a", "/a/b", "/a/b/c"; "~/a" gives "~/a"; a relative "www/html/" gives "www",
// "www/html".
std::vector<std::string> PathLevels(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::vector<std::string> levels;
    for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
        const std::string level = path.substr(0, pos);
        if (!level.empty() && level != "~" && level.back() != '/')
            levels.push_back(level);
    }
    if (!path.empty() && path != "/" && path != "~")
        levels.push_back(path);
    return levels;
}

} // namespace

ListingWalk::ListingWalk(Workspace &workspace) : ws_(workspace), parser_(workspace)
{
    ws_.FtpClient1.OnDirectoryChanged = [this](TFtpClient *sender) { FtpClient1DirectoryChanged(sender); };
    ws_.FtpClient1.OnListingDone = [this](TFtpClient *sender) { FtpClient1ListingDone(sender); };
    parser_.OnCheckFileListed = [this](TDateTime serverTime) {
        if (checkFileListed)
            checkFileListed(serverTime);
    };
}

void ListingWalk::ClearListingFlags()
{
    listingStopped_ = false;
    listingFailed_ = false;
    notListed_.clear();
    ws_.remoteTopNotListed = false;
    ws_.remoteListingPartial = false;
}

void ListingWalk::SetBusy(bool busy)
{
    ws_.remoteListing = busy;
}

void ListingWalk::StartRemoteRefresh()
{
    ws_.AllButtonsOff();
    ws_.run.currentOperation = opAfterLogin;
    // Flags of an earlier run must not colour the report on the cached tree.
    ClearListingFlags();
    parser_.dateError = false;
    endReported_ = false;
    topCreationTried_ = false;
    measureAfterListing_ = false;
    topListedExact_ = false;
    if (!ws_.remoteTree.Empty() && !ws_.options.forceRerfesh) {
        CheckCachedTop();
        return;
    }
    RefreshRemoteTree();
}

bool ListingWalk::OffsetWanted() const
{
    // A machine listing's times are exact: no offset to measure.
    return ws_.Site().SavedServerTime() == 0 && !ws_.options.timeOffset && startCheckFile &&
           !ws_.FtpClient1.MlsdInUse();
}

bool ListingWalk::MeasuresByFileTime() const
{
    return ws_.Site().Download() && fileTimeMeasured && !ws_.FtpClient1.MdtmRefused();
}

void ListingWalk::RefreshRemoteTree()
{
    topCreationTried_ = false;
    measureAfterListing_ = false;
    ws_.FtpClient1.UseMlsd = ws_.options.useMLSD;
    if (!OffsetWanted() || MeasuresByFileTime()) {
        // A download site must not write to the server: its offset comes after the listing.
        measureAfterListing_ = OffsetWanted();
        ws_.ShowStatus("Loading Remote Directory");
        StartListing();
        return;
    }
    StartCheckFile();
}

void ListingWalk::StartCheckFile()
{
    ws_.ShowStatus("Obtaining remote server date and time...");
    phase_ = Phase::measuring;
    endReported_ = false;
    startCheckFile();
}

void ListingWalk::ContinueAfterCheckFile()
{
    if (phase_ != Phase::measuring)
        return; // stopped or abandoned while the check file was on its way
    StartListing();
}

void ListingWalk::StartListing()
{
    if (processing_) {
        // A listing is being parsed further down the stack (we are inside one of its yields):
        // clearing the tree now would pull its parent node away. Stop that parse and start
        // once it has returned.
        restartPending_ = true;
        ws_.stopRequested = true;
        return;
    }
    EndParallel(true, false); // an earlier run's listings are not this run's
    ++serial_;
    parallel_ = ListsInParallel();
    ws_.run.currentOperation = opListing;
    ws_.stopRequested = false;
    ws_.stopLoops = false;
    ws_.run.ftpErrorSeen = false;
    ws_.currentRelativeDirectory.clear();
    if (normaliseRemoteDirectory)
        normaliseRemoteDirectory();
    remoteTop_ = remoteDirectoryText ? remoteDirectoryText() : std::string("/");
    ClearListingFlags();
    topListedExact_ = false;
    SetBusy(true);
    ws_.view.SetEnabled(Control::stopBtn, true);
    parser_.dateError = false;
    nodeBeingListed_ = nullptr;
    listedDirectory_.clear();
    phase_ = Phase::changingDirectory;
    endReported_ = false;
    ws_.remoteHiddenUnlisted = false;
    ClearTree(ws_, ws_.remoteTree); // may yield: Stop can end the run here
    if (phase_ != Phase::changingDirectory)
        return;
    ws_.FtpClient1.ChangeDirectory(remoteTop_);
    if (parallel_ && phase_ == Phase::changingDirectory && LocalTopHasDirectory())
        OpenConnections();
}

void ListingWalk::StopListing()
{
    listingStopped_ = true;
    if (phase_ == Phase::idle)
        return;
    // A parse in progress ends at its next line, before it can add to a tree someone clears.
    ws_.stopRequested = true;
    EndListingRun();
}

void ListingWalk::Abandon()
{
    fileTimeAsked_ = false;
    measureAfterListing_ = false;
    if (phase_ != Phase::idle)
        listingFailed_ = true; // the tree holds only what was listed before the connection went
    ws_.stopRequested = true;
    restartPending_ = false;
    EndParallel(true, false);
    ++serial_;
    phase_ = Phase::idle;
    nodeBeingListed_ = nullptr;
    SetBusy(false);
}

void ListingWalk::FtpClient1DirectoryChanged(TFtpClient *Sender)
{
    if (phase_ == Phase::checkingCache && ws_.remoteListing) {
        if (!Sender->Success()) {
            CacheRefused("the remote directory " + remoteTop_ + " cannot be entered");
            return;
        }
        // A cache that holds needs no further listing: no passive port is asked for ahead.
        passiveAheadAfterCheck_ = std::exchange(Sender->PassiveAhead, false);
        if (Passive())
            Sender->GetListingPasv();
        else
            Sender->GetListing();
        return;
    }
    const TOperation op = ws_.run.currentOperation;
    if (phase_ != Phase::changingDirectory || !ws_.remoteListing || (op != opListing && op != opAfterLogin))
        return;
    if (Sender->Success()) {
        if (nodeBeingListed_)
            nodeBeingListed_->detail.visited = 1;
        ws_.run.currentOperation = opListingDirectory;
        phase_ = Phase::listing;
        Sender->UseMlsd = ws_.options.useMLSD;
        if (Passive())
            Sender->GetListingPasv();
        else
            Sender->GetListing();
        return;
    }
    if (!nodeBeingListed_) {
        ws_.ShowStatus("Could not change directory");
        // An upload site's first sync may have to make its remote home.
        if (!topCreationTried_ && !ws_.Site().Download() && createMissingTop && SendableName(remoteTop_) &&
            !PathLevels(remoteTop_).empty() && createMissingTop(remoteTop_) && phase_ == Phase::changingDirectory) {
            topCreationTried_ = true;
            topLevels_ = PathLevels(remoteTop_);
            phase_ = Phase::creatingTop;
            ws_.LogLine("FERNHOP: creating the remote directory " + remoteTop_);
            CreateTopLevel();
            return;
        }
        listingFailed_ = true;
        EndListingRun();
        return;
    }
    // One refused directory leaves the rest of the tree to list.
    ws_.ShowStatus("Could not change directory: " + nodeBeingListed_->detail.name);
    DirectoryNotListed(nodeBeingListed_, "could not change to it");
    ListNext();
}

void ListingWalk::CreateTopLevel()
{
    if (topLevels_.empty()) {
        // The check file could not be stored before the directory was there: it goes now,
        // and the listing follows its completion.
        if (OffsetWanted()) {
            phase_ = Phase::measuring;
            startCheckFile();
            return;
        }
        phase_ = Phase::changingDirectory;
        ws_.FtpClient1.ChangeDirectory(remoteTop_);
        return;
    }
    creatingLevel_ = topLevels_.front();
    topLevels_.erase(topLevels_.begin());
    ws_.FtpClient1.MakeDirectory(creatingLevel_);
}

bool ListingWalk::FtpClient1DirectoryCreated(TFtpClient *Sender)
{
    if (phase_ != Phase::creatingTop || !ws_.remoteListing)
        return false;
    // A refused level may exist already; the top's CWD afterwards tells whether all is there.
    if (Sender->Success())
        ws_.LogLine("FERNHOP: created " + creatingLevel_);
    CreateTopLevel();
    return true;
}

void ListingWalk::FtpClient1ListingDone(TFtpClient *Sender)
{
    if (phase_ == Phase::checkingCache && ws_.remoteListing) {
        Sender->PassiveAhead = passiveAheadAfterCheck_;
        CachedTopListed(Sender);
        return;
    }
    if (phase_ != Phase::listing || !ws_.remoteListing)
        return; // a late completion after Stop or the end of the session
    ws_.run.currentOperation = opListing;

    Arrival arrival;
    arrival.node = nodeBeingListed_;
    arrival.directory = listedDirectory_;
    arrival.ok = Sender->Success();
    // The change of directory worked but the listing did not (a refusal, or a final reply saying
    // the listing failed).
    arrival.failure = "its listing failed";
    if (arrival.ok) {
        arrival.lines = Sender->Listing();
        arrival.mlsd = Sender->ListedWithMlsd();
        arrival.hiddenListed = Sender->HiddenListed();
        arrival.bytesWithoutLines = arrival.lines.empty() && Sender->BytesTransferred() > 0;
    }
    if (parallel_) {
        arrivals_.push_back(std::move(arrival));
        TakeArrivals();
        return;
    }
    switch (FileListing(arrival)) {
    case Filed::interrupted: return;
    case Filed::topFailed:
        listingFailed_ = true;
        EndListingRun();
        return;
    case Filed::done:
    case Filed::notListed: break;
    }
    ListNext();
}

ListingWalk::Filed ListingWalk::FileListing(Arrival &arrival)
{
    SiteNode *node = arrival.node;
    if (!arrival.ok) {
        // Without the top's listing the remote tree stands for nothing; below it, nothing is
        // known of what the directory holds.
        if (!node)
            return Filed::topFailed;
        DirectoryNotListed(node, arrival.failure);
        return Filed::notListed;
    }
    // A server that could not show hidden names leaves the compare unsure of them.
    if (!arrival.hiddenListed)
        ws_.remoteHiddenUnlisted = true;
    ws_.currentRelativeDirectory = arrival.directory;
    const int serial = serial_;
    processing_ = true;
    // Bytes that made no line (a listing without one line end) are not an empty directory.
    bool readable = !arrival.bytesWithoutLines;
    if (arrival.mlsd)
        readable = parser_.ProcessMlsdListing(ws_.remoteTree, node, arrival.lines) && readable;
    else
        readable = parser_.ProcessListing(ws_.remoteTree, node, std::move(arrival.lines)) && readable;
    if (!node)
        topListedExact_ = arrival.mlsd;
    processing_ = false;
    if (restartPending_) {
        restartPending_ = false;
        StartListing();
        return Filed::interrupted;
    }
    // Stop or the end of the session came during the parse's yields.
    if (serial != serial_ || (parallel_ ? !Walking() : phase_ != Phase::listing))
        return Filed::interrupted;
    if (ws_.stopRequested) {
        // The parse ended early: what this directory holds is only partly known.
        listingStopped_ = true;
        return Filed::done;
    }
    if (!readable) {
        const std::string why = "its listing held nothing that could be read";
        if (!node) {
            // Not an empty top directory: a download site would delete every local file for it.
            ws_.LogLine("FERNHOP: could not list " + remoteTop_ + " (" + why + ")");
            return Filed::topFailed;
        }
        DirectoryNotListed(node, why);
        return Filed::notListed;
    }
    return Filed::done;
}

bool ListingWalk::TooDeep(SiteNode *node)
{
    TDetail &entry = node->detail;
    if (entry.directory.size() + 1 + entry.name.size() <= kMaxListedPath)
        return false;
    MarkNotListed(node);
    notListed_.push_back(entry.directory.substr(0, 200) + "...");
    ws_.remoteListingPartial = true;
    ws_.LogLine("FERNHOP: not listed, the path is longer than " + std::to_string(kMaxListedPath) +
                " characters: " + entry.directory.substr(0, 200) + "...");
    return true;
}

SiteNode *ListingWalk::NextUnlistedDirectory(SiteNode *from)
{
    SiteTree &tree = ws_.remoteTree;
    for (SiteNode *node = from; node; node = tree.Next(node)) {
        TDetail &entry = node->detail;
        if (entry.kind != ekDirectory || entry.visited != 0 || TooDeep(node))
            continue;
        return node;
    }
    return nullptr;
}

void ListingWalk::MarkUnfinished()
{
    SiteTree &tree = ws_.remoteTree;
    bool top = false;
    size_t directories = 0;
    switch (phase_) {
    case Phase::checkingCache:
        top = true; // the cache was not confirmed
        break;
    case Phase::measuring:
    case Phase::creatingTop:
        top = tree.Empty(); // a Refresh's check file: the earlier tree is still whole
        break;
    case Phase::changingDirectory:
    case Phase::listing:
    case Phase::waitingForListings:
        if (!nodeBeingListed_ && phase_ != Phase::waitingForListings)
            top = true;
        for (SiteNode *node = tree.First(); node; node = tree.Next(node)) {
            TDetail &entry = node->detail;
            const bool unfinished = entry.visited == 0 || node == nodeBeingListed_ || elsewhere_.count(node) > 0;
            if (entry.kind == ekDirectory && unfinished && !entry.notListed) {
                MarkNotListed(node);
                ++directories;
            }
        }
        break;
    case Phase::idle:
    case Phase::askingFileTime: break;
    }
    if (top)
        ws_.remoteTopNotListed = true;
    if (!top && directories == 0)
        return;
    ws_.remoteListingPartial = true;
    ws_.LogLine("FERNHOP: the remote listing is partial (" +
                (top ? std::string("the top directory") : std::to_string(directories) +
                                                              (directories == 1 ? " directory" : " directories")) +
                " not listed); nothing under what was not listed is deleted on either side");
}

void ListingWalk::DirectoryNotListed(SiteNode *node, const std::string &why)
{
    MarkNotListed(node);
    const std::string path = node->detail.Path();
    notListed_.push_back(path);
    ws_.remoteListingPartial = true;
    ws_.LogLine("FERNHOP: could not list " + path + " (" + why + "); nothing is deleted because of it");
}

void ListingWalk::ListNext()
{
    SiteNode *next = nullptr;
    if (parallel_) {
        next = listingStopped_ ? nullptr : TakeQueued();
        if (!next && !listingStopped_ && (!elsewhere_.empty() || !arrivals_.empty())) {
            // The others' listings may show more directories; the last of them ends the walk.
            phase_ = Phase::waitingForListings;
            nodeBeingListed_ = nullptr;
            return;
        }
    } else {
        SiteNode *from = nodeBeingListed_ ? nodeBeingListed_ : ws_.remoteTree.First();
        next = listingStopped_ ? nullptr : NextUnlistedDirectory(from);
    }
    if (!next) {
        EndListingRun();
        return;
    }
    TDetail &entry = next->detail;
    entry.visited = 1;
    nodeBeingListed_ = next;
    listedDirectory_ = entry.directory + "/" + entry.name;
    ws_.currentRelativeDirectory = listedDirectory_;
    if (ws_.debugTrace) {
        ws_.LogLine("DEBUG: (listFlags.node.data).dir - line 4920: " + entry.directory);
        ws_.LogLine("DEBUG: (listFlags.node.data).name - line 4920: " + entry.name);
        ws_.LogLine("DEBUG: changing to: " + listedDirectory_);
    }
    // Relative paths begin with "/", so a top of "/" would double it.
    if (remoteTop_ == "/")
        remoteTop_.clear();
    phase_ = Phase::changingDirectory;
    ws_.FtpClient1.ChangeDirectory(remoteTop_ + listedDirectory_);
    Pump(); // the rest of the queue goes to the other connections
}

bool ListingWalk::AskListedFileTime()
{
    const SiteTree &tree = ws_.remoteTree;
    const SiteNode *node = tree.First();
    while (node && (node->detail.kind != ekFile || node->detail.precision != tpMinute))
        node = tree.Next(node);
    if (!node) {
        // Older files show only a day, where the offset hardly matters; a later run with a
        // recent file measures it. Nothing is written to the server meanwhile.
        ws_.LogLine("FERNHOP: no listed file shows a time of day; the clock offset is measured on a later run");
        return false;
    }
    measuredPath_ = FullRemotePath(remoteTop_.empty() ? "/" : remoteTop_, node->detail.Path());
    measuredListed_ = node->detail.modified;
    ws_.ShowStatus("Obtaining remote server date and time...");
    phase_ = Phase::askingFileTime;
    fileTimeAsked_ = true;
    ws_.FtpClient1.GetFileTime(measuredPath_);
    return true;
}

bool ListingWalk::FtpClient1FileTimeDone(TFtpClient *Sender)
{
    if (!fileTimeAsked_)
        return false;
    fileTimeAsked_ = false;
    if (phase_ != Phase::askingFileTime || !ws_.remoteListing)
        return true; // stopped meanwhile: the run has ended without it
    if (Sender->Success()) {
        fileTimeMeasured(measuredPath_, measuredListed_, Sender->RemoteFileTime());
        EndListingRun();
        return true;
    }
    // No exact time from this server: the check file measures, and the listing that shows it
    // follows (once: the offset is kept from then on).
    ws_.LogLine("FERNHOP: the server gave no time for " + measuredPath_ +
                "; the clock offset is measured with a check file in the remote directory");
    StartCheckFile();
    return true;
}

void ListingWalk::EndListingRun()
{
    // Stop may reach here twice (its own call and the run state's); a run reports once.
    if (endReported_)
        return;
    // Measured once the tree is complete, before the compare that needs it.
    const bool measure = measureAfterListing_;
    measureAfterListing_ = false;
    if (measure && !listingFailed_ && !listingStopped_ && !parser_.dateError && AskListedFileTime())
        return;
    if (listingFailed_ || listingStopped_)
        MarkUnfinished();
    // Other connections' listings still out are cut off: their directories were marked above.
    EndParallel(listingFailed_ || listingStopped_, !listingFailed_ && !listingStopped_ && !parser_.dateError);
    endReported_ = true;
    phase_ = Phase::idle;
    nodeBeingListed_ = nullptr;
    SetBusy(false);

    if (listingFailed_) {
        ws_.ShowStatus("Refresh Canceled - Could not change to remote directory");
        ws_.PlayEventSound(SoundEvent::Error);
    } else if (listingStopped_) {
        ws_.ShowStatus("Remote Refresh Canceled");
    } else if (!notListed_.empty()) {
        // The compare still runs: every directory not listed keeps its partner.
        const size_t n = notListed_.size();
        ws_.ShowStatus("Remote Refresh Done - " + std::to_string(n) + (n == 1 ? " directory" : " directories") +
                       " could not be listed");
        ws_.PlayEventSound(SoundEvent::Error);
    } else {
        ws_.ShowStatus("Remote Refresh Done");
        ws_.PlayEventSound(SoundEvent::Refresh);
    }

    if (parser_.dateError)
        ws_.view.Message(kDateErrorMessage);
    // A tree that is partial (stopped, or the top could not be listed) or whose dates could not
    // all be read must not drive an automatic compare and transfer: for a download
    // site the missing entries would turn into deletions of the user's local files.
    if (listingFailed_ || listingStopped_ || parser_.dateError) {
        ws_.run.currentOperation = opIdle;
        if (clearMultiSiteRun)
            clearMultiSiteRun();
        ws_.MainButtonsOn();
        return;
    }

    if (topListedExact_ && exactTimesListed) {
        topListedExact_ = false;
        exactTimesListed();
    }

    const Options &options = ws_.options;
    const bool multi = MultiSiteRun();
    const TOperation op = ws_.run.currentOperation;
    const bool compareFollows = (op == opListing || op == opAfterLogin || multi || options.compareAndRefresh) &&
                                (options.compare || multi || options.compareAndRefresh);
    ws_.run.currentOperation = opIdle;
    // The connections opened for the listing serve the transfer run; without one they go.
    const bool transferFollows = compareFollows && (options.update || multi) && startTransferRun;
    if (!transferFollows)
        EndParallel(false, false);
    if (!compareFollows) {
        ws_.MainButtonsOn();
        return;
    }
    if (!analyseButtonClick(ws_)) {
        EndParallel(false, false);
        return; // stopped: the compare has hidden its progress panel
    }
    if (transferFollows) {
        ws_.ShowStatus("Updating site");
        ownsPool_ = false; // the run takes the connections over
        startTransferRun();
        return;
    }
    ws_.MainButtonsOn();
}
