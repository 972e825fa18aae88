#pragma once
// What the user sees of a transfer and keeps of it: the phase progress status, the per-file
// labels with speed and time remaining, the information events of FtpClient1, the upload and
// download log files, the trace switches and the shutdown dump of the FTP log.
#include "transfer/TransferLogs.h"
#include "transfer/TransferRate.h"
#include "transfer/Workspace.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TransferDisplay {
public:
    explicit TransferDisplay(Workspace &workspace);

    // ---- hooks the session and the window fill ----
    std::function<bool()> exitAfterQuit;                  // the window closes once the session ends
    std::function<std::vector<std::string>()> memoLines;  // the FTP log memo, for the shutdown dump
    std::function<int64_t()> tickCount;                   // milliseconds; a monotonic clock by default

    // "Deleting - 40% complete  [5 total, 3 remain]" as the status; nothing when the total is 0.
    void ShowPhaseProgress(const char *verb, int total, int remain);
    // Connections moving a file right now; the phase's progress names them when more than one.
    std::function<int()> connectionsAtWork;

    // The per-file labels: cleared and shown when the upload or download phase starts, hidden and
    // cleared at the end of a run.
    void ShowFileLabels();
    void HideFileLabels();
    // A file starts: its name in the label and a fresh rate measurement. A download knows its
    // size (expectedSize >= 0 shows it with " 0" transferred); an upload learns it from fiFileSize.
    void StartFile(const std::string &name, int64_t expectedSize = -1);

    void FtpClient1FtpInfo(TFtpClient *sender, FtpInfo info, const std::string &text);
    // One fiProgress of a file transfer: transferred bytes and percent every time, speed and time
    // remaining at most once a second.
    void ProgressReport(int64_t bytesTransferred);

    // Logs of completed transfers; each reports a log directory it cannot write once per run.
    void StartRun();
    void AppendUploadLog(const std::string &remotePath);
    void AppendDownloadLog(const std::string &localPath);

    // Trace switches: the version label toggles debugTrace, the "Version" caption shows or hides
    // the NT debug button, that button toggles verboseTrace. Each returns the new state.
    bool VersionLabelClick();
    bool VersionCaptionClick();
    bool NTdebugButtonClick();
    std::string NTdebugButtonCaption() const { return verboseTrace ? "NT 4.0 Debug ON" : "NT 4.0 Debug OFF"; }
    bool verboseTrace = false;
    bool ntDebugButtonVisible = false;

    // The window closes: with debugTrace on, the last lines and the whole memo go to the dump file
    // in the settings directory, replacing it. False when it could not be written.
    bool ShutdownDump();

    const TransferRate &Rate() const { return rate_; }

private:
    void ShowListingProgress(TFtpClient *sender);
    void TakeFileSize(const std::string &text);

    Workspace &ws_;
    TransferRate rate_;
    TransferLogFile uploadLog_;
    TransferLogFile downloadLog_;
};
