#include "transfer/DownloadRun.h"

#include "site/LocalScan.h"
#include "site/Progress.h"
#include "site/TreeEntries.h"
#include "transfer/ClockOffset.h"
#include "transfer/TransferPaths.h"
#include "transfer/TransferSequencer.h"

#include <cerrno>
#include <utility>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool MarkedForDeletion(const TDetail &entry)
{
    return entry.action == actDeleteFile || entry.action == actRefresh || entry.action == actRemoveDir;
}

bool MarkedForTransfer(const TDetail &entry)
{
    return entry.action == actNewFile || entry.action == actRefresh;
}

int Percent(int done, int total)
{
    return int(RoundHalfEven(double(done) / double(total) * 100.0));
}

bool MakeLocalDirectory(const std::string &path)
{
    if (::mkdir(path.c_str(), 0777) == 0)
        return true;
    struct stat st;
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An empty file of our own beside `target`: "." + its name + ".fhpart" (a fixed name, so a copy
// left by a run that was killed is replaced by the next download of the same file), or one
// shared fallback name when that would be too long for the disk.
std::string ReserveTemporaryFile(const std::string &target)
{
    const size_t slash = target.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string(".") : target.substr(0, slash);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const std::string suffix = ".fhpart";
    const std::string candidate = directory + "/" +
                                  (name.size() + suffix.size() + 1 <= NAME_MAX ? "." + name : std::string(".fernhop")) +
                                  suffix;
    struct stat st;
    if (::lstat(candidate.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        ::unlink(candidate.c_str());
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return {};
    ::close(fd);
    return candidate;
}

// A download is whole when its byte count is the size the server gave for it. An ASCII transfer
// may add a CR to each line end, never drop a byte.
bool ReceivedWhole(int64_t received, int64_t expected, bool ascii)
{
    if (expected < 0)
        return true;
    return ascii ? received >= expected : received == expected;
}

int64_t FileSize(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? int64_t(st.st_size) : -1;
}
} // namespace

void DownloadRun::Start()
{
    using Phase = TransferSequencer::Phase;
    RunState &run = ws_.run;
    seq_.BeginRun(opDownloadRun);
    seq_.phase_ = Phase::LocalSteps;
    const std::string topPath = run.remoteTopPath;

    LocalDeletionLoop();
    run.deletePhaseDone = true;
    SetProgress(ws_, 100);
    if (!ws_.stopLoops) {
        ws_.ShowStatus("Creating New Directories");
        ws_.Yield();
    }
    LocalCreationLoop();
    // The session ended the run while the loops yielded (the connection went).
    if (!seq_.Running())
        return;
    SetProgress(ws_, 100);
    run.createPhaseDone = true;
    seq_.display.ShowFileLabels();
    run.uploading = false;
    run.downloading = true;
    run.transferNode = ws_.remoteTree.First();
    run.remoteTopPath = topPath;
    if (ws_.stopLoops || seq_.RunCanceled()) {
        End();
        return;
    }
    ws_.ShowStatus("Download files - 0% complete");
    seq_.phase_ = Phase::Downloading;
    run.currentOperation = opTransferFile;
    seq_.StartPooled(ws_.remoteTree);
    DownloadStep();
}

bool DownloadRun::LoopsMayGoOn() const
{
    return !ws_.stopLoops && !ws_.run.ftpErrorSeen && !ws_.run.transferCanceled && ws_.Connected() &&
           seq_.Running();
}

void DownloadRun::LocalDeletionLoop()
{
    RunState &run = ws_.run;
    SiteTree &local = ws_.localTree;
    int count = 0;
    for (SiteNode *n = local.First(); n; n = local.Next(n))
        if (MarkedForDeletion(n->detail))
            ++count;
    ws_.ShowStatus("Deleting " + std::to_string(count) + " Old Files and Directories");

    int handled = 0;
    SiteNode *node = local.Last();
    while (node && LoopsMayGoOn()) {
        if (count >= 1 && handled >= 1)
            SetProgress(ws_, Percent(handled, count));
        SiteNode *previous = local.Previous(node);
        const TDetail &entry = node->detail;
        // A changed file is never deleted ahead of its download: the new copy replaces it.
        if (ws_.options.delete_ && MarkedForDeletion(entry)) {
            ++handled;
            if (entry.action != actRefresh) {
                PromptAnswer answer = PromptAnswer::Yes;
                if (ws_.options.confirmDelete) {
                    run.transferNode = node;
                    run.promptOpen = true;
                    const TransferSequencer::PromptMark mark = seq_.MarkBeforePrompt();
                    answer = seq_.AskUser(3, "Confirm deletion", "Really delete: " + entry.directory + "/" + entry.name);
                    run.promptOpen = false;
                    run.transferNode = nullptr;
                    // The run ended while the prompt was open: not even a Yes deletes now.
                    if (!seq_.SameRunAfterPrompt(mark))
                        return;
                }
                if (answer == PromptAnswer::Cancel) {
                    seq_.SetPlainIcon(local, node);
                    ws_.stopLoops = true;
                    run.transferCanceled = true;
                } else if (answer == PromptAnswer::No) {
                    ws_.results.Record(RemovalStepOf(entry), EntryOutcome::Kept, entry.Path(), "deletion not confirmed");
                    seq_.SetPlainIcon(local, node);
                } else if (DeleteLocalEntry(node)) {
                    KeepInView(ws_, local, previous, false);
                }
            }
        }
        node = previous;
        ws_.Yield();
    }
}

bool DownloadRun::DeleteLocalEntry(SiteNode *node)
{
    const TDetail &entry = node->detail;
    bool gone = false;
    std::string why = "the name leads outside the local directory";
    if (StaysBelowTop(entry)) {
        const std::string path = LocalPath(ws_.localTopDirectory, entry);
        // A directory is only ever removed empty: its contents came first, walking backwards.
        const int rc = entry.action == actRemoveDir ? ::rmdir(path.c_str()) : ::unlink(path.c_str());
        gone = rc == 0 || errno == ENOENT;
        why = std::strerror(errno);
    }
    if (gone)
        ws_.results.Record(RemovalStepOf(entry), EntryOutcome::Done, entry.Path());
    else
        ws_.results.Failed(RemovalStepOf(entry), entry.Path(), why);
    if (!gone) {
        node->icon = iconFailed;
        ws_.localTree.NotifyChanged(node);
        seq_.ReportTransferError("Could not delete: " + entry.name);
        return false;
    }
    ws_.localTree.Remove(node);
    return true;
}

void DownloadRun::LocalCreationLoop()
{
    SiteTree &remote = ws_.remoteTree;
    const int nodes = remote.Count();
    int index = 0;
    // The next node is taken before yielding and looked at only while the loop may go on: a
    // Disconnect in the yield clears the remote tree and sets stopLoops.
    for (SiteNode *node = remote.First(), *next = nullptr; node && LoopsMayGoOn(); node = next, ++index) {
        if (nodes >= 2)
            SetProgress(ws_, Percent(index, nodes - 1));
        if (node->detail.action == actCreateDir) {
            const TDetail local = FilteredNames(ws_, node->detail);
            if (StaysBelowTop(local) && MakeLocalDirectory(LocalPath(ws_.localTopDirectory, local))) {
                ws_.results.Record(EntryStep::CreateDirectory, EntryOutcome::Done, node->detail.Path());
                AddEntryByPath(ws_, ws_.localTree, local);
                node->icon = iconDir;
                remote.NotifyChanged(node);
            } else {
                ws_.results.Failed(EntryStep::CreateDirectory, node->detail.Path(),
                                   StaysBelowTop(local) ? std::strerror(errno) : "the name leads outside the local directory");
                ws_.ShowStatus("Error: could not create directory on PC");
            }
        }
        next = remote.Next(node);
        ws_.Yield();
    }
}

void DownloadRun::DownloadStep()
{
    RunState &run = ws_.run;
    SiteTree &remote = ws_.remoteTree;
    TFtpClient &ftp = ws_.FtpClient1;
    for (;;) {
        if (seq_.HoldIfSessionGone())
            return;
        // Checked first: after Disconnect the remote tree may be gone.
        if (seq_.RunCanceled()) {
            End();
            return;
        }
        const bool pooled = seq_.pooled_;
        if (pooled && !seq_.ClientFree()) {
            seq_.RetryWhenFree([this] { DownloadStep(); });
            return;
        }
        SiteNode *node = pooled ? seq_.TakeQueued() : run.transferNode;
        while (!pooled && node && !MarkedForTransfer(node->detail)) {
            seq_.SetPlainIcon(remote, node);
            node = remote.Next(node);
        }
        run.transferNode = node;
        if (!node) {
            // The other connections' files are still on their way: the run ends with the last.
            if (pooled && seq_.PooledRunning()) {
                seq_.mainWaiting_ = true;
                return;
            }
            End();
            return;
        }
        if (!seq_.ClientFree()) {
            seq_.RetryWhenFree([this] { DownloadStep(); });
            return;
        }
        const TDetail &entry = node->detail;
        const FetchPaths paths = PathsOf(entry);
        const std::string &remotePath = paths.remotePath;
        targetPath_ = paths.target;
        run.currentFileName = entry.name;
        seq_.display.StartFile(entry.name, entry.size);
        KeepInView(ws_, remote, node, false);
        seq_.ChooseTransferMode(entry.name);
        const bool safe = paths.safe;
        temporaryPath_ = safe ? ReserveTemporaryFile(targetPath_) : std::string();
        if (temporaryPath_.empty()) {
            ws_.results.Failed(EntryStep::Download, entry.Path(),
                               safe ? std::string("could not write in the local directory: ") + std::strerror(errno)
                                    : std::string("the name is not safe to use here"));
            run.transferNode = remote.Next(node);
            if (!seq_.ReportTransferError("Could not download: " + run.currentFileName))
                return;
            seq_.display.ShowPhaseProgress("Downloading - ", ws_.counters.transferTotal, ws_.counters.transferRemain);
            continue;
        }
        if (seq_.AskFileTimeFirst(node, remotePath)) {
            DiscardTemporaryFile(); // reserved again when the file is fetched
            if (pooled) {
                seq_.mainRetake_ = node;
                seq_.DispatchPooled();
            }
            return;
        }
        ftp.LocalFile = temporaryPath_;
        ftp.RemoteFile = remotePath;
        seq_.transferInFlight_ = true;
        seq_.mainInFlight_ = node;
        if (seq_.PassiveMode())
            ftp.GetFilePasv();
        else
            ftp.GetFile();
        if (pooled)
            seq_.DispatchPooled();
        return;
    }
}

void DownloadRun::FtpClient1FileReceived(TFtpClient *sender)
{
    seq_.transferInFlight_ = false;
    SiteNode *const inFlight = std::exchange(seq_.mainInFlight_, nullptr);
    if (temporaryPath_.empty())
        return; // not a fetch of ours
    RunState &run = ws_.run;
    sender->CloseLocalFile();
    const bool active = seq_.phase_ == TransferSequencer::Phase::Downloading;
    if (active && seq_.HoldIfSessionGone()) {
        DiscardTemporaryFile(); // fetched again whole after a reconnect
        if (seq_.pooled_ && inFlight)
            seq_.mainRetake_ = inFlight;
        return;
    }
    SiteNode *node = run.transferNode;
    bool runGone = false; // ended under an error prompt
    if (!sender->Success()) {
        if (active && node && !ws_.stopRequested)
            ws_.results.Failed(EntryStep::Download, node->detail.Path(), ws_.results.RefusalOr("the transfer failed"));
        // Also the fetch that Stop aborted: shown after the run has ended.
        runGone = !seq_.ReportTransferError("Could not download: " + run.currentFileName);
        DiscardTemporaryFile();
    } else if (ws_.stopRequested || !active || !node) {
        DiscardTemporaryFile();
    } else if (const int64_t received = FileSize(temporaryPath_),
               // The size the server announced with the transfer is newer than the listing's.
               expected = sender->AnnouncedSize() >= 0 ? sender->AnnouncedSize() : node->detail.size;
               !ReceivedWhole(received, expected, sender->TransferMode == AsciiTransfer)) {
        const std::string shortBy = std::string(received > expected ? "arrived long: " : "arrived short: ") +
                                    std::to_string(received) + " of " + std::to_string(expected) + " bytes";
        ws_.results.Failed(EntryStep::Download, node->detail.Path(), shortBy);
        ws_.LogLine("FERNHOP: " + run.currentFileName + " " + shortBy);
        runGone = !seq_.ReportTransferError("Could not download: " + run.currentFileName);
        DiscardTemporaryFile();
    } else {
        if (seq_.display.verboseTrace)
            ws_.LogLine("-> MAIN: file receive success. Moving to Next file.");
        if (InstallReceivedFile(node->detail, temporaryPath_, targetPath_)) {
            temporaryPath_.clear();
            RecordDownload(node, targetPath_);
        } else {
            temporaryPath_.clear();
            ws_.results.Failed(EntryStep::Download, node->detail.Path(), "could not replace the local file");
            runGone = !seq_.ReportTransferError("Could not download: " + run.currentFileName);
        }
    }
    if (!active || runGone)
        return;
    if (seq_.RunCanceled())
        End(); // without a look at the tree, which Disconnect may have cleared
    else
        NextDownload();
}

bool DownloadRun::InstallReceivedFile(const TDetail &entry, const std::string &temporary, const std::string &target)
{
    const TDateTime stamp = entry.modified + ClockOffsetDays(ws_.Site(), ws_.options);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        ws_.LogLine("FERNHOP: could not open local file for date stamp");
    } else {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = LocalDateTimeToUnix(stamp);
        times[0].tv_nsec = times[1].tv_nsec = 0;
        if (entry.modified == 0 || ::futimens(fd, times) != 0)
            ws_.LogLine("FERNHOP: local file opened, could not stamp date");
        ::close(fd);
    }
    // The new copy keeps the permissions the old one had.
    struct stat old;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::chmod(temporary.c_str(), old.st_mode & 07777);
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        if (::unlink(temporary.c_str()) != 0 && errno != ENOENT)
            ws_.LogLine("FERNHOP: could not delete file from PC");
        return false;
    }
    return true;
}

void DownloadRun::RecordDownload(SiteNode *node, const std::string &target)
{
    if (ws_.options.saveUpLog)
        seq_.display.AppendDownloadLog(target);
    TDetail copy = FilteredNames(ws_, node->detail);
    copy.modified += ClockOffsetDays(ws_.Site(), ws_.options);
    AddEntryByPath(ws_, ws_.localTree, copy);
    node->icon = iconFile;
    ws_.remoteTree.NotifyChanged(node);
    --ws_.counters.transferRemain;
    ++ws_.run.filesTransferred;
    ws_.results.Record(EntryStep::Download, EntryOutcome::Done, node->detail.Path());
}

void DownloadRun::DiscardTemporaryFile()
{
    if (temporaryPath_.empty())
        return;
    if (::unlink(temporaryPath_.c_str()) != 0 && errno != ENOENT)
        ws_.LogLine("FERNHOP: could not delete file from PC");
    temporaryPath_.clear();
}

void DownloadRun::DiscardPending()
{
    DiscardTemporaryFile();
    DiscardPooledFiles();
}

void DownloadRun::NextDownload()
{
    RunState &run = ws_.run;
    if (seq_.pooled_) {
        seq_.display.ShowPhaseProgress("Downloading - ", ws_.counters.transferTotal, ws_.counters.transferRemain);
        DownloadStep();
        return;
    }
    if (run.transferNode)
        run.transferNode = ws_.remoteTree.Next(run.transferNode);
    seq_.display.ShowPhaseProgress("Downloading - ", ws_.counters.transferTotal, ws_.counters.transferRemain);
    DownloadStep();
}

void DownloadRun::End()
{
    seq_.EndRun("Local Site Mirror Complete");
    // The other connections were cut off with the run: what they had begun is not kept.
    DiscardPooledFiles();
}

DownloadRun::FetchPaths DownloadRun::PathsOf(const TDetail &entry) const
{
    // The server's names as listed; the case filters spell the PC's copy.
    const TDetail local = FilteredNames(ws_, entry);
    // The file-GET text goes on both names, and only when its option is on.
    const std::string extra = ws_.options.saveExt ? ws_.options.fileGet : std::string();
    FetchPaths paths;
    paths.remotePath = FullRemotePath(ws_.run.remoteTopPath, entry.directory + "/" + entry.name) + extra;
    paths.target = LocalPath(ws_.localTopDirectory, local.directory, local.name + extra);
    paths.safe = StaysBelowTop(entry) && StaysBelowTop(local) && extra.find('/') == std::string::npos &&
                 SendableName(paths.remotePath);
    return paths;
}

void DownloadRun::SendPooled(FtpRemoteSession &session, SiteNode *node)
{
    const TDetail &entry = node->detail;
    const FetchPaths paths = PathsOf(entry);
    const std::string temporary = ReserveTemporaryFile(paths.target);
    if (temporary.empty()) {
        // As on the session's own connection: this file fails, the run goes on.
        ws_.results.Failed(EntryStep::Download, entry.Path(),
                           std::string("could not write in the local directory: ") + std::strerror(errno));
        seq_.ReportTransferError("Could not download: " + entry.name);
        return;
    }
    pooledTemporaries_.insert(temporary);
    KeepInView(ws_, ws_.remoteTree, node, false);
    RemoteRetrieve what;
    what.remotePath = paths.remotePath;
    what.localPath = temporary;
    what.ascii = seq_.TransferModeOf(entry.name) == AsciiTransfer;
    const int serial = seq_.runId_;
    const std::string target = paths.target;
    session.Retrieve(what, [this, serial, &session, node, temporary, target](const RemoteOutcome &outcome) {
        if (serial != seq_.runId_ || seq_.phase_ != TransferSequencer::Phase::Downloading) {
            // The run has ended: nothing of it is touched, and the part fetched is not kept.
            session.Client().CloseLocalFile();
            if (pooledTemporaries_.erase(temporary))
                ::unlink(temporary.c_str());
            return;
        }
        PooledFetchDone(session, node, temporary, target, outcome);
    });
}

void DownloadRun::PooledFetchDone(FtpRemoteSession &session, SiteNode *node, const std::string &temporary,
                                  const std::string &target, const RemoteOutcome &outcome)
{
    TFtpClient &client = session.Client();
    client.CloseLocalFile();
    pooledTemporaries_.erase(temporary);
    auto discard = [&] {
        if (::unlink(temporary.c_str()) != 0 && errno != ENOENT)
            ws_.LogLine("FERNHOP: could not delete file from PC");
    };
    std::string failure;
    if (outcome.ok) {
        const int64_t received = FileSize(temporary);
        // The size the server announced with the transfer is newer than the listing's.
        const int64_t expected = client.AnnouncedSize() >= 0 ? client.AnnouncedSize() : node->detail.size;
        if (!ReceivedWhole(received, expected, client.TransferMode == AsciiTransfer)) {
            failure = std::string(received > expected ? "arrived long: " : "arrived short: ") +
                      std::to_string(received) + " of " + std::to_string(expected) + " bytes";
            ws_.LogLine("FERNHOP: " + node->detail.name + " " + failure);
            discard();
        } else if (InstallReceivedFile(node->detail, temporary, target)) {
            RecordDownload(node, target);
            seq_.display.ShowPhaseProgress("Downloading - ", ws_.counters.transferTotal, ws_.counters.transferRemain);
        } else {
            failure = "could not replace the local file";
        }
    } else if (outcome.sessionLost) {
        discard();
        seq_.PooledFileLost(session, node);
    } else {
        discard();
        if (!seq_.RetryPooledFile(session, node, outcome))
            failure = outcome.reason;
    }
    if (!failure.empty()) {
        ws_.results.Failed(EntryStep::Download, node->detail.Path(), failure);
        // While the session's own connection is being reconnected nobody is asked.
        if (!seq_.held_ && !seq_.ReportTransferError("Could not download: " + node->detail.name))
            return;
    }
    seq_.DispatchPooled();
}

void DownloadRun::DiscardPooledFiles()
{
    for (const std::string &path : pooledTemporaries_)
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            ws_.LogLine("FERNHOP: could not delete file from PC");
    pooledTemporaries_.clear();
}
