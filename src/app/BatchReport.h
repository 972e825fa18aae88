#pragma once
// What a batch run tells its user and scripts: each site's plan (the entries the compare marked,
// each with what the run will do to it), the run's own result for each entry joined to it, and
// the outcome. Written as stable lines of text, or as one JSON document.
#include "transfer/EntryResults.h"

#include <cstdint>
#include <string>
#include <vector>

class SiteTree;
struct Options;

struct PlannedEntry {
    EntryStep step = EntryStep::Upload;
    std::string action; // "upload", "download", "mkdir", "delete", "rmdir", or "keep" (a deletion not made)
    std::string path;   // "/dir/name"
    std::string reason; // "new", "changed", "old copy", "delete is off", "not confirmed: run with --yes"
    int64_t size = -1;  // files to transfer
    // After the run: "done", "failed", "kept", "skipped", or "not done" (the run did not get to it).
    std::string result;
    std::string resultReason;
};

// The marked entries in the order the run takes them: deletions, directories, files. `yes`: the
// run answers Yes to a deletion's confirmation.
std::vector<PlannedEntry> PlanEntries(const SiteTree &master, const SiteTree &slave, bool download,
                                      const Options &options, bool yes);

// The run's results (for this site) set on the entries they belong to; a result that belongs to
// none is added. Entries without a result were kept (a deletion left by the options) or not done.
void JoinResults(std::vector<PlannedEntry> &entries, const std::vector<EntryResult> &results);

struct EntryCounts {
    int deleted = 0, created = 0, transferred = 0, failed = 0, kept = 0, skipped = 0;
    void Add(const EntryCounts &other);
};
// Planned counts (what the run would do) before the run, result counts after it.
EntryCounts PlanCounts(const std::vector<PlannedEntry> &entries);
EntryCounts ResultCounts(const std::vector<PlannedEntry> &entries);

// "Site web: 1 to delete, 2 to create, 4 to transfer" and ", 3 kept" when some deletion is not made.
std::string PlanLine(const std::string &nickName, const std::vector<PlannedEntry> &entries);
// The text with control bytes and backslashes as C escapes: one line stays one line.
std::string EscapedForLine(const std::string &text);
// "upload   /index.html": the action, padded, then the path with control bytes and backslashes
// escaped, so that one line is one entry.
std::string EntryLine(const std::string &action, const std::string &path);
// "Summary: deleted 0, created 2, transferred 4, failed 0, kept 0, skipped 0".
std::string SummaryLine(const EntryCounts &counts, bool dryRun);

struct SiteReport {
    std::string nickName;
    bool download = false;
    bool planned = false;
    std::string outcome; // "done", "failed", "not connected", "stopped"
    std::string text;    // the site line's text: "done", "failed: ..."
    std::vector<PlannedEntry> entries;
    std::vector<std::string> notListed; // remote directories
    std::vector<std::string> notRead;   // local directories
};

// One site's connection in a batch run, from the attempt to the end of its session.
struct SiteVisit {
    std::string nickName;
    bool download = false;
    std::string checkProblem;       // the site could not even be tried
    std::string lastError;          // the last FTP error while it went on
    std::string certificateRefusal; // why its server's certificate or SSH host key was refused
    bool loggedIn = false;
    bool planned = false;     // listed and compared: the plan was known
    bool cutShort = false;    // the session ended while a listing or a run was going on
    bool runFinished = false; // the transfer run reached its end without being cancelled
    bool stopped = false;     // a signal came while it went on
    bool ended = false;
    std::string refused; // the run stopped before deleting, and why
    std::vector<std::string> notListed; // remote directories
    std::vector<std::string> notRead;   // local directories
    std::vector<PlannedEntry> entries;
    size_t resultsFrom = 0; // where its results start among the run's
};

// The site's report: its plan joined to its run's results, its outcome ("done", "failed",
// "not connected" or "stopped") and the text of its site line. `signalName`: what stopped a
// stopped visit.
SiteReport ReportSite(const SiteVisit &visit, const std::vector<EntryResult> &results, bool dryRun,
                      const std::string &signalName);

// The whole run as one JSON document.
std::string ReportJson(const std::vector<SiteReport> &sites, const EntryCounts &totals, bool dryRun, int exitStatus,
                       const std::string &stoppedBy);
