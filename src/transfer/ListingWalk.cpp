#include "transfer/ListingWalk.h"

#include "site/Marking.h"
#include "site/TreeEntries.h"

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
    if (!ws_.remoteTree.Empty() && !ws_.options.forceRerfesh) {
        EndListingRun();
        return;
    }
    RefreshRemoteTree();
}

void ListingWalk::RefreshRemoteTree()
{
    if (ws_.Site().SavedServerTime() != 0 || ws_.options.timeOffset || !startCheckFile) {
        ws_.ShowStatus("Loading Remote Directory");
        StartListing();
        return;
    }
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
    ws_.run.currentOperation = opListing;
    ws_.stopRequested = false;
    ws_.stopLoops = false;
    ws_.run.ftpErrorSeen = false;
    ws_.currentRelativeDirectory.clear();
    if (normaliseRemoteDirectory)
        normaliseRemoteDirectory();
    remoteTop_ = remoteDirectoryText ? remoteDirectoryText() : std::string("/");
    ClearListingFlags();
    SetBusy(true);
    ws_.view.SetEnabled(Control::stopBtn, true);
    parser_.dateError = false;
    nodeBeingListed_ = nullptr;
    listedDirectory_.clear();
    phase_ = Phase::changingDirectory;
    endReported_ = false;
    ClearTree(ws_, ws_.remoteTree); // may yield: Stop can end the run here
    if (phase_ != Phase::changingDirectory)
        return;
    ws_.FtpClient1.ChangeDirectory(remoteTop_);
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
    if (phase_ != Phase::idle)
        listingFailed_ = true; // the tree holds only what was listed before the connection went
    ws_.stopRequested = true;
    restartPending_ = false;
    phase_ = Phase::idle;
    nodeBeingListed_ = nullptr;
    SetBusy(false);
}

void ListingWalk::FtpClient1DirectoryChanged(TFtpClient *Sender)
{
    const TOperation op = ws_.run.currentOperation;
    if (phase_ != Phase::changingDirectory || !ws_.remoteListing || (op != opListing && op != opAfterLogin))
        return;
    if (Sender->Success()) {
        if (nodeBeingListed_)
            nodeBeingListed_->detail.visited = 1;
        listingFailed_ = false;
        ws_.run.currentOperation = opListingDirectory;
        phase_ = Phase::listing;
        if (Passive())
            Sender->GetListingPasv();
        else
            Sender->GetListing();
        return;
    }
    ws_.ShowStatus(nodeBeingListed_ ? "Could not change directory: " + nodeBeingListed_->detail.name
                                    : std::string("Could not change directory"));
    MarkNotListed(nodeBeingListed_);
    listingFailed_ = true;
    phase_ = Phase::listing;
    FtpClient1ListingDone(Sender);
}

void ListingWalk::FtpClient1ListingDone(TFtpClient *Sender)
{
    if (phase_ != Phase::listing || !ws_.remoteListing)
        return; // a late completion after Stop or the end of the session
    ws_.run.currentOperation = opListing;

    if (Sender->Success() && !listingFailed_) {
        workList_ = Sender->Listing();
        ws_.currentRelativeDirectory = listedDirectory_;
        processing_ = true;
        parser_.ProcessListing(ws_.remoteTree, nodeBeingListed_, std::move(workList_));
        processing_ = false;
        workList_.clear();
        if (restartPending_) {
            restartPending_ = false;
            StartListing();
            return;
        }
        if (phase_ != Phase::listing)
            return; // Stop or the end of the session came during the parse's yields
        if (ws_.stopRequested) {
            // The parse ended early: what this directory holds is only partly known.
            MarkNotListed(nodeBeingListed_);
            listingStopped_ = true;
        }
    } else if (!listingFailed_) {
        // The change of directory worked but the listing did not. The top directory's contents
        // are then unknown as a whole, so the run counts as failed.
        if (nodeBeingListed_)
            MarkNotListed(nodeBeingListed_);
        else
            listingFailed_ = true;
    }
    ListNext();
}

SiteNode *ListingWalk::NextUnlistedDirectory(SiteNode *from)
{
    SiteTree &tree = ws_.remoteTree;
    for (SiteNode *node = from; node; node = tree.Next(node)) {
        TDetail &entry = node->detail;
        if (entry.kind != ekDirectory || entry.visited != 0)
            continue;
        if (entry.directory.size() + 1 + entry.name.size() > kMaxListedPath) {
            MarkNotListed(node);
            ws_.LogLine("FERNHOP: not listed, the path is longer than " + std::to_string(kMaxListedPath) +
                        " characters: " + entry.directory.substr(0, 200) + "...");
            continue;
        }
        return node;
    }
    return nullptr;
}

void ListingWalk::ListNext()
{
    SiteNode *from = nodeBeingListed_ ? nodeBeingListed_ : ws_.remoteTree.First();
    SiteNode *next = listingStopped_ ? nullptr : NextUnlistedDirectory(from);
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
}

void ListingWalk::EndListingRun()
{
    // Stop may reach here twice (its own call and the run state's); a run reports once.
    if (endReported_)
        return;
    endReported_ = true;
    phase_ = Phase::idle;
    nodeBeingListed_ = nullptr;
    SetBusy(false);

    if (listingFailed_) {
        ws_.ShowStatus("Refresh Canceled - Could not change to remote directory");
        ws_.PlayEventSound(SoundEvent::Error);
    } else if (listingStopped_) {
        ws_.ShowStatus("Remote Refresh Canceled");
    } else {
        ws_.ShowStatus("Remote Refresh Done");
        ws_.PlayEventSound(SoundEvent::Refresh);
    }

    if (parser_.dateError)
        ws_.view.Message(kDateErrorMessage);
    // A tree that is partial (stopped, a directory that could not be entered) or whose dates
    // could not all be read must not drive an automatic compare and transfer: for a download
    // site the missing entries would turn into deletions of the user's local files.
    if (listingFailed_ || listingStopped_ || parser_.dateError) {
        ws_.run.currentOperation = opIdle;
        if (clearMultiSiteRun)
            clearMultiSiteRun();
        ws_.MainButtonsOn();
        return;
    }

    const Options &options = ws_.options;
    const bool multi = MultiSiteRun();
    const TOperation op = ws_.run.currentOperation;
    const bool compareFollows = (op == opListing || op == opAfterLogin || multi || options.compareAndRefresh) &&
                                (options.compare || multi || options.compareAndRefresh);
    ws_.run.currentOperation = opIdle;
    if (!compareFollows) {
        ws_.MainButtonsOn();
        return;
    }
    if (!analyseButtonClick(ws_))
        return; // stopped: the compare has hidden its progress panel
    if ((options.update || multi) && startTransferRun) {
        ws_.ShowStatus("Updating site");
        startTransferRun();
        return;
    }
    ws_.MainButtonsOn();
}
