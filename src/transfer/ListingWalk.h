#pragma once
// The remote listing walk: builds the remote tree over FtpClient1 by changing to the remote top
// directory and then to every directory found, depth first, listing each one once, and decides
// at the end whether a compare and a transfer run follow. With more than one connection for the
// site, the run's extra connections (the pool) list directories beside FtpClient1, all taking
// from one breadth-first queue (ListingWalkParallel.cpp); the tree comes out the same.
//
// Use: construct one walk per workspace (it takes over FtpClient1's OnDirectoryChanged and
// OnListingDone), fill the hooks, then call StartRemoteRefresh after login or RefreshRemoteTree
// for the Refresh button. The session's check-file completion calls ContinueAfterCheckFile, its
// Stop button StopListing, and its disconnection steps Abandon before the remote tree is cleared.
#include "site/ListingParser.h"
#include "transfer/Workspace.h"

#include <QObject>

#include <cstddef>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

class FtpRemoteSession;
class TransferPool;
struct RemoteOutcome;

// A directory whose relative path is longer than this is not entered: a server that nests
// directories without end must not walk us into unbounded memory and time.
inline constexpr size_t kMaxListedPath = 4096;

class ListingWalk {
public:
    explicit ListingWalk(Workspace &workspace);
    ListingWalk(const ListingWalk &) = delete;
    ListingWalk &operator=(const ListingWalk &) = delete;

    // ---- hooks the session fills ----------------------------------------------------------
    std::function<bool()> usePasv;                    // the current site's UsePasv
    std::function<std::string()> remoteDirectoryText; // the remote directory box text
    std::function<void()> normaliseRemoteDirectory;  // formats the box text and stores it in the site
    // Stores the check file in the remote top directory to measure the clock offset; its
    // completion calls ContinueAfterCheckFile.
    std::function<void()> startCheckFile;
    // The listing showed the check file while the site waits for its server time.
    std::function<void(TDateTime serverTime)> checkFileListed;
    // A download site's offset without writing: the listed time of a file and the server's
    // exact UTC time of it (MDTM). Unset: a download site stores the check file as any site.
    std::function<void(const std::string &path, TDateTime listed, TDateTime serverUtc)> fileTimeMeasured;
    // The top was listed with MLSD: every remote time is exact, on the PC's clock, so a measured
    // offset no longer applies.
    std::function<void()> exactTimesListed;
    std::function<bool()> multiSiteRun;
    std::function<void()> clearMultiSiteRun;
    // After the automatic compare: the upload run, or the download run for a download site.
    std::function<void()> startTransferRun;
    // An upload site's remote top directory could not be entered: true to create it (with its
    // missing parents) and list it then. Unset: the listing fails as for any refused top.
    std::function<bool(const std::string &top)> createMissingTop;
    // The run's extra connections: with more than one connection for the site they list
    // directories too, and stay open for the transfer run that follows. Unset: FtpClient1 alone.
    TransferPool *pool = nullptr;

    // ---- operations -------------------------------------------------------------------------
    // After login: the cached remote tree when there is one (unless forceRerfesh) and the
    // server's top directory still lists as the cache has it, else a listing, measuring the
    // clock offset first when the site has no server time yet.
    void StartRemoteRefresh();
    // The Refresh button's work once it has checked the connection and reset the compare state:
    // a listing, with the clock offset measured first when needed. No cache shortcut.
    void RefreshRemoteTree();
    // The check file's store has completed (whatever its outcome): the listing follows, unless
    // the refresh was stopped or abandoned meanwhile.
    void ContinueAfterCheckFile();
    // Starts a listing run at the remote top directory (currentOperation becomes opListing).
    void StartListing();
    // Stop button: the run ends now with "Remote Refresh Canceled"; the command in flight
    // completes unheeded. Nothing happens when no run is going on.
    void StopListing();
    // The connection is gone: forget the run without a word, so that nothing touches the remote
    // tree afterwards. Call before clearing the remote tree.
    void Abandon();
    // Reports the outcome of a run (or of the cached tree), once per run, and starts the automatic compare and
    // transfer when the options ask for them and the remote tree is complete. A download site
    // still waiting for its clock offset first asks the server for one listed file's time.
    void EndListingRun();

    // FtpClient1 event handlers (wired by the constructor).
    void FtpClient1DirectoryChanged(TFtpClient *Sender);
    void FtpClient1ListingDone(TFtpClient *Sender);
    // OnDirectoryCreated while the walk creates the remote top directory; false when the walk
    // is not creating it (the completion belongs to someone else).
    bool FtpClient1DirectoryCreated(TFtpClient *Sender);
    // OnFileTimeDone: false when the walk did not ask (the completion belongs to the run).
    bool FtpClient1FileTimeDone(TFtpClient *Sender);

    // ---- state ------------------------------------------------------------------------------
    // measuring: the check file is on its way; askingFileTime: the listing is done and the
    // server's time of one listed file (MDTM) will give the offset.
    // checkingCache: the top directory is listed once to see whether the cached tree still
    // stands for the server.
    // waitingForListings: FtpClient1 has nothing left to list while other connections' listings
    // are still out.
    enum class Phase {
        idle,
        measuring,
        changingDirectory,
        listing,
        creatingTop,
        askingFileTime,
        checkingCache,
        waitingForListings
    };
    Phase CurrentPhase() const { return phase_; }
    bool Running() const { return phase_ != Phase::idle; }
    bool ListingStopped() const { return listingStopped_; }
    // The top directory could not be listed: the remote tree stands for nothing.
    bool ListingFailed() const { return listingFailed_; }
    // Directories below the top that could not be listed (refused, failed, too deep), by path
    // relative to the top. Each is marked notListed, so the compare keeps its partner; the
    // rest of the tree is complete.
    const std::vector<std::string> &NotListedDirectories() const { return notListed_; }
    bool Incomplete() const { return !notListed_.empty(); }
    bool DateError() const { return parser_.dateError; }
    // Connect's and Refresh's reset of the compare state clears these.
    void ClearListingFlags();

private:
    // One directory's listing as a connection brought it, waiting to be read into the tree.
    struct Arrival {
        SiteNode *node = nullptr; // null: the top
        std::string directory;    // its path relative to the top, "" for the top
        bool own = true;          // FtpClient1's (else a pool connection's)
        bool ok = false;
        std::string failure; // why not, for the log
        std::vector<std::string> lines;
        bool mlsd = false;
        bool hiddenListed = true;
        bool bytesWithoutLines = false; // text came but no line: no empty directory
    };
    enum class Filed { done, notListed, topFailed, interrupted };
    // Reads a listing into the tree under its node (or marks the node notListed). interrupted:
    // the walk was stopped, restarted or abandoned during the parse's yields.
    Filed FileListing(Arrival &arrival);
    void ListNext();
    // The cached tree is there: CWD to the top and list it (phase checkingCache).
    void CheckCachedTop();
    void CachedTopListed(TFtpClient *Sender);
    // Why the listed top differs from the cached tree's top level, "" when it does not.
    std::string CachedTopDifference(const std::vector<TDetail> &listed, bool hiddenListed) const;
    // The cache does not stand for the server: logged, and the server is listed.
    void CacheRefused(const std::string &why);
    // A stopped or failed run: every directory whose listing did not finish is marked notListed,
    // and the workspace learns that the remote listing is partial.
    void MarkUnfinished();
    // A directory whose path is too long to enter: marked, named in the log, counted.
    bool TooDeep(SiteNode *node);
    // A directory below the top could not be listed: marked, named in the log, counted.
    void DirectoryNotListed(SiteNode *node, const std::string &why);
    SiteNode *NextUnlistedDirectory(SiteNode *from);
    // ---- several connections (ListingWalkParallel.cpp) ----
    bool ListsInParallel() const;
    // The walk is under way at a stage where listings may arrive.
    bool Walking() const;
    // Queues the directories the node's listing showed (the top's for null).
    void QueueSubdirectories(SiteNode *node);
    // The next queued directory to list, marked as taken; null when none is left.
    SiteNode *TakeQueued();
    // Asks for the extra connections (all of them at once).
    void OpenConnections();
    bool LocalTopHasDirectory() const;
    // Asks for the extra connections once a directory waits, hands queued directories to free
    // ones, wakes FtpClient1 when it waits and ends the walk after the last listing.
    void Pump();
    void ListOn(FtpRemoteSession &session, SiteNode *node);
    void PoolListed(FtpRemoteSession &session, SiteNode *node, const std::string &directory,
                    const RemoteOutcome &outcome, const std::vector<std::string> &lines, bool mlsd);
    // Reads the listings that arrived, in turn; never while a parse is yielding.
    void TakeArrivals();
    // Ends the pool's part of the walk: `abort` cuts off the listings still out; otherwise the
    // connections stay for the transfer run when `keep`, else they say goodbye.
    void EndParallel(bool abort, bool keep);
    std::string FullPath(const std::string &relativeDirectory) const;
    void SetBusy(bool busy);
    // MKD for each level of the remote top directory in turn, then the top's CWD again.
    void CreateTopLevel();
    // The site has no clock offset yet and the options want one.
    bool OffsetWanted() const;
    // Measures without the check file's store: a download site whose server may answer MDTM.
    bool MeasuresByFileTime() const;
    // Sends MDTM for the first listed file with a time of day; false when there is none to ask.
    bool AskListedFileTime();
    void StartCheckFile();
    bool Passive() const { return usePasv && usePasv(); }
    bool MultiSiteRun() const { return multiSiteRun && multiSiteRun(); }

    Workspace &ws_;
    ListingParser parser_;
    Phase phase_ = Phase::idle;
    SiteNode *nodeBeingListed_ = nullptr; // null: the top directory
    std::string listedDirectory_;         // its path relative to the top, "" for the top
    std::string remoteTop_;
    bool listingStopped_ = false;
    bool listingFailed_ = false;
    bool processing_ = false;     // a listing is being parsed (it yields to the event loop)
    bool restartPending_ = false; // StartListing was asked for during that parse
    bool passiveAheadAfterCheck_ = false; // FtpClient1's PassiveAhead, off while the cached top is checked
    bool endReported_ = true;     // EndListingRun has run for the latest start
    std::vector<std::string> notListed_;
    std::vector<std::string> topLevels_; // the levels still to create, outermost first
    std::string creatingLevel_;
    bool topCreationTried_ = false;
    bool measureAfterListing_ = false; // this run's listing is followed by the MDTM measurement
    bool topListedExact_ = false;      // the top directory came as a machine listing
    bool fileTimeAsked_ = false;       // our MDTM is out: its completion is ours
    std::string measuredPath_;         // the file asked about, and its listed time
    TDateTime measuredListed_ = 0;
    // ---- several connections ----
    bool parallel_ = false;        // this run lists over the pool too
    bool ownsPool_ = false;        // the pool's connections were opened for this walk
    int serial_ = 0;               // a run's pool completions carry it; a later run ignores them
    std::deque<SiteNode *> queue_; // directories found and not yet taken, breadth first
    std::set<SiteNode *> elsewhere_; // taken by a pool connection and not yet read into the tree
    std::set<SiteNode *> retried_;   // listed again once after a failed data connection
    std::deque<Arrival> arrivals_;
    QObject context_; // posted reads of other connections' listings end with the walk
};
