#include "app/BatchView.h"

#include "app/PasswordPrompt.h"
#include "base/Text.h"
#include "transfer/DeletionGuard.h"

#include <cstdio>

namespace {
constexpr const char *kFailurePrefixes[] = {"Could not upload: ", "Could not download: ", "Could not delete: ",
                                            "Could not create: "};

// Counters that change with every few entries: worth a progress line, not a line each in a log.
bool IsProgressStatus(const std::string &text)
{
    return StartsWith(text, "Loading Local Directory - ") || StartsWith(text, "Loading Cached FTP File List - ") || StartsWith(text, "Loading Remote Directory:") ||
           StartsWith(text, "Processing directory listing") || StartsWith(text, "Comparing") ||
           text.find("% complete  [") != std::string::npos;
}
} // namespace

BatchView::BatchView(bool answerYesToDeletions, bool progressLine, bool allowMassDeletion)
    : answerYes_(answerYesToDeletions), progressLine_(progressLine), allowMassDeletion_(allowMassDeletion)
{
}

void BatchView::Print(const std::string &line)
{
    FinishProgressLine();
    std::fprintf(stderr, "%s\n", line.c_str());
}

void BatchView::FinishProgressLine()
{
    if (progressShown_) {
        std::fputs("\r\033[K", stderr);
        progressShown_ = false;
    }
}

void BatchView::DrawProgress()
{
    if (!progressLine_ || !progressVisible_)
        return;
    std::string line = status_;
    if (!fileName_.empty())
        line += " |" + fileName_;
    if (!kps_.empty())
        line += "  " + kps_;
    if (!timeLeft_.empty())
        line += "  " + timeLeft_ + " left";
    if (line.size() > 150)
        line = line.substr(0, 147) + "...";
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    progressShown_ = true;
}

void BatchView::ShowStatusText(const std::string &text)
{
    for (const char *prefix : kFailurePrefixes)
        if (StartsWith(text, prefix))
            failures.push_back(text);
    if (text.empty() || text == status_)
        return;
    status_ = text;
    if (progressLine_ && (progressVisible_ || IsProgressStatus(text))) {
        progressVisible_ = true;
        DrawProgress();
    } else if (!IsProgressStatus(text)) {
        Print("status: " + text);
    }
}

void BatchView::AppendLogLine(const std::string &text)
{
    Print(text);
    if (progressVisible_)
        DrawProgress();
}

void BatchView::SetText(TextSlot slot, const std::string &text)
{
    switch (slot) {
    case TextSlot::fileNameLabel: fileName_ = text; break;
    case TextSlot::kpsLabel: kps_ = text; break;
    case TextSlot::timeRemainLabel: timeLeft_ = text; break;
    default: return;
    }
    DrawProgress();
}

void BatchView::ShowProgressPanel(bool visible)
{
    progressVisible_ = visible;
    if (!visible) {
        FinishProgressLine();
        fileName_.clear();
        kps_.clear();
        timeLeft_.clear();
    }
}

void BatchView::SetProgressBar(int percent)
{
    percent_ = percent;
    DrawProgress();
}

PromptAnswer BatchView::AskUser(const std::string &line1, const std::string &line2, int)
{
    if (StartsWith(line2, "Really delete: ")) {
        const std::string path = line2.substr(15);
        if (answerYes_) {
            Print(line1 + ": " + path + " [answered Yes: --yes]");
            return PromptAnswer::Yes;
        }
        Print(line1 + ": " + path + " [answered No; run with --yes to delete]");
        kept.push_back(path);
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
        Print(line1 + " [continuing]");
        return PromptAnswer::Yes;
    }
    Print(line1 + " " + line2 + " [answered No]");
    return PromptAnswer::No;
}

bool BatchView::Confirm(const std::string &text)
{
    Print(text + " [answered No]");
    return false;
}

void BatchView::Message(const std::string &text)
{
    Print(text);
}

bool BatchView::InputQuery(const std::string &caption, const std::string &prompt, std::string &)
{
    Print(caption + ": " + prompt + " [no answer in batch mode]");
    return false;
}

bool BatchView::MaskedInputQuery(const std::string &caption, const std::string &prompt, std::string &text)
{
    FinishProgressLine();
    std::optional<std::string> typed = ReadPasswordFromTerminal(caption + ": " + prompt + " ");
    if (!typed) {
        Print(caption + ": " + prompt + " [no terminal to ask; the run fails]");
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
