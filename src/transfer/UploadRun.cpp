// The upload run: remote deletions walking backwards (a directory's contents before the
// directory), remote directory creations, then the uploads, each perhaps followed by SITE CHMOD.
#include "transfer/TransferSequencer.h"

#include "base/Text.h"
#include "site/LocalScan.h"
#include "site/Progress.h"
#include "site/TreeEntries.h"
#include "transfer/ClockOffset.h"
#include "transfer/TransferPaths.h"
#include "transfer/UploadSettled.h"

#include <algorithm>
#include <utility>

namespace {
bool MarkedForDeletion(const TDetail &entry)
{
    return entry.action == actDeleteFile || entry.action == actRefresh || entry.action == actRemoveDir;
}

bool MarkedForTransfer(const TDetail &entry)
{
    return entry.action == actNewFile || entry.action == actRefresh;
}

constexpr const char *kUnsendable = "the name cannot be sent to the server";
} // namespace

void TransferSequencer::StartUploadRun()
{
    BeginRun(opUploadRun);
    phase_ = Phase::Deleting;
    SiteTree &remote = ws_.remoteTree;
    SiteNode *last = remote.Last();
    while (last && !MarkedForDeletion(last->detail))
        last = remote.Previous(last);
    ws_.run.transferNode = last;
    display.ShowPhaseProgress("Deleting - ", ws_.counters.deleteTotal, ws_.counters.deleteRemain);
    SetProgress(ws_, 0);
    DeletionStep();
}

void TransferSequencer::DeletionProgress()
{
    const RunCounters &c = ws_.counters;
    if (c.deleteTotal <= 0)
        return;
    SetProgress(ws_, int(RoundHalfEven(double(c.deleteTotal - c.deleteRemain) / double(c.deleteTotal) * 100.0)));
    display.ShowPhaseProgress("Deleting - ", c.deleteTotal, c.deleteRemain);
}

void TransferSequencer::DeletionStep()
{
    RunCounters &c = ws_.counters;
    RunState &run = ws_.run;
    SiteTree &remote = ws_.remoteTree;
    for (;;) {
        if (HoldIfSessionGone())
            return;
        if (c.deleteTotal < c.deleteRemain)
            c.deleteTotal = c.deleteRemain;
        if (c.deleteRemain < 1 || RunCanceled())
            break;
        // With `delete` off every marked entry is passed over, so the walk runs off the start.
        SiteNode *node = ws_.options.delete_ ? run.transferNode : nullptr;
        while (node && !MarkedForDeletion(node->detail))
            node = remote.Previous(node);
        run.transferNode = node;
        if (!node)
            break;
        if (!ClientFree()) {
            RetryWhenFree([this] { DeletionStep(); });
            return;
        }
        const TDetail &entry = node->detail;
        const std::string relative = RemoteRelativePath(ws_, entry);
        run.currentFileName = entry.name;

        if (ws_.options.confirmDelete) {
            if (entry.kind == ekFile)
                KeepInView(ws_, remote, node, false);
            run.promptOpen = true;
            const PromptMark mark = MarkBeforePrompt();
            const PromptAnswer answer = AskUser(3, entry.kind == ekDirectory ? "Confirm directory deletion" : "Confirm file deletion",
                                                "Really delete: " + relative);
            run.promptOpen = false;
            // The run ended (and the remote tree went with the connection) or went on elsewhere
            // while the prompt was open: nothing of it is touched here any more.
            if (!SameRunAfterPrompt(mark))
                return;
            if (answer == PromptAnswer::Cancel) {
                SetPlainIcon(remote, node);
                run.transferCanceled = true;
                EndUploadRun();
                return;
            }
            if (answer == PromptAnswer::No) {
                ws_.results.Record(RemovalStepOf(entry), EntryOutcome::Kept, entry.Path(), "deletion not confirmed");
                SetPlainIcon(remote, node);
                --c.deleteRemain;
                run.transferNode = remote.Previous(node);
                KeepInView(ws_, remote, run.transferNode, false);
                continue;
            }
            // The prompt ran the event loop: the connection may have gone meanwhile.
            if (RunCanceled())
                continue;
            if (!ClientFree()) {
                RetryWhenFree([this] { DeletionStep(); });
                return;
            }
        }

        const std::string path = FullRemotePath(run.remoteTopPath, relative);
        if (!SendableName(path)) {
            ws_.results.Failed(RemovalStepOf(entry), entry.Path(), kUnsendable);
            node->icon = iconFailed;
            remote.NotifyChanged(node);
            run.transferNode = remote.Previous(node);
            --c.deleteRemain;
            if (!ReportTransferError("Could not delete: " + run.currentFileName))
                return;
            DeletionProgress();
            continue;
        }
        if (entry.action == actRemoveDir)
            ws_.FtpClient1.RemoveDirectory(path);
        else
            ws_.FtpClient1.DeleteFile(path);
        return;
    }
    StartCreationPhase();
}

void TransferSequencer::FtpClient1FileDeleted(TFtpClient *sender)
{
    if (single_ == Single::DeleteNow) {
        DeleteNowDone(sender);
        return;
    }
    if (phase_ != Phase::Deleting || HoldIfSessionGone())
        return;
    RunState &run = ws_.run;
    if (ws_.stopRequested) {
        // Disconnect may have cleared the remote tree meanwhile: no node is touched, and the next
        // step ends the run.
        run.transferNode = nullptr;
        DeletionStep();
        return;
    }
    SiteNode *node = run.transferNode;
    if (!sender->Success() && node) {
        // A run killed after its deletions leaves them in the cached tree: the server's refusal
        // may only mean that the entry is gone already. The server says which, not its text.
        refusalBeforeProbe_ = ws_.results.RefusalOr("the server refused it");
        probe_.EntryGone(run.remoteTopPath, RemoteRelativePath(ws_, node->detail),
                         [this](RemoteProbe::Answer answer) { DeletionChecked(answer); });
        return;
    }
    if (sender->Success())
        probe_.Forget(); // listings taken for earlier refusals no longer stand
    DeletionDone(sender->Success());
}

void TransferSequencer::DeletionChecked(RemoteProbe::Answer answer)
{
    RunState &run = ws_.run;
    if (ws_.stopRequested || !run.transferNode) {
        run.transferNode = nullptr;
        DeletionStep();
        return;
    }
    const bool gone = answer == RemoteProbe::Answer::gone;
    if (gone)
        ws_.LogLine("FERNHOP: " + FullRemotePath(run.remoteTopPath, RemoteRelativePath(ws_, run.transferNode->detail)) +
                    " is not on the server any more; it counts as deleted");
    DeletionDone(gone);
}

void TransferSequencer::DeletionDone(bool done)
{
    RunState &run = ws_.run;
    SiteTree &remote = ws_.remoteTree;
    SiteNode *node = run.transferNode;
    SiteNode *previous = node ? remote.Previous(node) : nullptr;
    if (node && done)
        ws_.results.Record(RemovalStepOf(node->detail), EntryOutcome::Done, node->detail.Path());
    else if (node)
        ws_.results.Failed(RemovalStepOf(node->detail), node->detail.Path(), refusalBeforeProbe_);
    if (done) {
        if (node)
            remote.Remove(node);
    } else if (node) {
        node->icon = iconFailed;
        remote.NotifyChanged(node);
    }
    run.transferNode = previous;
    KeepInView(ws_, remote, previous, false);
    if (!done && !ReportTransferError("Could not delete: " + run.currentFileName))
        return;
    --ws_.counters.deleteRemain; // failed or not, so the percentage reaches 100
    DeletionProgress();
    DeletionStep();
}

void TransferSequencer::StartCreationPhase()
{
    ws_.run.deletePhaseDone = true;
    phase_ = Phase::Creating;
    display.ShowPhaseProgress("Creating - ", ws_.counters.createTotal, ws_.counters.createRemain);
    ws_.run.transferNode = ws_.localTree.First();
    CreationStep();
}

void TransferSequencer::CreationStep()
{
    RunState &run = ws_.run;
    SiteTree &local = ws_.localTree;
    for (;;) {
        if (HoldIfSessionGone())
            return;
        if (RunCanceled())
            break;
        SiteNode *node = run.transferNode;
        while (node && node->detail.action != actCreateDir)
            node = local.Next(node);
        run.transferNode = node;
        if (!node)
            break;
        if (!ClientFree()) {
            RetryWhenFree([this] { CreationStep(); });
            return;
        }
        run.currentFileName = node->detail.name;
        const std::string path = FullRemotePath(run.remoteTopPath, RemoteRelativePath(ws_, node->detail));
        if (!SendableName(path)) {
            ws_.results.Failed(EntryStep::CreateDirectory, node->detail.Path(), kUnsendable);
            run.transferNode = local.Next(node);
            if (!ReportTransferError("Could not create: " + run.currentFileName))
                return;
            display.ShowPhaseProgress("Creating - ", ws_.counters.createTotal, ws_.counters.createRemain);
            continue;
        }
        ws_.FtpClient1.MakeDirectory(path);
        return;
    }
    run.createPhaseDone = true;
    StartUploadPhase();
}

void TransferSequencer::FtpClient1DirectoryCreated(TFtpClient *sender)
{
    if (single_ == Single::CreateDirectory) {
        CreateDirectoryDone(sender);
        return;
    }
    if (phase_ != Phase::Creating || HoldIfSessionGone())
        return;
    RunState &run = ws_.run;
    SiteNode *node = run.transferNode;
    if (!node || ws_.stopRequested) {
        CreationStep();
        return;
    }
    if (!sender->Success()) {
        // "Exists" from a run killed after its MKD, or a directory made by other means: if it
        // can be entered, it is there and the run goes on into it.
        refusalBeforeProbe_ = ws_.results.RefusalOr("the server refused it");
        probe_.DirectoryThere(FullRemotePath(run.remoteTopPath, RemoteRelativePath(ws_, node->detail)),
                              [this](RemoteProbe::Answer answer) { CreationChecked(answer); });
        return;
    }
    CreationDone(true);
}

void TransferSequencer::CreationChecked(RemoteProbe::Answer answer)
{
    RunState &run = ws_.run;
    if (ws_.stopRequested || !run.transferNode) {
        CreationStep();
        return;
    }
    const bool there = answer == RemoteProbe::Answer::there;
    if (there)
        ws_.LogLine("FERNHOP: " + FullRemotePath(run.remoteTopPath, RemoteRelativePath(ws_, run.transferNode->detail)) +
                    " is on the server already; the run goes on as if it had been made");
    CreationDone(there, there);
}

void TransferSequencer::CreationDone(bool made, bool existed)
{
    RunState &run = ws_.run;
    RunCounters &c = ws_.counters;
    SiteNode *node = run.transferNode;
    if (made)
        ws_.results.Record(EntryStep::CreateDirectory, EntryOutcome::Done, node->detail.Path());
    else
        ws_.results.Failed(EntryStep::CreateDirectory, node->detail.Path(), refusalBeforeProbe_);
    if (made) {
        SiteNode *directory = AddEntryByPath(ws_, ws_.remoteTree, node->detail);
        // What a directory found there already holds is not known.
        if (existed)
            directory->detail.notListed = true;
        node->icon = iconDir;
        ws_.localTree.NotifyChanged(node);
        KeepInView(ws_, ws_.localTree, node, false);
        --c.createRemain;
    }
    run.transferNode = ws_.localTree.Next(node);
    if (!made && !ReportTransferError("Could not create: " + run.currentFileName))
        return;
    if (c.createTotal > 0) {
        SetProgress(ws_, int(RoundHalfEven(double(c.createTotal - c.createRemain) / double(c.createTotal) * 100.0)));
        display.ShowPhaseProgress("Creating - ", c.createTotal, c.createRemain);
    }
    CreationStep();
}

void TransferSequencer::StartUploadPhase()
{
    RunState &run = ws_.run;
    run.createPhaseDone = true;
    phase_ = Phase::Uploading;
    display.ShowFileLabels();
    run.uploading = true;
    run.downloading = false;
    run.transferNode = ws_.localTree.First();
    display.ShowPhaseProgress("Uploading - ", ws_.counters.transferTotal, ws_.counters.transferRemain);
    run.currentOperation = opTransferFile;
    StartPooled(ws_.localTree);
    UploadStep();
}

void TransferSequencer::UploadStep()
{
    RunState &run = ws_.run;
    SiteTree &local = ws_.localTree;
    TFtpClient &ftp = ws_.FtpClient1;
    for (;;) {
        if (HoldIfSessionGone())
            return;
        if (RunCanceled())
            break;
        if (pooled_ && !ClientFree()) {
            RetryWhenFree([this] { UploadStep(); });
            return;
        }
        SiteNode *node = pooled_ ? TakeQueued() : run.transferNode;
        while (!pooled_ && node && !MarkedForTransfer(node->detail)) {
            SetPlainIcon(local, node);
            node = local.Next(node);
        }
        run.transferNode = node;
        if (!node) {
            // The other connections' files are still on their way: the run ends with the last.
            if (pooled_ && PooledRunning()) {
                mainWaiting_ = true;
                return;
            }
            break;
        }
        if (!ClientFree()) {
            RetryWhenFree([this] { UploadStep(); });
            return;
        }
        const TDetail &entry = node->detail;
        const std::string remotePath = FullRemotePath(run.remoteTopPath, RemoteRelativePath(ws_, entry));
        run.currentFileName = entry.name;
        KeepInView(ws_, local, node, false);
        ChooseTransferMode(entry.name);
        display.StartFile(entry.name);
        // A name the server cannot be sent fails alone; the run goes on.
        if (!SendableName(remotePath)) {
            ws_.results.Failed(EntryStep::Upload, entry.Path(), kUnsendable);
            run.transferNode = local.Next(node);
            if (!ReportTransferError("Could not upload: " + run.currentFileName))
                return;
            display.ShowPhaseProgress("Uploading - ", ws_.counters.transferTotal, ws_.counters.transferRemain);
            continue;
        }
        if (AskFileTimeFirst(node, remotePath)) {
            if (pooled_) {
                mainRetake_ = node; // sent (or found the same) once the server has answered
                DispatchPooled();   // the file the others could not take is out of their way
            }
            return;
        }
        ftp.LocalFile = LocalPath(ws_.localTopDirectory, entry);
        ftp.RemoteFile = remotePath;
        // Set on the server where it can be (MFMT); older for a file the next run must send again.
        ftp.UploadFileTime = WrittenAtScan(ws_, entry) ? UnsettledTime(entry.modified) : entry.modified;
        transferInFlight_ = true;
        mainInFlight_ = node;
        if (PassiveMode())
            ftp.PutFilePasv();
        else
            ftp.PutFile();
        if (pooled_)
            DispatchPooled();
        return;
    }
    run.transferPhaseDone = true;
    EndUploadRun();
}

void TransferSequencer::FtpClient1FileStored(TFtpClient *sender)
{
    transferInFlight_ = false;
    SiteNode *const inFlight = std::exchange(mainInFlight_, nullptr);
    if (phase_ == Phase::Uploading && HoldIfSessionGone()) {
        if (pooled_ && inFlight)
            mainRetake_ = inFlight; // sent again first after a reconnect
        localOpenReported_ = false;
        return; // the file is sent again after a reconnect
    }
    const bool alreadyReported = localOpenReported_;
    localOpenReported_ = false;
    const bool active = phase_ == Phase::Uploading;
    RunState &run = ws_.run;
    if (!sender->Success()) {
        if (active && run.transferNode)
            ws_.results.Failed(EntryStep::Upload, run.transferNode->detail.Path(),
                               alreadyReported ? "could not open the local file" : ws_.results.RefusalOr("the transfer failed"));
        // Also the store that Stop aborted: shown, after the run has ended.
        if (!alreadyReported && !ReportTransferError("Could not upload: " + run.currentFileName))
            return;
        if (active)
            NextUpload();
        return;
    }
    if (!active)
        return;
    if (ws_.stopRequested) {
        NextUpload(); // ends the run: Disconnect set stopRequested without ending it
        return;
    }
    SiteNode *node = run.transferNode;
    if (!node) {
        NextUpload();
        return;
    }
    if (display.verboseTrace)
        ws_.LogLine("-> MAIN: file store success. Moving to Next file.");
    RecordUpload(node, sender->LocalFile, sender->RemoteFile, sender->FileTimeSet());
    // The file is named as it was stored, after the case filters.
    if (ws_.options.useCHMOD && SendableName(ws_.options.CHMODcmd)) {
        run.afterCommand = 1;
        sender->SendCommand("SITE CHMOD " + ws_.options.CHMODcmd + " " + sender->RemoteFile);
        return;
    }
    NextUpload();
}

void TransferSequencer::RecordUpload(SiteNode *node, const std::string &localFile, const std::string &remoteFile,
                                     bool fileTimeSet)
{
    TDetail copy = node->detail;
    if (TDateTime now = 0; !SettledAsScanned(ws_, copy, localFile, now)) {
        copy.modified = UnsettledTime(std::min(copy.modified, now));
        ws_.LogLine("FERNHOP: " + QuotedForLog(copy.Path()) +
                    " was written during the run or just before it: it is sent again next time");
    }
    copy.modified -= ClockOffsetDays(ws_.Site(), ws_.options); // the server's clock, as a listing would show it
    copy.serverTimeUnknown = !fileTimeSet; // the server lists the upload's time instead
    SiteNode *stored = AddEntryByPath(ws_, ws_.remoteTree, copy);
    KeepInView(ws_, ws_.remoteTree, stored, false);
    node->icon = iconFile;
    ws_.localTree.NotifyChanged(node);
    --ws_.counters.transferRemain;
    ++ws_.run.filesTransferred;
    ws_.results.Record(EntryStep::Upload, EntryOutcome::Done, node->detail.Path());
    if (ws_.options.saveDownLog)
        display.AppendUploadLog(remoteFile);
}

void TransferSequencer::NextUpload()
{
    RunState &run = ws_.run;
    if (pooled_) {
        display.ShowPhaseProgress("Uploading - ", ws_.counters.transferTotal, ws_.counters.transferRemain);
        UploadStep();
        return;
    }
    if (run.transferNode)
        run.transferNode = ws_.localTree.Next(run.transferNode);
    display.ShowPhaseProgress("Uploading - ", ws_.counters.transferTotal, ws_.counters.transferRemain);
    UploadStep();
}

void TransferSequencer::EndUploadRun()
{
    EndRun("Remote Site Update Complete");
}
