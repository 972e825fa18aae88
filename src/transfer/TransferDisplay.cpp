#include "transfer/TransferDisplay.h"

#include "config/SettingsDir.h"
#include "site/Progress.h"
#include "transfer/SiteSwitch.h"

#include <QElapsedTimer>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {
int64_t MonotonicMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

constexpr TextSlot kFileLabels[] = {TextSlot::kpsLabel,         TextSlot::timeRemainLabel, TextSlot::transferredLabel,
                                    TextSlot::fileSizeLabel,    TextSlot::fileNameLabel,   TextSlot::transferModeLabel};
} // namespace

TransferDisplay::TransferDisplay(Workspace &workspace)
    : ws_(workspace),
      uploadLog_(kUploadLogName, [this](const std::string &text) { ws_.LogLine(text); }),
      downloadLog_(kDownloadLogName, [this](const std::string &text) { ws_.LogLine(text); })
{
    tickCount = MonotonicMs;
    // Every FTP log line goes to the trace file while trace mode is on.
    ws_.traceLine = [this](const std::string &line) {
        if (ws_.debugTrace)
            AppendSettingsFileLine(kTraceFileName, line);
    };
}

void TransferDisplay::ShowPhaseProgress(const char *verb, int total, int remain)
{
    if (total <= 0)
        return;
    std::string text = PhaseProgressText(verb, total, remain);
    if (const int connections = connectionsAtWork ? connectionsAtWork() : 1; connections > 1)
        text += "  " + std::to_string(connections) + " connections";
    ws_.ShowStatus(text);
}

void TransferDisplay::ShowFileLabels()
{
    for (TextSlot slot : kFileLabels)
        ws_.view.SetText(slot, "");
    ws_.view.ShowFileLabels(true);
}

void TransferDisplay::HideFileLabels()
{
    ws_.view.ShowFileLabels(false);
    for (TextSlot slot : kFileLabels)
        ws_.view.SetText(slot, "");
}

void TransferDisplay::StartFile(const std::string &name, int64_t expectedSize)
{
    if (expectedSize >= 0) {
        ws_.view.SetText(TextSlot::fileSizeLabel, " " + std::to_string(expectedSize));
        ws_.view.SetText(TextSlot::transferredLabel, " 0");
    }
    ws_.view.SetText(TextSlot::fileNameLabel, " " + name);
    rate_.Start(expectedSize < 0 ? 0 : expectedSize, tickCount());
}

void TransferDisplay::FtpClient1FtpInfo(TFtpClient *sender, FtpInfo info, const std::string &text)
{
    switch (info) {
    case fiReplyText:
        ws_.results.NoteReplyText(text); // a refusal names why the step fails
        // One read may hold several replies ("426 ...", "226 ..."): each line its own log line.
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find("\r\n", start), text.size());
            ws_.LogLine(text.substr(start, end - start));
            start = end + 2;
        }
        break;
    case fiCommandSent:
    case fiSecurity:
        if (info == fiCommandSent)
            ws_.results.NoteCommandSent();
        ws_.LogLine(text);
        break;
    case fiProgress:
        if (ws_.remoteListing)
            ShowListingProgress(sender);
        if (ws_.run.uploading || ws_.run.downloading)
            ProgressReport(sender->BytesTransferred());
        break;
    case fiFileSize:
        if (ws_.run.uploading)
            TakeFileSize(text);
        break;
    case fiReady:
        if (exitAfterQuit && exitAfterQuit()) {
            ws_.LogResetFtpHint();
            sender->Quit();
        }
        break;
    case fiTrace:
        if (verboseTrace)
            ws_.LogLine(text);
        break;
    default:
        break;
    }
}

void TransferDisplay::ShowListingProgress(TFtpClient *sender)
{
    ws_.ShowStatus("Loading Remote Directory: " + std::to_string(ws_.remoteTree.Count()) + " files  [" +
                   std::to_string(sender->BytesTransferred()) + " bytes]");
}

void TransferDisplay::ProgressReport(int64_t bytesTransferred)
{
    if (rate_.Update(bytesTransferred, tickCount())) {
        ws_.view.SetText(TextSlot::kpsLabel, rate_.KpsText());
        ws_.view.SetText(TextSlot::timeRemainLabel, rate_.TimeText());
    }
    ws_.view.SetText(TextSlot::transferredLabel, rate_.TransferredText());
    SetProgress(ws_, rate_.Percent());
}

void TransferDisplay::TakeFileSize(const std::string &text)
{
    int64_t size = 0;
    const char *end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, size);
    if (text.empty() || error != std::errc() || stop != end || size < 0) {
        ws_.view.SetText(TextSlot::fileSizeLabel, "");
        rate_.SetExpectedSize(0);
        return;
    }
    ws_.view.SetText(TextSlot::fileSizeLabel, " " + text);
    rate_.SetExpectedSize(size);
}

void TransferDisplay::StartRun()
{
    uploadLog_.StartRun();
    downloadLog_.StartRun();
}

void TransferDisplay::AppendUploadLog(const std::string &remotePath)
{
    uploadLog_.Append(ws_.options.saveLogDir, remotePath);
}

void TransferDisplay::AppendDownloadLog(const std::string &localPath)
{
    downloadLog_.Append(ws_.options.saveLogDir, localPath);
}

bool TransferDisplay::VersionLabelClick()
{
    ws_.debugTrace = !ws_.debugTrace;
    ws_.view.AppendLogLine(ws_.debugTrace ? std::string("DEBUG: on. ") + kVersionTitle : "DEBUG: off");
    return ws_.debugTrace;
}

bool TransferDisplay::VersionCaptionClick()
{
    ntDebugButtonVisible = !ntDebugButtonVisible;
    return ntDebugButtonVisible;
}

bool TransferDisplay::NTdebugButtonClick()
{
    verboseTrace = !verboseTrace;
    return verboseTrace;
}

bool TransferDisplay::ShutdownDump()
{
    if (!ws_.debugTrace)
        return true;
    ws_.LogLine(std::string("DEBUG: ") + kVersionTitle);
    ws_.LogLine("DEBUG: Fernhop shutdown. End of log.");
    if (!memoLines || !EnsureSettingsDirectory())
        return false;
    std::FILE *file = std::fopen(SettingsFilePath(kShutdownDumpName).c_str(), "wb");
    if (!file)
        return false;
    bool ok = true;
    for (const std::string &line : memoLines())
        ok = ok && std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fputs("\r\n", file) >= 0;
    return std::fclose(file) == 0 && ok;
}
