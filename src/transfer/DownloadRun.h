#pragma once
// The download run: local deletions and directory creations in plain loops that yield to the
// event loop after each entry, then the files fetched one by one through FtpClient1. Each file
// arrives in a temporary file beside its target and replaces the target only once complete, so
// a failed download leaves the user's old copy as it was.
#include "ftp/Ftp.h"
#include "ftp/FtpRemoteSession.h"
#include "site/SiteTree.h"

#include <set>
#include <string>

class TransferSequencer;
class Workspace;

class DownloadRun {
public:
    DownloadRun(TransferSequencer &sequencer, Workspace &workspace) : seq_(sequencer), ws_(workspace) {}

    void Start();
    void FtpClient1FileReceived(TFtpClient *sender);
    // Stop during a fetch: the run ends now, the aborted fetch still arrives as a failure.
    void End();
    // The connection has gone with a fetch in flight: its temporary file is removed.
    void DiscardPending();
    // After a reconnect: the fetches go on from the entry in hand.
    void Resume() { DownloadStep(); }
    // Several connections: whether another connection may fetch the file (its names are safe
    // to use here), and that fetch.
    bool SafeToFetch(const TDetail &entry) const { return PathsOf(entry).safe; }
    void SendPooled(FtpRemoteSession &session, SiteNode *node);

private:
    struct FetchPaths {
        std::string remotePath; // on the server, the file-GET text added
        std::string target;     // on the PC, as the case filters spell it
        bool safe = false;      // both stay below their tops and the server's may be sent
    };
    FetchPaths PathsOf(const TDetail &entry) const;
    bool LoopsMayGoOn() const;
    void LocalDeletionLoop();
    bool DeleteLocalEntry(SiteNode *node);
    void LocalCreationLoop();
    void DownloadStep();
    void NextDownload();
    // The received temporary file becomes the target: date stamped, mode of the old copy kept.
    bool InstallReceivedFile(const TDetail &entry, const std::string &temporary, const std::string &target);
    void RecordDownload(SiteNode *node, const std::string &target);
    void DiscardTemporaryFile();
    void PooledFetchDone(FtpRemoteSession &session, SiteNode *node, const std::string &temporary,
                         const std::string &target, const RemoteOutcome &outcome);
    void DiscardPooledFiles();

    TransferSequencer &seq_;
    Workspace &ws_;
    std::string targetPath_;
    std::string temporaryPath_;
    std::set<std::string> pooledTemporaries_; // other connections' fetches under way
};
