#pragma once
// The download run: local deletions and directory creations in plain loops that yield to the
// event loop after each entry, then the files fetched one by one through FtpClient1. Each file
// arrives in a temporary file beside its target and replaces the target only once complete, so
// a failed download leaves the user's old copy as it was.
#include "ftp/Ftp.h"
#include "site/SiteTree.h"

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

private:
    bool LoopsMayGoOn() const;
    void LocalDeletionLoop();
    bool DeleteLocalEntry(SiteNode *node);
    void LocalCreationLoop();
    void DownloadStep();
    void NextDownload();
    // The received temporary file becomes the target: date stamped, mode of the old copy kept.
    bool InstallReceivedFile();
    void DiscardTemporaryFile();

    TransferSequencer &seq_;
    Workspace &ws_;
    std::string targetPath_;
    std::string temporaryPath_;
};
