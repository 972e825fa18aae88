#include "app/BatchReport.h"

#include "base/VisibleText.h"
#include "config/Options.h"
#include "site/SiteTree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace {

PlannedEntry Entry(EntryStep step, const char *action, const TDetail &detail, const char *reason)
{
    PlannedEntry entry;
    entry.step = step;
    entry.action = action;
    entry.path = detail.Path();
    entry.reason = reason;
    if (step == EntryStep::Upload || step == EntryStep::Download)
        entry.size = detail.size;
    return entry;
}

bool IsDeletion(const std::string &action)
{
    return action == "delete" || action == "rmdir";
}

bool IsTransfer(const std::string &action)
{
    return action == "upload" || action == "download";
}

QString Text(const std::string &text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

std::vector<PlannedEntry> PlanEntries(const SiteTree &master, const SiteTree &slave, bool download,
                                      const Options &options, bool yes)
{
    std::vector<PlannedEntry> entries;
    // Deletions, as the runs take them: a directory's contents before the directory.
    const char *keptReason = !options.delete_ ? "delete is off"
                             : options.confirmDelete && !yes ? "not confirmed: run with --yes"
                                                             : nullptr;
    std::vector<PlannedEntry> deletions;
    for (SiteNode *n = slave.First(); n; n = slave.Next(n)) {
        const TDetail &d = n->detail;
        const EntryStep step = RemovalStepOf(d);
        const char *action = step == EntryStep::RemoveDirectory ? "rmdir" : "delete";
        if (d.action == actDeleteFile || d.action == actRemoveDir)
            deletions.push_back(keptReason ? Entry(step, "keep", d, keptReason) : Entry(step, action, d, ""));
        // An upload deletes the old copy of a changed file first where the option says so; a
        // download always lets the new copy replace it.
        else if (d.action == actRefresh && !download)
            deletions.push_back(keptReason ? Entry(step, "keep", d, keptReason) : Entry(step, action, d, "old copy"));
    }
    entries.insert(entries.end(), deletions.rbegin(), deletions.rend());
    for (SiteNode *n = master.First(); n; n = master.Next(n))
        if (n->detail.action == actCreateDir)
            entries.push_back(Entry(EntryStep::CreateDirectory, "mkdir", n->detail, ""));
    const EntryStep send = download ? EntryStep::Download : EntryStep::Upload;
    const char *sendWord = download ? "download" : "upload";
    for (SiteNode *n = master.First(); n; n = master.Next(n))
        if (n->detail.action == actNewFile || n->detail.action == actRefresh)
            entries.push_back(Entry(send, sendWord, n->detail, n->detail.action == actNewFile ? "new" : "changed"));
    return entries;
}

void JoinResults(std::vector<PlannedEntry> &entries, const std::vector<EntryResult> &results)
{
    // Indices rather than pointers: a result that belongs to no entry is appended.
    std::unordered_multimap<std::string, size_t> byKey;
    auto key = [](EntryStep step, const std::string &path) { return std::to_string(int(step)) + path; };
    for (size_t i = 0; i < entries.size(); ++i)
        byKey.emplace(key(entries[i].step, entries[i].path), i);
    for (const EntryResult &r : results) {
        size_t index = entries.size();
        auto [from, to] = byKey.equal_range(key(r.step, r.path));
        for (auto it = from; it != to && index == entries.size(); ++it)
            if (entries[it->second].result.empty())
                index = it->second;
        if (index == entries.size()) {
            PlannedEntry unplanned;
            unplanned.step = r.step;
            unplanned.action = EntryStepWord(r.step);
            unplanned.path = r.path;
            entries.push_back(unplanned);
        }
        entries[index].result = EntryOutcomeWord(r.outcome);
        entries[index].resultReason = r.reason;
    }
    for (PlannedEntry &e : entries)
        if (e.result.empty()) {
            e.result = e.action == "keep" ? "kept" : "not done";
            if (e.action == "keep")
                e.resultReason = e.reason;
        }
}

void EntryCounts::Add(const EntryCounts &other)
{
    deleted += other.deleted;
    created += other.created;
    transferred += other.transferred;
    failed += other.failed;
    kept += other.kept;
    skipped += other.skipped;
}

EntryCounts PlanCounts(const std::vector<PlannedEntry> &entries)
{
    EntryCounts c;
    for (const PlannedEntry &e : entries) {
        c.deleted += IsDeletion(e.action);
        c.created += e.action == "mkdir";
        c.transferred += IsTransfer(e.action);
        c.kept += e.action == "keep";
    }
    return c;
}

EntryCounts ResultCounts(const std::vector<PlannedEntry> &entries)
{
    EntryCounts c;
    for (const PlannedEntry &e : entries) {
        const bool done = e.result == "done";
        c.deleted += done && (e.step == EntryStep::Delete || e.step == EntryStep::RemoveDirectory);
        c.created += done && e.step == EntryStep::CreateDirectory;
        c.transferred += done && (e.step == EntryStep::Upload || e.step == EntryStep::Download);
        c.failed += e.result == "failed";
        c.kept += e.result == "kept";
        c.skipped += e.result == "skipped";
    }
    return c;
}

std::string PlanLine(const std::string &nickName, const std::vector<PlannedEntry> &entries)
{
    const EntryCounts c = PlanCounts(entries);
    std::string line = "Site " + nickName + ": " + std::to_string(c.deleted) + " to delete, " +
                       std::to_string(c.created) + " to create, " + std::to_string(c.transferred) + " to transfer";
    if (c.kept > 0)
        line += ", " + std::to_string(c.kept) + " kept";
    return line;
}

std::string EscapedForLine(const std::string &text)
{
    // Backslashes doubled first, so that "\x1b" in a name stays apart from an escaped ESC; tabs
    // too, so that a line splits into its fields; the rest as everywhere text is shown.
    std::string line;
    for (char c : text) {
        if (c == '\\')
            line += "\\\\";
        else if (c == '\t')
            line += "\\x09";
        else
            line += c;
    }
    return VisibleControls(line);
}

std::string EntryLine(const std::string &action, const std::string &path)
{
    std::string line = action;
    line.resize(std::max<size_t>(line.size() + 1, 9), ' ');
    return line + EscapedForLine(path);
}

std::string SummaryLine(const EntryCounts &c, bool dryRun)
{
    return "Summary: deleted " + std::to_string(c.deleted) + ", created " + std::to_string(c.created) +
           ", transferred " + std::to_string(c.transferred) + ", failed " + std::to_string(c.failed) + ", kept " +
           std::to_string(c.kept) + ", skipped " + std::to_string(c.skipped) + (dryRun ? " (dry run)" : "");
}

namespace {
std::string Plural(size_t n, const char *one, const char *many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string OutcomeText(const SiteVisit &visit, const EntryCounts &counts, const std::string &signalName)
{
    if (!visit.checkProblem.empty())
        return "failed, not tried: " + visit.checkProblem;
    if (visit.stopped && !visit.runFinished)
        return "stopped by " + signalName + " before the run was complete";
    // The reason a cron user needs, which otherwise only the verbose log shows.
    const std::string why = !visit.certificateRefusal.empty() ? visit.certificateRefusal : visit.lastError;
    if (!visit.loggedIn)
        return "could not connect or log in" + (why.empty() ? std::string() : ": " + why);
    std::string problems;
    auto add = [&](const std::string &text) { problems += (problems.empty() ? "" : "; ") + text; };
    if (!visit.planned)
        add("the remote directory could not be listed" + (why.empty() ? std::string() : " (" + why + ")") +
            "; nothing was compared or transferred");
    if (!visit.notListed.empty())
        add(Plural(visit.notListed.size(), "remote directory", "remote directories") + " could not be listed; nothing under " +
            (visit.notListed.size() == 1 ? "it" : "them") + " was deleted");
    if (!visit.notRead.empty())
        add(Plural(visit.notRead.size(), "local directory", "local directories") + " could not be read; nothing under " +
            (visit.notRead.size() == 1 ? "it" : "them") + " was sent or deleted");
    if (!visit.refused.empty())
        add(visit.refused);
    if (counts.failed > 0)
        add(Plural(size_t(counts.failed), "step", "steps") + " failed");
    if (visit.cutShort && visit.planned)
        add("the session ended before the run was done");
    if (!problems.empty())
        return "failed: " + problems;
    size_t unconfirmed = 0;
    for (const PlannedEntry &entry : visit.entries)
        unconfirmed += entry.action == "keep" && entry.reason != "delete is off";
    if (unconfirmed > 0)
        return "done; " + Plural(unconfirmed, "deletion", "deletions") + " not confirmed: run with --yes to delete";
    return "done";
}

const char *Outcome(const SiteVisit &visit, const EntryCounts &counts)
{
    if (!visit.checkProblem.empty())
        return "failed";
    if (visit.stopped && !visit.runFinished)
        return "stopped";
    if (!visit.loggedIn)
        return "not connected";
    if (visit.cutShort || !visit.notListed.empty() || !visit.notRead.empty() || counts.failed > 0 || !visit.planned ||
        !visit.refused.empty())
        return "failed";
    return "done";
}
} // namespace

SiteReport ReportSite(const SiteVisit &visit, const std::vector<EntryResult> &results, bool dryRun,
                      const std::string &signalName)
{
    SiteReport report;
    report.nickName = visit.nickName;
    report.download = visit.download;
    report.planned = visit.planned;
    report.entries = visit.entries;
    report.notListed = visit.notListed;
    report.notRead = visit.notRead;
    if (!dryRun)
        JoinResults(report.entries, results);
    const EntryCounts counts = dryRun ? EntryCounts{} : ResultCounts(report.entries);
    report.outcome = Outcome(visit, counts);
    report.text = OutcomeText(visit, counts, signalName);
    return report;
}

namespace {
QJsonObject CountsJson(const EntryCounts &c, bool planned)
{
    QJsonObject o;
    o[planned ? "delete" : "deleted"] = c.deleted;
    o[planned ? "create" : "created"] = c.created;
    o[planned ? "transfer" : "transferred"] = c.transferred;
    o[planned ? "keep" : "kept"] = c.kept;
    if (!planned) {
        o["failed"] = c.failed;
        o["skipped"] = c.skipped;
    }
    return o;
}

QJsonArray Paths(const std::vector<std::string> &paths)
{
    QJsonArray a;
    for (const std::string &p : paths)
        a.append(Text(p));
    return a;
}
} // namespace

std::string ReportJson(const std::vector<SiteReport> &sites, const EntryCounts &totals, bool dryRun, int exitStatus,
                       const std::string &stoppedBy)
{
    QJsonArray siteArray;
    for (const SiteReport &site : sites) {
        QJsonObject s;
        s["site"] = Text(site.nickName);
        s["direction"] = site.download ? "download" : "upload";
        s["outcome"] = Text(site.outcome);
        s["message"] = Text(site.text);
        s["planned"] = site.planned;
        if (site.planned)
            s["plan"] = CountsJson(PlanCounts(site.entries), true);
        QJsonArray entries;
        for (const PlannedEntry &e : site.entries) {
            QJsonObject o;
            o["action"] = Text(e.action);
            o["path"] = Text(e.path);
            if (!e.reason.empty())
                o["reason"] = Text(e.reason);
            if (e.size >= 0)
                o["size"] = qint64(e.size);
            if (!dryRun) {
                o["result"] = Text(e.result);
                if (!e.resultReason.empty() && e.result != "done")
                    o["resultReason"] = Text(e.resultReason);
            }
            entries.append(o);
        }
        s["entries"] = entries;
        if (!dryRun)
            s["result"] = CountsJson(ResultCounts(site.entries), false);
        s["notListed"] = Paths(site.notListed);
        s["notRead"] = Paths(site.notRead);
        siteArray.append(s);
    }
    QJsonObject root;
    root["dryRun"] = dryRun;
    root["exitStatus"] = exitStatus;
    if (!stoppedBy.empty())
        root["stoppedBy"] = Text(stoppedBy);
    if (!dryRun)
        root["result"] = CountsJson(totals, false);
    root["sites"] = siteArray;
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}
