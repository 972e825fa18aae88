#include "transfer/TransferSequencer.h"

#include "base/Text.h"
#include "site/Progress.h"
#include "transfer/DeletionGuard.h"

#include <QTimer>

namespace {
// How long a step waits for a command still in flight (a keep-alive NOOP) before it looks again.
constexpr int kRetryMs = 10;
} // namespace

TransferSequencer::TransferSequencer(Workspace &workspace)
    : display(workspace), ws_(workspace), pool_(workspace), download_(*this, workspace), probe_(workspace)
{
    // The runs settle an uncertain mark with the server's exact time before sending.
    ws_.runVerifiesTimes = true;
    display.connectionsAtWork = [this] { return ConnectionsAtWork(); };
    probe_.usePasv = [this] { return PassiveMode(); };
}

void TransferSequencer::Attach()
{
    TFtpClient &ftp = ws_.FtpClient1;
    ftp.OnFileDeleted = [this](TFtpClient *s) { FtpClient1FileDeleted(s); };
    ftp.OnDirectoryDeleted = [this](TFtpClient *s) { FtpClient1FileDeleted(s); };
    ftp.OnDirectoryCreated = [this](TFtpClient *s) { FtpClient1DirectoryCreated(s); };
    ftp.OnFileStored = [this](TFtpClient *s) { FtpClient1FileStored(s); };
    ftp.OnFileReceived = [this](TFtpClient *s) { FtpClient1FileReceived(s); };
    ftp.OnCommandIssued = [this](TFtpClient *s) { FtpClient1CommandIssued(s); };
    ftp.OnFileTimeDone = [this](TFtpClient *s) { FtpClient1FileTimeDone(s); };
    // The run's own questions first; the rest goes where it went before (a listing walk).
    ftp.OnDirectoryChanged = [this, other = ftp.OnDirectoryChanged](TFtpClient *s) {
        if (!FtpClient1DirectoryChanged(s) && other)
            other(s);
    };
    ftp.OnListingDone = [this, other = ftp.OnListingDone](TFtpClient *s) {
        if (!FtpClient1ListingDone(s) && other)
            other(s);
    };
    ftp.OnFtpInfo = [this](TFtpClient *s, FtpInfo info, const std::string &text) {
        display.FtpClient1FtpInfo(s, info, text);
    };
}

void TransferSequencer::StartTransfer()
{
    if (normaliseRemoteDirectory)
        normaliseRemoteDirectory();
    if (!ws_.Connected()) {
        ws_.ShowStatus("Fernhop not connected");
        return;
    }
    if (Running() || single_ != Single::None)
        return;
    ws_.run.refusedText.clear();
    if (!DeletionsAllowed())
        return;
    if (ws_.Site().Download())
        StartDownloadRun();
    else
        StartUploadRun();
}

bool TransferSequencer::DeletionsAllowed()
{
    const DeletionCheck check = CheckDeletions(ws_, RemoteTopText(), ws_.run.maxDeleteCount);
    if (check.verdict == DeletionVerdict::Allowed)
        return true;
    if (check.verdict == DeletionVerdict::Ask) {
        ws_.LogLine("FERNHOP: " + check.reason);
        const PromptAnswer answer = AskUser(2, check.reason, kMassDeletionQuestion);
        // The prompt ran the event loop: the session may have ended or another run begun.
        if (!ws_.Connected() || Running() || single_ != Single::None)
            return false;
        if (answer == PromptAnswer::Yes) {
            ws_.LogLine("FERNHOP: the deletions were confirmed");
            return true;
        }
    }
    RefuseRun(check.verdict == DeletionVerdict::Ask ? "Stopped before the first deletion: " + check.reason
                                                    : check.reason);
    return false;
}

void TransferSequencer::RefuseRun(const std::string &reason)
{
    // The run's usual start and end, so that what follows a run (the next site of a multi-site
    // run, the exit option) follows this one too.
    BeginRun(ws_.Site().Download() ? opDownloadRun : opUploadRun);
    ws_.run.refusedText = reason;
    ws_.LogLine("FERNHOP: " + reason);
    ws_.PlayEventSound(SoundEvent::Error);
    EndRun(reason.c_str());
}

std::string TransferSequencer::RemoteTopText() const
{
    std::string text = remoteDirectoryText ? remoteDirectoryText() : std::string();
    return text.empty() ? std::string("/") : Cut255(text);
}

void TransferSequencer::BeginRun(TOperation operation)
{
    ++runSerial_;
    ++runId_;
    RunState &run = ws_.run;
    run.currentOperation = operation;
    ws_.stopRequested = false;
    ws_.stopLoops = false;
    run.ftpErrorSeen = false;
    run.deletePhaseDone = run.createPhaseDone = run.transferPhaseDone = false;
    run.transferCanceled = false;
    run.cutShort = false;
    ws_.results.Clear();
    localOpenReported_ = false;
    probe_.Forget();
    ShowProgress(ws_);
    ws_.AllButtonsOff();
    ws_.view.SetEnabled(Control::stopBtn, true);
    ws_.view.SetEnabled(Control::remoteDirEdit, false);
    run.remoteTopPath = RemoteTopText();
    display.StartRun();
}

void TransferSequencer::EndPool(bool abort)
{
    pool_.End(abort);
    pooled_ = false;
    mainWaiting_ = false;
    queue_.clear();
    retried_.clear();
    mainInFlight_ = mainRetake_ = nullptr;
}

void TransferSequencer::EndRun(const char *completeText)
{
    RunState &run = ws_.run;
    phase_ = Phase::None;
    EndPool(run.transferCanceled);
    probe_.Cancel();
    run.transferPhaseDone = true;
    run.currentOperation = opIdle;
    run.uploading = false;
    run.downloading = false;
    if (run.cutShort)
        ws_.ShowStatus(cutShortText_);
    else
        ws_.ShowStatus(run.transferCanceled ? "Transfer canceled" : completeText);
    display.HideFileLabels();
    ws_.view.SetEnabled(Control::stopBtn, false);
    ws_.view.SetEnabled(Control::updateBtn, false);
    ws_.MainButtonsOn();
    HideProgress(ws_);
    ws_.PlayEventSound(SoundEvent::Transferred);
    if (multiSiteRun && multiSiteRun()) {
        ws_.FtpClient1.Quit();
    } else if (ws_.options.exit) {
        if (setExitAfterQuit)
            setExitAfterQuit();
        ws_.LogResetFtpHint();
        ws_.FtpClient1.Quit();
    }
    if (runEnded)
        runEnded();
}

bool TransferSequencer::RunCanceled()
{
    if (!ws_.Connected() && !ws_.stopRequested)
        NoteCutShort();
    if (ws_.stopRequested || !ws_.Connected())
        ws_.run.transferCanceled = true;
    return ws_.run.transferCanceled;
}

void TransferSequencer::NoteCutShort()
{
    RunState &run = ws_.run;
    if (run.cutShort || !Running())
        return;
    run.cutShort = true;
    run.transferCanceled = true;
    ++run.runsCutShort;
    const RunCounters &c = ws_.counters;
    cutShortText_ = "Run cut short: the connection to the server was lost";
    if (!run.currentFileName.empty())
        cutShortText_ += " at " + run.currentFileName;
    cutShortText_ += "; " + std::to_string(c.transferRemain) + " of " + std::to_string(c.transferTotal) +
                     " files not transferred";
    ws_.LogLine(cutShortText_);
}

bool TransferSequencer::ClientFree()
{
    return !ws_.FtpClient1.Busy();
}

void TransferSequencer::RetryWhenFree(std::function<void()> step)
{
    const int serial = runSerial_;
    QTimer::singleShot(kRetryMs, &timerContext_, [this, serial, step = std::move(step)] {
        if (serial == runSerial_ && Running() && !held_)
            step();
    });
}

void TransferSequencer::SetPlainIcon(SiteTree &tree, SiteNode *node)
{
    const int32_t plain = node->detail.kind == ekDirectory ? iconDir : iconFile;
    if (node->icon != plain) {
        node->icon = plain;
        tree.NotifyChanged(node);
    }
}

void TransferSequencer::Stop()
{
    RunState &run = ws_.run;
    ws_.stopRequested = true;
    ws_.stopLoops = true;
    run.deletePhaseDone = run.createPhaseDone = run.transferPhaseDone = true;
    run.transferCanceled = true;
    if (setListingStopped)
        setListingStopped();
    if (stopMultiSiteRun)
        stopMultiSiteRun();

    TFtpClient &ftp = ws_.FtpClient1;
    switch (run.currentOperation) {
    case opTransferFile:
        // Only a running store or fetch is aborted; a SITE CHMOD in flight just completes.
        if (transferInFlight_)
            ftp.Abort();
        if (phase_ == Phase::Uploading)
            EndUploadRun();
        else if (phase_ == Phase::Downloading)
            download_.End();
        ftp.SetClosing(false);
        ftp.ClearQuitPending();
        break;
    case opListing:
    case opListingDirectory:
        if (endListingRun)
            endListingRun();
        break;
    case opConnecting:
        ftp.Disconnect(feNone);
        ftp.SetClosing(false);
        ws_.MainButtonsOn();
        ws_.ShowStatus("Connection attempt canceled");
        break;
    default:
        // opUploadRun, opDownloadRun: the command in flight completes and the next step sees
        // transferCanceled; the local loops of a download run see stopLoops.
        break;
    }
    run.currentOperation = opIdle;
}

bool TransferSequencer::HoldIfSessionGone()
{
    if (held_)
        return true;
    if (!Resumable() || ws_.stopRequested || ws_.Connected())
        return false;
    held_ = true;
    transferInFlight_ = false;
    return true;
}

bool TransferSequencer::Resumable() const
{
    return phase_ == Phase::Deleting || phase_ == Phase::Creating || phase_ == Phase::Uploading ||
           phase_ == Phase::Downloading;
}

void TransferSequencer::ResumeAfterReconnect()
{
    held_ = false;
    ++runSerial_; // a retry still pending from before the loss must not run a second chain
    transferInFlight_ = false;
    mainWaiting_ = false; // the new chain takes from the queue; the other connections go on
    // The file the session's connection had in hand when it went, when the reset connection
    // never reported it: not done, and not failed, so it goes again first.
    if (pooled_ && mainInFlight_)
        mainRetake_ = std::exchange(mainInFlight_, nullptr);
    probe_.ConnectionGone();
    download_.DiscardPending(); // a fetch cut off without its completion
    switch (phase_) {
    case Phase::Deleting: DeletionStep(); break;
    case Phase::Creating: CreationStep(); break;
    case Phase::Uploading: UploadStep(); break;
    case Phase::Downloading: download_.Resume(); break;
    default: break;
    }
}

void TransferSequencer::ConnectionLost()
{
    if (Resumable()) {
        // The entry in hand when the session went was not done.
        const char *verb = phase_ == Phase::Deleting   ? "Could not delete: "
                           : phase_ == Phase::Creating ? "Could not create: "
                           : phase_ == Phase::Uploading ? "Could not upload: "
                                                        : "Could not download: ";
        ws_.ShowStatus(verb + ws_.run.currentFileName);
        if (const SiteNode *node = ws_.run.transferNode) {
            const EntryStep step = phase_ == Phase::Deleting   ? RemovalStepOf(node->detail)
                                   : phase_ == Phase::Creating ? EntryStep::CreateDirectory
                                   : phase_ == Phase::Uploading ? EntryStep::Upload
                                                                : EntryStep::Download;
            ws_.results.Failed(step, node->detail.Path(), "the connection to the server was lost");
        }
    }
    held_ = false;
    transferInFlight_ = false;
    EndPool(true);
    probe_.ConnectionGone();
    download_.DiscardPending();
    if (single_ != Single::None) {
        single_ = Single::None;
        ws_.run.transferNode = nullptr;
    }
    if (!Running())
        return;
    if (!ws_.stopRequested) {
        NoteCutShort();
        ws_.ShowStatus(cutShortText_);
    }
    ws_.run.transferCanceled = true;
    ws_.run.uploading = false;
    ws_.run.downloading = false;
    ws_.run.transferNode = nullptr;
    phase_ = Phase::None;
    display.HideFileLabels();
    HideProgress(ws_);
}

bool TransferSequencer::ReportTransferError(const std::string &message)
{
    ws_.ShowStatus(message);
    ws_.PlayEventSound(SoundEvent::Error);
    // Nothing to continue with once the connection has gone.
    if (!ws_.options.errorPrompt || RunCanceled())
        return true;
    const PromptMark mark = MarkBeforePrompt();
    // A closed prompt counts as No: the run does not go on without an answer.
    const PromptAnswer answer = AskUser(2, message, "Try to continue with transfer?");
    if (!SameRunAfterPrompt(mark))
        return false;
    if (answer != PromptAnswer::Yes)
        ws_.run.transferCanceled = true;
    return true;
}

PromptAnswer TransferSequencer::AskUser(int buttons, const std::string &line1, const std::string &line2)
{
    return ws_.view.AskUser(line1, line2, buttons);
}

TransferSequencer::PromptMark TransferSequencer::MarkBeforePrompt() const
{
    return {runSerial_, phase_};
}

bool TransferSequencer::SameRunAfterPrompt(const PromptMark &mark) const
{
    // A run that ended meanwhile has let go of its nodes (the remote tree is cleared when the
    // connection ends); a resumed run goes on in a new chain of steps.
    return mark.serial == runSerial_ && mark.phase == phase_;
}

TTransferType TransferSequencer::TransferModeOf(const std::string &name) const
{
    if (const ExtensionRow *row = ws_.extensions.Match(name); row && row->transfer == "0")
        return AsciiTransfer;
    return BinaryTransfer;
}

void TransferSequencer::ChooseTransferMode(const std::string &name)
{
    const TTransferType mode = TransferModeOf(name);
    ws_.FtpClient1.TransferMode = mode;
    ws_.view.SetText(TextSlot::transferModeLabel, mode == AsciiTransfer ? "ascii" : "binary");
}

void TransferSequencer::FtpClient1CommandIssued(TFtpClient *)
{
    // Cleared before going on, since the next upload may send another SITE CHMOD.
    const uint8_t then = ws_.run.afterCommand;
    ws_.run.afterCommand = 0;
    if (then == 1) {
        // Held: the file is sent again after a reconnect, with its SITE CHMOD.
        if (phase_ == Phase::Uploading && !HoldIfSessionGone())
            NextUpload();
    } else if (then == 2) {
        if (continueAfterLogin)
            continueAfterLogin();
    }
}

void TransferSequencer::LocalFileOpenFailed()
{
    if (phase_ != Phase::Uploading)
        return;
    ReportTransferError("Fernhop could not open file: " + ws_.FtpClient1.LocalFile);
    ws_.ShowStatus("");
    localOpenReported_ = true;
}
