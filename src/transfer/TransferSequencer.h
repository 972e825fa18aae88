#pragma once
// The transfer runs after a compare. An upload run deletes remote entries, creates remote
// directories and stores files; a download run (DownloadRun.h) does the deletions and creations on
// disk and fetches files. Remote steps chain through FtpClient1's completion events, so exactly
// one command is in flight at a time. Also Stop, and the single commands of the tree menus.
//
// Use: construct over the workspace, fill the session hooks, call Attach() once (it assigns the
// completion and information handlers of FtpClient1), then StartTransfer() after a compare.
#include "transfer/DownloadRun.h"
#include "transfer/RemoteProbe.h"
#include "transfer/TransferDisplay.h"
#include "transfer/TransferPool.h"
#include "transfer/Workspace.h"

#include <QObject>

#include <deque>
#include <set>
#include <functional>
#include <string>

class TransferSequencer {
public:
    explicit TransferSequencer(Workspace &workspace);
    TransferSequencer(const TransferSequencer &) = delete;
    TransferSequencer &operator=(const TransferSequencer &) = delete;

    // Assigns OnFileDeleted, OnDirectoryDeleted, OnDirectoryCreated, OnFileStored, OnFileReceived,
    // OnCommandIssued and OnFtpInfo of FtpClient1.
    void Attach();

    // ---- hooks the session controller fills (each may stay empty) ----
    std::function<void()> normaliseRemoteDirectory;                  // before a run or Create Directory
    std::function<std::string()> remoteDirectoryText;                // the remote directory box; "/" when empty
    std::function<std::string(const std::string &)> formatRemotePath; // the typed Create Directory name
    std::function<bool()> usePasv;                                   // the current site's passive flag
    std::function<bool()> multiSiteRun;
    std::function<void()> stopMultiSiteRun;                          // Stop ends a multi-site run
    std::function<void()> setExitAfterQuit;                          // the `exit` option at the end of a run
    std::function<void()> continueAfterLogin;                        // the after-login command completed
    std::function<void()> setListingStopped;                         // Stop, whatever runs
    std::function<void()> endListingRun;                             // Stop during a listing
    std::function<void()> runEnded;                                  // after the end steps of either run

    // ---- commands ----
    // Upload/Download button: "Fernhop not connected", or the run of the site's direction.
    void StartTransfer();
    void StartUploadRun();
    void StartDownloadRun() { download_.Start(); }
    void Stop();
    // "&Delete File NOW" on a remote file (only while idle) and on a local file (not during a run).
    void DeleteRemoteNow(SiteNode *selected);
    void DeleteLocalNow(SiteNode *selected);
    // "&Create Directory...": asks for a name and creates it under the remote directory.
    void CreateDirectoryCommand();
    // The session's disconnection steps: a run whose connection has gone ends quietly (its
    // command in flight will not complete), the session puts the window right.
    void ConnectionLost();
    // The session reconnected after losing a run's connection: the run goes on from the entry
    // it was at (a store or fetch cut off is sent again).
    void ResumeAfterReconnect();
    // A run whose connection went without Stop or Disconnect holds where it is until the
    // session resumes it or gives up (ConnectionLost).
    bool Held() const { return held_; }
    // The run is in a phase that talks to the server and can go on after a reconnect.
    bool Resumable() const;
    // The FTP error handler's report of an upload file that could not be opened: shown (and
    // perhaps answered) once; the failed store that follows then only moves the run on.
    void LocalFileOpenFailed();

    // ---- completion handlers of FtpClient1 ----
    void FtpClient1FileDeleted(TFtpClient *sender);
    void FtpClient1DirectoryCreated(TFtpClient *sender);
    void FtpClient1FileStored(TFtpClient *sender);
    void FtpClient1CommandIssued(TFtpClient *sender);
    void FtpClient1FileReceived(TFtpClient *sender) { download_.FtpClient1FileReceived(sender); }
    void FtpClient1FileTimeDone(TFtpClient *sender);
    // CWD and listing completions of the run's own questions (RemoteProbe); false when they
    // belong to someone else.
    bool FtpClient1DirectoryChanged(TFtpClient *sender) { return probe_.FtpClient1DirectoryChanged(sender); }
    bool FtpClient1ListingDone(TFtpClient *sender) { return probe_.FtpClient1ListingDone(sender); }

    // ---- shared by both runs ----
    // Status, Error sound and, with errorPrompt on, "Try to continue with transfer?"; No (or
    // closing the prompt) cancels the run. False when the run that reported ended (or was
    // resumed by another chain of steps) while the prompt was open: the caller must then touch
    // no node it held and take no further step.
    bool ReportTransferError(const std::string &message);
    // The yes/no/cancel prompt with 1 to 3 buttons. Cancel also stands for a closed prompt.
    PromptAnswer AskUser(int buttons, const std::string &line1, const std::string &line2);
    // TransferMode and the mode label from the extension table.
    void ChooseTransferMode(const std::string &name);
    TTransferType TransferModeOf(const std::string &name) const;

    bool Running() const { return phase_ != Phase::None; }
    TransferDisplay display;
    // The run's extra connections; the session tells it how to log them in.
    TransferPool &Pool() { return pool_; }
    // Connections moving a file right now (the session's own and the pool's).
    int ConnectionsAtWork() const { return (transferInFlight_ ? 1 : 0) + pool_.Working(); }

private:
    friend class DownloadRun;
    enum class Phase { None, Deleting, Creating, Uploading, LocalSteps, Downloading };
    enum class Single { None, DeleteNow, CreateDirectory };
    // Which run was going when a prompt opened: a prompt runs the event loop, and the run can
    // end (its trees cleared) or be resumed elsewhere before the user answers.
    struct PromptMark {
        int serial;
        Phase phase;
    };
    PromptMark MarkBeforePrompt() const;
    bool SameRunAfterPrompt(const PromptMark &mark) const;

    // Before a run: false when it must not start for what it would delete (DeletionGuard.h),
    // after asking where the numbers allow it; a refused run is logged and ended as a run.
    bool DeletionsAllowed();
    void RefuseRun(const std::string &reason);
    // Step 1 of both runs: flags cleared, progress shown, buttons off, remoteTopPath taken.
    void BeginRun(TOperation operation);
    // The end steps both runs share, with the direction's completion text.
    void EndRun(const char *completeText);
    // Latches transferCanceled when Stop, Disconnect or a lost connection ends the run.
    bool RunCanceled();
    // The connection went during the run without Stop or Disconnect (and the session does not
    // resume it): logged once, counted in runsCutShort, and shown instead of "Transfer canceled".
    void NoteCutShort();
    // True, and the run held, when the session has gone while the run was not stopped.
    bool HoldIfSessionGone();
    // A step issues its command only when FtpClient1 can take one (a keep-alive NOOP may still
    // be in flight); otherwise it runs again a moment later, unless the run has ended meanwhile.
    bool ClientFree();
    void RetryWhenFree(std::function<void()> step);
    std::string RemoteTopText() const;
    bool PassiveMode() const { return usePasv && usePasv(); }
    void SetPlainIcon(SiteTree &tree, SiteNode *node);

    // Upload run (UploadRun.cpp).
    void DeletionStep();
    void StartCreationPhase();
    void CreationStep();
    void StartUploadPhase();
    void UploadStep();
    void DeletionProgress();
    void NextUpload();
    void EndUploadRun();
    // A stored file in the remote tree, its local node shown plain, counted and recorded.
    void RecordUpload(SiteNode *node, const std::string &localFile, const std::string &remoteFile, bool fileTimeSet);

    // Files over several connections (PooledTransfers.cpp): the queue of the file phase, the
    // session's own connection's part in it, and the uploads of the others.
    void StartPooled(SiteTree &tree);
    SiteNode *TakeQueued();
    SiteNode *TakeForPool();
    bool PooledRunning() const;
    void DispatchPooled();
    void WakeWaitingMain();
    void PooledFileLost(FtpRemoteSession &session, SiteNode *node);
    // A file whose data connection failed without a refusal goes back in the queue, once.
    bool RetryPooledFile(FtpRemoteSession &session, SiteNode *node, const RemoteOutcome &outcome);
    void SendPooledUpload(FtpRemoteSession &session, SiteNode *node);
    void PooledUploadDone(FtpRemoteSession &session, SiteNode *node, const RemoteStore &what,
                          const RemoteOutcome &outcome);
    void EndPool(bool abort);
    // The server refused a DELE or RMD, or an MKD: what it says of the entry decides.
    void DeletionChecked(RemoteProbe::Answer answer);
    void CreationChecked(RemoteProbe::Answer answer);
    void DeletionDone(bool done);
    void CreationDone(bool made, bool existed = false);

    // A file whose need the compare could not be sure of (verifyTime): asks the server for its
    // exact time first. True when the question went out; its answer comes to FileTimeDone.
    bool AskFileTimeFirst(SiteNode *node, const std::string &remotePath);
    // With the server's exact time: true when the receiving side is not older, so the file is
    // the same and is not sent.
    bool ReceivingSideNotOlder(const SiteNode *node, TDateTime serverUtc);
    SiteNode *ReceivingPartner(const SiteNode *node);

    // Single commands (SingleCommands.cpp).
    void DeleteNowDone(TFtpClient *sender);
    void CreateDirectoryDone(TFtpClient *sender);

    Workspace &ws_;
    TransferPool pool_;
    // Several connections: the files still to send, in tree order; the file the session's own
    // connection has in hand, and the one it takes again first (after a reconnect, or once the
    // server has told its time).
    bool pooled_ = false;
    std::deque<SiteNode *> queue_;
    SiteNode *mainInFlight_ = nullptr;
    SiteNode *mainRetake_ = nullptr;
    bool mainWaiting_ = false; // the queue is empty and other connections still have files
    std::set<SiteNode *> retried_; // files sent again after a failed data connection
    DownloadRun download_;
    RemoteProbe probe_;
    std::string refusalBeforeProbe_; // the server's refusal that sent a step to the probe
    Phase phase_ = Phase::None;
    Single single_ = Single::None;
    // A store or fetch was issued and its completion has not come yet (Stop aborts only then).
    bool transferInFlight_ = false;
    bool localOpenReported_ = false;
    bool fileTimeAsked_ = false;
    bool held_ = false;
    int runSerial_ = 0;
    int runId_ = 0; // changes with each run only, not when a run goes on after a reconnect
    std::string cutShortText_;
    QObject timerContext_; // owns pending retries, so none outlives the sequencer
};
