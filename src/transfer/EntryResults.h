#pragma once
// What became of each entry a transfer run set out to change, as the run itself decided it: done,
// failed (with the reason), kept (a deletion answered No) or skipped (the server's exact time
// showed it the same after all). A front end counts and reports from this record, never from the
// wording of status or log lines.
#include "site/Detail.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

enum class EntryStep { Delete, RemoveDirectory, CreateDirectory, Upload, Download };
enum class EntryOutcome { Done, Failed, Kept, Skipped };

struct EntryResult {
    EntryStep step;
    EntryOutcome outcome;
    std::string path;   // "/dir/name" below the top directory of the tree the run walked
    std::string reason; // empty when done
};

class EntryResults {
public:
    // Told of each result as it is recorded.
    std::function<void(const EntryResult &)> onRecorded;

    void Record(EntryStep step, EntryOutcome outcome, const std::string &path, const std::string &reason = {});
    void Failed(EntryStep step, const std::string &path, const std::string &reason)
    {
        Record(step, EntryOutcome::Failed, path, reason);
    }
    // A step the server answered: done, or failed with its refusal as the reason.
    void Answered(EntryStep step, const std::string &path, bool success)
    {
        if (success)
            Record(step, EntryOutcome::Done, path);
        else
            Failed(step, path, RefusalOr("the server refused it"));
    }

    // What the server said, for the reason of the failure that may follow: a command sent
    // forgets the last refusal, a 4xx or 5xx reply becomes it.
    void NoteCommandSent() { refusal_.clear(); }
    void NoteReplyText(const std::string &text);
    // The server's last refusal since the last command, else `fallback`.
    std::string RefusalOr(const std::string &fallback) const { return refusal_.empty() ? fallback : refusal_; }

    // This run's results; a run starts with none.
    const std::vector<EntryResult> &All() const { return results_; }
    void Clear()
    {
        results_.clear();
        refusal_.clear();
    }

private:
    std::vector<EntryResult> results_;
    std::string refusal_;
};

// A deletion's step: RemoveDirectory for a directory, else Delete.
inline EntryStep RemovalStepOf(const TDetail &entry)
{
    return entry.kind == ekDirectory ? EntryStep::RemoveDirectory : EntryStep::Delete;
}

// "upload", "download", "mkdir", "delete", "rmdir": the action word of a step.
const char *EntryStepWord(EntryStep step);
// "done", "failed", "kept", "skipped".
const char *EntryOutcomeWord(EntryOutcome outcome);
