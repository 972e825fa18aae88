#include "app/BatchView.h"

#include "app/PasswordPrompt.h"
#include "base/Text.h"
#include "transfer/DeletionGuard.h"
#include "transfer/TransferRate.h"

#include <charconv>
#include <cstdio>

namespace {
// Counters that change with every few entries: worth a progress line, not a line each in a log.
bool IsProgressStatus(const std::string &text)
{
    return StartsWith(text, "Loading Local Directory - ") || StartsWith(text, "Loading Cached FTP File List - ") ||
           StartsWith(text, "Loading Remote Directory:") || StartsWith(text, "Processing directory listing") ||
           StartsWith(text, "Comparing") || text.find("% complete  [") != std::string::npos;
}

// "1.5 MB", "340 KB", "12 B".
std::string Bytes(int64_t n)
{
    const char *units[] = {"B", "KB", "MB", "GB", "TB"};
    double value = double(n);
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 || value >= 100 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

// Redraws at most this often: progress reports come with every few kilobytes.
constexpr int64_t kRedrawMs = 200;
// The rate is shown once it has been measured over this long.
constexpr int64_t kRateAfterMs = 1000;
} // namespace

BatchView::BatchView(bool answerYesToDeletions, BatchOutput level, bool progressLine, bool allowMassDeletion)
    : answerYes_(answerYesToDeletions), level_(level), progressLine_(progressLine && level != BatchOutput::Quiet),
      allowMassDeletion_(allowMassDeletion)
{
    clock_.start();
}

void BatchView::Print(const std::string &line)
{
    FinishProgressLine();
    std::fprintf(stderr, "%s\n", line.c_str());
    if (progressVisible_)
        DrawProgress(true);
}

void BatchView::Report(const std::string &line)
{
    Print(line);
}

void BatchView::Verbose(const std::string &line)
{
    if (level_ == BatchOutput::Verbose)
        Print(line);
}

void BatchView::FinishProgressLine()
{
    if (progressShown_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        progressShown_ = false;
    }
}

std::string BatchView::TransferProgressText()
{
    const RunFigures f = runFigures ? runFigures() : RunFigures{};
    const int64_t bytes = f.bytesDone + fileBytes_;
    const int64_t now = clock_.elapsed();
    if (rateStartMs_ < 0) {
        rateStartMs_ = now;
        rateStartBytes_ = bytes;
    }
    std::string text = std::to_string(f.filesDone) + "/" + std::to_string(f.filesDue) + " files  " + Bytes(bytes) +
                       " of " + Bytes(f.bytesDue);
    const int64_t elapsed = now - rateStartMs_;
    if (elapsed >= kRateAfterMs && bytes > rateStartBytes_) {
        const double perSecond = double(bytes - rateStartBytes_) * 1000.0 / double(elapsed);
        text += "  " + Bytes(int64_t(perSecond)) + "/s";
        const int64_t left = std::max<int64_t>(0, f.bytesDue - bytes);
        text += " " + TransferRate::TimeRemainingText(int64_t(double(left) / perSecond + 0.5)) + " left";
    }
    if (f.connections > 1)
        text += "  " + std::to_string(f.connections) + " connections";
    if (!fileName_.empty())
        text += "  " + fileName_;
    return text;
}

void BatchView::DrawProgress(bool force)
{
    if (!progressLine_ || !progressVisible_)
        return;
    const int64_t now = clock_.elapsed();
    if (!force && lastDrawMs_ >= 0 && now - lastDrawMs_ < kRedrawMs)
        return;
    lastDrawMs_ = now;
    std::string line = transferring_ ? TransferProgressText() : status_;
    for (char &c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?'; // a name's control bytes must not move the cursor
    if (line.size() > 110)
        line = line.substr(0, 107) + "...";
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    progressShown_ = true;
}

void BatchView::ShowStatusText(const std::string &text)
{
    if (text.empty() || text == status_)
        return;
    status_ = text;
    if (IsProgressStatus(text)) {
        progressVisible_ = progressVisible_ || progressLine_;
        DrawProgress(false);
    } else {
        Verbose("status: " + text);
        DrawProgress(false);
    }
}

void BatchView::AppendLogLine(const std::string &text)
{
    Verbose(text);
}

void BatchView::SetText(TextSlot slot, const std::string &text)
{
    switch (slot) {
    case TextSlot::fileNameLabel:
        fileName_ = text.empty() || text[0] != ' ' ? text : text.substr(1);
        fileBytes_ = 0;
        break;
    case TextSlot::transferredLabel: {
        const std::string digits = text.empty() || text[0] != ' ' ? text : text.substr(1);
        int64_t n = 0;
        if (std::from_chars(digits.data(), digits.data() + digits.size(), n).ec == std::errc())
            fileBytes_ = n;
        break;
    }
    default: return;
    }
    DrawProgress(false);
}

void BatchView::ShowProgressPanel(bool visible)
{
    progressVisible_ = visible && progressLine_;
    if (!visible)
        FinishProgressLine();
}

void BatchView::ShowFileLabels(bool visible)
{
    transferring_ = visible;
    fileName_.clear();
    fileBytes_ = 0;
    rateStartMs_ = -1;
    if (!visible)
        FinishProgressLine();
}

PromptAnswer BatchView::AskUser(const std::string &line1, const std::string &line2, int)
{
    if (StartsWith(line2, "Really delete: ")) {
        const std::string path = line2.substr(15);
        if (answerYes_) {
            Verbose(line1 + ": " + path + " [answered Yes: --yes]");
            return PromptAnswer::Yes;
        }
        Verbose(line1 + ": " + path + " [answered No; run with --yes to delete]");
        return PromptAnswer::No;
    }
    if (line2 == kMassDeletionQuestion) {
        if (allowMassDeletion_) {
            Print(line1 + " [answered Yes: --allow-mass-delete]");
            return PromptAnswer::Yes;
        }
        Print(line1 + " [answered No; run with --allow-mass-delete to delete them]");
        return PromptAnswer::No;
    }
    if (line2 == "Try to continue with transfer?") {
        Verbose(line1 + " [continuing]");
        return PromptAnswer::Yes;
    }
    Report(line1 + " " + line2 + " [answered No]");
    return PromptAnswer::No;
}

bool BatchView::Confirm(const std::string &text)
{
    Report(text + " [answered No]");
    return false;
}

void BatchView::Message(const std::string &text)
{
    Report(text);
}

bool BatchView::InputQuery(const std::string &caption, const std::string &prompt, std::string &)
{
    Report(caption + ": " + prompt + " [no answer in batch mode]");
    return false;
}

bool BatchView::MaskedInputQuery(const std::string &caption, const std::string &prompt, std::string &text)
{
    FinishProgressLine();
    std::optional<std::string> typed = ReadPasswordFromTerminal(caption + ": " + prompt + " ");
    if (!typed) {
        Report(caption + ": " + prompt + " [no terminal to ask; the run fails]");
        loginCanceled = true;
        return false;
    }
    text = *typed;
    return true;
}

void BatchView::CloseWindow()
{
    FinishProgressLine();
    if (onClose)
        onClose();
}
