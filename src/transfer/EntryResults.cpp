#include "transfer/EntryResults.h"

#include <cctype>

namespace {
bool IsRefusal(const std::string &line)
{
    return line.size() >= 4 && (line[0] == '4' || line[0] == '5') && std::isdigit(static_cast<unsigned char>(line[1])) &&
           std::isdigit(static_cast<unsigned char>(line[2])) && line[3] == ' ';
}
} // namespace

void EntryResults::Record(EntryStep step, EntryOutcome outcome, const std::string &path, const std::string &reason)
{
    refusal_.clear();
    // One failure reported twice (by its completion and by the end of the session) is one.
    if (outcome == EntryOutcome::Failed && !results_.empty() && results_.back().outcome == outcome &&
        results_.back().step == step && results_.back().path == path)
        return;
    results_.push_back({step, outcome, path, reason});
    if (onRecorded)
        onRecorded(results_.back());
}

void EntryResults::NoteReplyText(const std::string &text)
{
    // The text is what one read brought: part of a reply, or several replies.
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (IsRefusal(line))
            refusal_ = line;
        start = end + 1;
    }
}

const char *EntryStepWord(EntryStep step)
{
    switch (step) {
    case EntryStep::Delete: return "delete";
    case EntryStep::RemoveDirectory: return "rmdir";
    case EntryStep::CreateDirectory: return "mkdir";
    case EntryStep::Upload: return "upload";
    case EntryStep::Download: return "download";
    }
    return "";
}

const char *EntryOutcomeWord(EntryOutcome outcome)
{
    switch (outcome) {
    case EntryOutcome::Done: return "done";
    case EntryOutcome::Failed: return "failed";
    case EntryOutcome::Kept: return "kept";
    case EntryOutcome::Skipped: return "skipped";
    }
    return "";
}
