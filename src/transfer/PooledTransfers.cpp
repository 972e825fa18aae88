// Files over several connections. The session's connection keeps its steps as in a run over one
// connection (deletions, then directories, then files); in the file phase it and the pool's
// connections take files from one queue in tree order. A file a lost connection had in hand goes
// back to the front of the queue; a run ends once the last connection's file is done.
#include "transfer/TransferSequencer.h"

#include "base/Text.h"
#include "site/LocalScan.h"
#include "site/Progress.h"
#include "site/TreeEntries.h"
#include "transfer/TransferPaths.h"
#include "transfer/UploadSettled.h"

namespace {
constexpr int kFilesPerExtraConnection = 4;

bool MarkedForTransfer(const TDetail &entry)
{
    return entry.action == actNewFile || entry.action == actRefresh;
}
} // namespace

void TransferSequencer::StartPooled(SiteTree &tree)
{
    pooled_ = false;
    mainWaiting_ = false;
    mainRetake_ = mainInFlight_ = nullptr;
    queue_.clear();
    const int connections = ConnectionsForRun(ws_);
    if (connections <= 1 || !pool_.Usable())
        return;
    for (SiteNode *node = ws_.run.transferNode; node; node = tree.Next(node)) {
        if (MarkedForTransfer(node->detail))
            queue_.push_back(node);
        else
            SetPlainIcon(tree, node);
    }
    // A login costs more round trips than a small file: a connection is added for every few
    // files only, so a run of a handful of files stays on the session's own connection.
    const int extra = std::min(connections - 1, int(queue_.size()) / kFilesPerExtraConnection);
    if (extra < 1) {
        queue_.clear();
        return;
    }
    pooled_ = true;
    const int serial = runId_;
    pool_.usePasv = [this] { return PassiveMode(); };
    pool_.sessionFree = [this, serial] {
        if (serial == runId_)
            DispatchPooled();
    };
    pool_.Open(extra);
}

SiteNode *TransferSequencer::TakeQueued()
{
    // A file whose time the server was asked about is sent only if it is still marked: the
    // answer may have shown it the same on both sides.
    if (SiteNode *node = std::exchange(mainRetake_, nullptr); node && MarkedForTransfer(node->detail))
        return node;
    while (!queue_.empty()) {
        SiteNode *node = queue_.front();
        queue_.pop_front();
        if (MarkedForTransfer(node->detail))
            return node;
    }
    return nullptr;
}

SiteNode *TransferSequencer::TakeForPool()
{
    while (!queue_.empty()) {
        SiteNode *node = queue_.front();
        if (!MarkedForTransfer(node->detail)) {
            queue_.pop_front();
            continue;
        }
        // A time to ask first, or a name that cannot be used, is the session's own step.
        if (node->detail.verifyTime && !ws_.FtpClient1.MdtmRefused())
            return nullptr;
        const bool usable = phase_ == Phase::Uploading
                                ? SendableName(FullRemotePath(ws_.run.remoteTopPath, RemoteRelativePath(ws_, node->detail)))
                                : download_.SafeToFetch(node->detail);
        if (!usable)
            return nullptr;
        queue_.pop_front();
        return node;
    }
    return nullptr;
}

bool TransferSequencer::PooledRunning() const
{
    return pool_.Working() > 0;
}

void TransferSequencer::DispatchPooled()
{
    if (!pooled_ || (phase_ != Phase::Uploading && phase_ != Phase::Downloading))
        return;
    while (!ws_.stopRequested && !ws_.run.transferCanceled) {
        FtpRemoteSession *session = pool_.Free();
        SiteNode *node = session ? TakeForPool() : nullptr;
        if (!node)
            break;
        if (phase_ == Phase::Uploading)
            SendPooledUpload(*session, node);
        else
            download_.SendPooled(*session, node);
    }
    WakeWaitingMain();
}

void TransferSequencer::WakeWaitingMain()
{
    // The session's connection waits only while the others have files in hand: when one comes
    // back to the queue it takes it, and after the last one it ends the run.
    if (!mainWaiting_ || held_ || (phase_ != Phase::Uploading && phase_ != Phase::Downloading))
        return;
    if (!queue_.empty() || mainRetake_ || !PooledRunning() || ws_.stopRequested || ws_.run.transferCanceled) {
        mainWaiting_ = false;
        if (phase_ == Phase::Uploading)
            UploadStep();
        else
            download_.Resume();
    }
}

void TransferSequencer::PooledFileLost(FtpRemoteSession &session, SiteNode *node)
{
    // Not done, and not refused: another connection takes it, and a new one takes the lost
    // one's place.
    ws_.LogLine("FERNHOP: connection [" + std::to_string(pool_.Number(&session)) + "] was lost; " +
                QuotedForLog(node->detail.Path()) + " goes over another one");
    queue_.push_front(node);
    pool_.Replace(&session);
}

bool TransferSequencer::RetryPooledFile(FtpRemoteSession &session, SiteNode *node, const RemoteOutcome &outcome)
{
    if (!outcome.mayRetry || !retried_.insert(node).second)
        return false;
    ws_.LogLine("FERNHOP: " + QuotedForLog(node->detail.Path()) + " failed on connection [" +
                std::to_string(pool_.Number(&session)) + "] (" + outcome.reason + "); it is sent again");
    queue_.push_front(node);
    return true;
}

void TransferSequencer::SendPooledUpload(FtpRemoteSession &session, SiteNode *node)
{
    const TDetail &entry = node->detail;
    RemoteStore what;
    what.localPath = LocalPath(ws_.localTopDirectory, entry);
    what.remotePath = FullRemotePath(ws_.run.remoteTopPath, RemoteRelativePath(ws_, entry));
    what.ascii = TransferModeOf(entry.name) == AsciiTransfer;
    // Set on the server where it can be (MFMT); older for a file the next run must send again.
    what.fileTime = WrittenAtScan(ws_, entry) ? UnsettledTime(entry.modified) : entry.modified;
    KeepInView(ws_, ws_.localTree, node, false);
    const int serial = runId_;
    session.Store(what, [this, serial, &session, node, what](const RemoteOutcome &outcome) {
        if (serial != runId_ || phase_ != Phase::Uploading)
            return; // the run has ended: nothing of it is touched
        PooledUploadDone(session, node, what, outcome);
    });
}

void TransferSequencer::PooledUploadDone(FtpRemoteSession &session, SiteNode *node, const RemoteStore &what,
                                         const RemoteOutcome &outcome)
{
    if (outcome.ok) {
        RecordUpload(node, what.localPath, what.remotePath, session.Client().FileTimeSet());
        display.ShowPhaseProgress("Uploading - ", ws_.counters.transferTotal, ws_.counters.transferRemain);
        if (ws_.options.useCHMOD && SendableName(ws_.options.CHMODcmd)) {
            const int serial = runId_;
            session.SiteCommand("CHMOD " + ws_.options.CHMODcmd + " " + what.remotePath,
                                [this, serial](const RemoteOutcome &) {
                                    if (serial == runId_)
                                        DispatchPooled();
                                });
            return;
        }
    } else if (outcome.sessionLost) {
        PooledFileLost(session, node);
    } else if (!RetryPooledFile(session, node, outcome)) {
        ws_.results.Failed(EntryStep::Upload, node->detail.Path(), outcome.reason);
        ws_.run.currentFileName = node->detail.name;
        // While the session's own connection is being reconnected nobody is asked.
        if (!held_ && !ReportTransferError("Could not upload: " + node->detail.name))
            return;
    }
    DispatchPooled();
}
