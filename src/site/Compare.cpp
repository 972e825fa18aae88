#include "site/Compare.h"

#include "base/Text.h"
#include "site/IgnoreLists.h"
#include "site/LocalScan.h"
#include "site/Marking.h"
#include "site/Progress.h"
#include "site/SavedOffset.h"
#include "site/TreeEntries.h"

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// The measured offset comes from two times each cut to the minute, so it may be off by up to a
// minute either way.
constexpr int64_t kOffsetUncertainty = 60;
// A keep-alive goes out after this many master entries.
constexpr int kKeepAliveEvery = 500;

// Entry times are whole seconds (local files, exact server times) or whole minutes (listings).
inline int64_t WholeSeconds(TDateTime t)
{
    return std::llround(t * double(kSecondsPerDay));
}

// The seconds an entry's true time may lie in, on the PC's clock.
struct TimeSpan {
    int64_t first;
    int64_t last;
    bool Point() const { return first == last; }
};

enum class TimeOrder { Same, Changed, Uncertain };

// Whether a file's bytes, as counted on the PC, become `otherSize` when its line ends are
// converted: CR LF to LF (a UNIX server storing an ASCII upload, or an ASCII download kept as
// received) or LF to CR LF. False when the file cannot be read.
bool LineEndsExplainSize(const std::string &path, int64_t localSize, int64_t otherSize)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int64_t crlf = 0, bareLf = 0;
    bool afterCr = false, readAll = true;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            readAll = false;
            break;
        }
        if (n == 0)
            break;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n')
                ++(afterCr ? crlf : bareLf);
            afterCr = c == '\r';
        }
    }
    ::close(fd);
    return readAll && (otherSize == localSize - crlf || otherSize == localSize + bareLf);
}

inline char LowerChar(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}

// Character k of directory + "/" + name.
inline char KeyChar(const TDetail &d, size_t k)
{
    const size_t dirLength = d.directory.size();
    if (k < dirLength)
        return d.directory[k];
    return k == dirLength ? '/' : d.name[k - dirLength - 1];
}

// Whether two entries have the same lower-cased directory + "/" + name, without building either.
bool SameKey(const TDetail &a, const TDetail &b)
{
    const size_t length = a.directory.size() + a.name.size();
    if (length != b.directory.size() + b.name.size())
        return false;
    if (a.directory.size() == b.directory.size())
        return EqualsNoCaseAZ(a.name, b.name) && EqualsNoCaseAZ(a.directory, b.directory);
    for (size_t k = 0; k <= length; ++k)
        if (LowerChar(KeyChar(a, k)) != LowerChar(KeyChar(b, k)))
            return false;
    return true;
}

void BuildKey(const TDetail &d, std::string &key)
{
    key.assign(d.directory);
    key += '/';
    key += d.name;
    for (char &c : key)
        c = LowerChar(c);
}

// Finds a master entry's partner: the first unvisited slave node, in tree order, with the same
// key. During a compare `visited` only goes from 0 to 1 and every node before the scan start is
// visited, so the first unvisited match from the scan start onward is the first one anywhere.
// Trees in the same order find it at once; other orders fall back to an index of the slave keys,
// built on first need, so that a different order costs no more than one pass either.
class PartnerFinder {
public:
    explicit PartnerFinder(SiteTree &slave) : slave_(slave), scanStart_(slave.First()) {}

    // The first unvisited slave node at or after the scan start, which moves over visited nodes.
    SiteNode *FirstUnvisited()
    {
        SiteNode *node = scanStart_;
        while (node && node->detail.visited) {
            scanStart_ = node;
            node = slave_.Next(node);
        }
        return node;
    }

    SiteNode *Find(SiteNode *from, const TDetail &master)
    {
        SiteNode *node = from;
        for (int step = 0; node && step < kNearby; ++step, node = slave_.Next(node))
            if (!node->detail.visited && SameKey(node->detail, master))
                return node;
        return node ? FindIndexed(master) : nullptr;
    }

private:
    // How far the plain scan looks before it asks the index.
    static constexpr int kNearby = 16;

    struct Chain {
        int head = -1; // first slot not yet known to be visited
        int tail = -1;
    };
    struct Slot {
        SiteNode *node;
        int next;
    };

    void BuildIndex()
    {
        indexed_ = true;
        index_.reserve(size_t(slave_.Count()));
        slots_.reserve(size_t(slave_.Count()));
        for (SiteNode *node = slave_.First(); node; node = slave_.Next(node)) {
            BuildKey(node->detail, key_);
            Chain &chain = index_[key_];
            const int slot = int(slots_.size());
            slots_.push_back({node, -1});
            if (chain.tail >= 0)
                slots_[size_t(chain.tail)].next = slot;
            else
                chain.head = slot;
            chain.tail = slot;
        }
    }

    SiteNode *FindIndexed(const TDetail &master)
    {
        if (!indexed_)
            BuildIndex();
        BuildKey(master, key_);
        auto it = index_.find(key_);
        if (it == index_.end())
            return nullptr;
        int &head = it->second.head;
        while (head >= 0 && slots_[size_t(head)].node->detail.visited)
            head = slots_[size_t(head)].next;
        return head >= 0 ? slots_[size_t(head)].node : nullptr;
    }

    SiteTree &slave_;
    SiteNode *scanStart_;
    bool indexed_ = false;
    std::unordered_map<std::string, Chain> index_;
    std::vector<Slot> slots_;
    std::string key_;
};

// Whether the entry's name or one of its directories starts with ".".
bool HasHiddenPart(const TDetail &d)
{
    if (!d.name.empty() && d.name[0] == '.')
        return true;
    return d.directory.find("/.") != std::string::npos;
}

std::string FixedEight(TDateTime value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.8f", value);
    return text;
}

class CompareRun {
public:
    CompareRun(SiteModel &model, SiteTree &master, SiteTree &slave)
        : model_(model), master_(master), slave_(slave), masterIsRemote_(&master == &model.remoteTree)
    {
    }

    bool Run();

private:
    void WorkOutOffset();
    void MarkEntry(SiteTree &tree, SiteNode *node, TEntryAction action, int32_t icon)
    {
        node->detail.verifyTime = false;
        SetAction(tree, node, action, action, icon, &master_);
    }
    TimeSpan Span(const TDetail &d, bool remote) const;
    TimeOrder OrderTimes(const TDetail &md, const TDetail &pd) const;
    bool SizesDiffer(const TDetail &md, const TDetail &pd) const;
    void WalkMaster();
    void PairEntries(SiteNode *m, SiteNode *p);
    void MarkMissingOnSlave(SiteNode *m);
    void MarkSlaveLeftovers();
    SiteNode *UnlistedRoot(SiteNode *p) const;
    void KeepBelowUnlisted(SiteNode *p, SiteNode *root);
    void KeepHidden(SiteNode *p);
    void KeepServerAwake();
    void TracePair(const TDetail &m, const TDetail &p);

    SiteModel &model_;
    SiteTree &master_;
    SiteTree &slave_;
    const bool masterIsRemote_;
    // The clock offset in whole seconds; a remote time t is the PC time t + offset.
    int64_t offsetSeconds_ = 0;
    bool offsetInUse_ = false;
    int keepAliveCount_ = 0;
    bool hiddenKeptReported_ = false;
    // Slave partners of master directories the listing walk could not list.
    std::unordered_set<const SiteNode *> unlistedPartners_;
    std::vector<const SiteNode *> reportedRoots_;
};

bool CompareRun::Run()
{
    RunCounters &counters = model_.counters;
    counters.deleteTotal = counters.createTotal = counters.transferTotal = 0;
    keepAliveCount_ = 0;

    ShowProgress(model_);
    model_.AllButtonsOff();
    model_.view.SetEnabled(Control::stopBtn, true);
    ClearVisited(master_);
    ClearVisited(slave_);
    model_.ShowStatus("Comparing: " + std::to_string(model_.localTree.Count()) + " Local and " +
                      std::to_string(model_.remoteTree.Count()) + " Remote Files");
    WorkOutOffset();
    hiddenKeptReported_ = false;

    model_.stopLoops = false;
    WalkMaster();
    if (!model_.stopLoops)
        MarkSlaveLeftovers();

    const bool stopped = model_.stopLoops;
    if (stopped) {
        SetProgress(model_, 0);
        model_.ShowStatus("Compare stopped");
        model_.view.SetEnabled(Control::updateBtn, false);
    } else {
        SetProgress(model_, 100);
        counters.deleteRemain = counters.deleteTotal;
        counters.createRemain = counters.createTotal;
        counters.transferRemain = counters.transferTotal;
        const std::string summary = CompareSummary(counters);
        model_.ShowStatus(summary);
        model_.LogLine(" ");
        model_.LogLine(summary);
        if (model_.remoteListingPartial) {
            model_.LogLine("FERNHOP: the remote listing is partial: nothing in what was not listed is marked for deletion");
            model_.ShowStatus(summary + " - the remote listing is partial");
        }
        model_.view.SetEnabled(Control::updateBtn, true);
    }
    HideProgress(model_);
    model_.MainButtonsOn();
    model_.PlayEventSound(SoundEvent::Compare);
    return !stopped;
}

void CompareRun::WorkOutOffset()
{
    const CurrentSite &site = model_.Site();
    const double offset = SavedClockOffset(site.SavedPcTime(), site.SavedServerTime(), model_.options.timeOffset);
    offsetInUse_ = offset != 0;
    offsetSeconds_ = WholeSeconds(offset);
}

// A listed time covers its whole minute or day. A time from an older cache file at midnight on
// the PC's clock was a date the old scan cut a file to, so it stands for that whole day.
TimeSpan CompareRun::Span(const TDetail &d, bool remote) const
{
    int64_t first = WholeSeconds(d.modified);
    if (remote)
        first += offsetSeconds_;
    int64_t width = 0;
    switch (d.precision) {
    case tpSecond: break;
    case tpMinute: width = 59; break;
    case tpDay: width = kSecondsPerDay - 1; break;
    case tpMinuteCut:
        width = ((first % kSecondsPerDay) + kSecondsPerDay) % kSecondsPerDay == 0 ? kSecondsPerDay - 1 : 59;
        break;
    }
    TimeSpan span{first, first + width};
    if (remote && offsetInUse_ && width > 0) {
        span.first -= kOffsetUncertainty;
        span.last += kOffsetUncertainty;
    }
    return span;
}

// Compares at the finest precision both entries have. A listed minute that may hold the other
// side's time is uncertain: only the server's exact time can tell. A day, or a minute an older
// version cut a local time to, is the same time when it may hold the other one, as it always was:
// asking the server about every old file on every run would cost a round trip per file.
TimeOrder CompareRun::OrderTimes(const TDetail &md, const TDetail &pd) const
{
    const TimeSpan m = Span(md, masterIsRemote_);
    const TimeSpan p = Span(pd, !masterIsRemote_);
    if (model_.options.noDateMatch) {
        if (m.first > p.last || m.last < p.first)
            return TimeOrder::Changed;
    } else {
        if (m.first > p.last)
            return TimeOrder::Changed;
        if (m.last <= p.first)
            return TimeOrder::Same;
    }
    if (m.Point() && p.Point())
        return TimeOrder::Same;
    // A local time equal to the listed one after the offset is the stamp a download gives.
    const TDetail &remote = masterIsRemote_ ? md : pd;
    const TDetail &local = masterIsRemote_ ? pd : md;
    if (WholeSeconds(remote.modified) + offsetSeconds_ == WholeSeconds(local.modified))
        return TimeOrder::Same;
    if ((remote.precision == tpMinute || local.precision == tpMinute) && model_.runVerifiesTimes)
        return TimeOrder::Uncertain;
    return TimeOrder::Same;
}

// A file sent in ASCII mode has its line ends converted by the server, so a size difference they
// account for is none. The local file is read only for such pairs.
bool CompareRun::SizesDiffer(const TDetail &md, const TDetail &pd) const
{
    if (!model_.options.fileSizeCheck || md.size == pd.size || md.kind == ekDirectory)
        return false;
    const ExtensionRow *row = model_.extensions.Match(md.name);
    if (!row || row->transfer != "0")
        return true;
    const TDetail &local = masterIsRemote_ ? pd : md;
    const TDetail &remote = masterIsRemote_ ? md : pd;
    return !LineEndsExplainSize(LocalPath(model_.localTopDirectory, local), local.size, remote.size);
}

void CompareRun::WalkMaster()
{
    PartnerFinder finder(slave_);
    const int count = master_.Count();
    int i = 0;
    for (SiteNode *m = master_.First(); m && !model_.stopLoops; m = master_.Next(m), ++i) {
        if (count > 1)
            SetProgress(model_, int(RoundHalfEven(double(i) / double(count - 1) * 100.0)));

        SiteNode *s = finder.FirstUnvisited();
        IgnoreTest(model_.ignore, m->detail.directory, m->detail.name, true, &master_, m, m->detail.kind);
        if (s)
            IgnoreTest(model_.ignore, s->detail.directory, s->detail.name, true, &slave_, s, s->detail.kind);

        // An ignored master entry keeps its ignore mark; its partner is left to the slave pass.
        if (!m->detail.visited) {
            if (SiteNode *p = finder.Find(s, m->detail)) {
                PairEntries(m, p);
                p->detail.visited = 1;
            } else {
                MarkMissingOnSlave(m);
            }
            KeepInView(model_, master_, m, model_.options.fastCompare);
        }

        if (i % 10 == 0)
            model_.Yield();
        if (model_.options.wakeup)
            KeepServerAwake();
    }
}

// Kinds are not compared: the master's kind decides, so a file over a directory goes by time
// and size.
void CompareRun::PairEntries(SiteNode *m, SiteNode *p)
{
    const TDetail &md = m->detail;
    const TDetail &pd = p->detail;
    if (model_.debugTrace)
        TracePair(md, pd);
    if (md.notListed)
        unlistedPartners_.insert(p);

    if (md.kind == ekDirectory) {
        MarkEntry(master_, m, actNone, iconDir);
        MarkEntry(slave_, p, actNone, iconDir);
        return;
    }
    const TimeOrder order = OrderTimes(md, pd);
    const bool changed = order == TimeOrder::Changed;
    const bool sizeDiffers = SizesDiffer(md, pd);
    RunCounters &counters = model_.counters;

    if (order == TimeOrder::Same && !sizeDiffers) {
        MarkEntry(master_, m, actNone, iconSame);
        MarkEntry(slave_, p, actNone, iconSame);
        return;
    }
    if (model_.debugTrace)
        model_.LogLine(masterIsRemote_ ? "DEBUG: remote newer than local" : "DEBUG: local newer than remote");
    if (order == TimeOrder::Uncertain && !sizeDiffers) {
        // Sent unless the server's exact time shows its copy is not older; the old copy is not
        // deleted first, since the run must still ask about it.
        MarkEntry(master_, m, actRefresh, iconNewer);
        MarkEntry(slave_, p, actNone, iconNewer);
        m->detail.verifyTime = true;
        ++counters.transferTotal;
    } else if (model_.options.deleteRefresh) {
        MarkEntry(master_, m, actRefresh, iconNewer);
        MarkEntry(slave_, p, actRefresh, iconNewer);
        ++counters.transferTotal;
        ++counters.deleteTotal;
    } else if (changed) {
        MarkEntry(master_, m, actRefresh, iconNewer);
        MarkEntry(slave_, p, actNone, iconNewer);
        ++counters.transferTotal;
    } else {
        MarkEntry(master_, m, actRefresh, iconSizeDiffers);
        MarkEntry(slave_, p, actNone, iconSizeDiffers);
        ++counters.transferTotal;
    }
}

void CompareRun::MarkMissingOnSlave(SiteNode *m)
{
    if (m->detail.kind == ekDirectory) {
        MarkEntry(master_, m, actCreateDir, iconCreateDir);
        ++model_.counters.createTotal;
    } else {
        MarkEntry(master_, m, actNewFile, iconNewFile);
        ++model_.counters.transferTotal;
    }
}

void CompareRun::MarkSlaveLeftovers()
{
    for (SiteNode *p = slave_.First(); p && !model_.stopLoops; p = slave_.Next(p)) {
        IgnoreTest(model_.ignore, p->detail.directory, p->detail.name, true, &slave_, p, p->detail.kind);
        if (p->detail.visited)
            continue;
        if (SiteNode *root = UnlistedRoot(p)) {
            KeepBelowUnlisted(p, root);
            continue;
        }
        if (model_.remoteTopNotListed) {
            // The remote top directory's listing did not finish: any entry may be missing from it.
            MarkEntry(slave_, p, actNone, p->detail.kind == ekDirectory ? iconDir : iconFile);
            continue;
        }
        if (masterIsRemote_ && model_.remoteHiddenUnlisted && HasHiddenPart(p->detail)) {
            KeepHidden(p);
            continue;
        }
        if (p->detail.kind == ekDirectory)
            MarkEntry(slave_, p, actRemoveDir, iconDelete);
        else
            MarkEntry(slave_, p, actDeleteFile, iconDelete);
        ++model_.counters.deleteTotal;
    }
}

// A directory whose listing failed has unknown contents: on the receiving side nothing in it
// (nor, when it is the receiving side's own directory, the directory itself) may be deleted for
// lack of a partner.
SiteNode *CompareRun::UnlistedRoot(SiteNode *p) const
{
    for (SiteNode *node = p; node; node = node->Parent())
        if (node->detail.notListed || unlistedPartners_.count(node))
            return node;
    return nullptr;
}

void CompareRun::KeepBelowUnlisted(SiteNode *p, SiteNode *root)
{
    MarkEntry(slave_, p, actNone, p->detail.kind == ekDirectory ? iconDir : iconFile);
    for (const SiteNode *reported : reportedRoots_)
        if (reported == root)
            return;
    reportedRoots_.push_back(root);
    model_.LogLine("FERNHOP: " + root->detail.Path() +
                   " could not be listed; nothing in it is marked for deletion");
}

// The server's listings leave out names starting with ".", so a local one may well have its
// partner there: its absence from the remote tree proves nothing.
void CompareRun::KeepHidden(SiteNode *p)
{
    MarkEntry(slave_, p, actNone, p->detail.kind == ekDirectory ? iconDir : iconFile);
    if (hiddenKeptReported_)
        return;
    hiddenKeptReported_ = true;
    model_.LogLine("FERNHOP: the server does not list hidden names; local names starting with \".\" "
                   "are not marked for deletion");
}

void CompareRun::KeepServerAwake()
{
    if (++keepAliveCount_ <= kKeepAliveEvery)
        return;
    keepAliveCount_ = 0;
    if (!model_.Connected())
        return;
    model_.LogLine("FERNHOP: stopping server timeout");
    if (model_.keepAliveIfConnected)
        model_.keepAliveIfConnected();
}

void CompareRun::TracePair(const TDetail &m, const TDetail &p)
{
    model_.LogLine("BEGIN DEBUG");
    model_.LogLine("Master Name: " + m.name);
    model_.LogLine("MasterNode Time: " + FixedEight(m.modified));
    model_.LogLine("Date: dd-mm-yy: " + FormatDateTime("dd-mm-yy", m.modified));
    model_.LogLine("altNode Name: " + p.name);
    model_.LogLine("altNode Time: " + FixedEight(p.modified));
    model_.LogLine("Date: dd-mm-yy: " + FormatDateTime("dd-mm-yy", p.modified));
    model_.LogLine("END DEBUG");
}

} // namespace

bool Compare(SiteModel &model, SiteTree &master, SiteTree &slave)
{
    return CompareRun(model, master, slave).Run();
}

std::string CompareSummary(const RunCounters &counters)
{
    return "Compare Done - [" + std::to_string(counters.deleteTotal) + " delete , " +
           std::to_string(counters.createTotal) + " create, " + std::to_string(counters.transferTotal) +
           " transfer]";
}
