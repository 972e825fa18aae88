// A file the compare could not be sure of: same size, and times that agree within the listing's
// minute. Before it is sent, the server's exact time (MDTM) decides; a server without MDTM, or a
// failed question, lets the file go as marked.
#include "transfer/TransferSequencer.h"

#include "base/Text.h"
#include "site/Marking.h"
#include "site/Progress.h"
#include "site/TreeEntries.h"
#include "transfer/ClockOffset.h"
#include "transfer/TransferPaths.h"

#include <cmath>

namespace {
constexpr double kSecondsPerDay = 86400.0;
constexpr double kQuarterHoursPerDay = 96.0;

int64_t WholeSeconds(TDateTime t)
{
    return std::llround(t * kSecondsPerDay);
}

// The node at `path` ("/dir/name"), names compared without case as the compare pairs them.
SiteNode *FindByPath(const SiteTree &tree, const std::string &directory, const std::string &name)
{
    SiteNode *parent = nullptr;
    std::string rest = directory + "/" + name;
    while (!rest.empty() && rest.front() == '/') {
        rest.erase(0, 1);
        const size_t slash = rest.find('/');
        const std::string part = rest.substr(0, slash);
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
        SiteNode *found = nullptr;
        for (int i = 0; i < tree.ChildCount(parent) && !found; ++i)
            if (EqualsNoCaseAZ(tree.Child(parent, i)->detail.name, part))
                found = tree.Child(parent, i);
        if (!found)
            return nullptr;
        parent = found;
    }
    return parent;
}
} // namespace

bool TransferSequencer::AskFileTimeFirst(SiteNode *node, const std::string &remotePath)
{
    TFtpClient &ftp = ws_.FtpClient1;
    if (!node->detail.verifyTime || ftp.MdtmRefused())
        return false;
    node->detail.verifyTime = false; // asked once; the answer decides
    fileTimeAsked_ = true;
    ftp.GetFileTime(remotePath);
    return true;
}

SiteNode *TransferSequencer::ReceivingPartner(const SiteNode *node)
{
    // The partner is spelt as the filters spell the receiving side.
    const TDetail partnerKey = FilteredNames(ws_, node->detail);
    return FindByPath(phase_ == Phase::Downloading ? ws_.localTree : ws_.remoteTree, partnerKey.directory,
                      partnerKey.name);
}

bool TransferSequencer::ReceivingSideNotOlder(const SiteNode *node, TDateTime serverUtc)
{
    const bool download = phase_ == Phase::Downloading;
    const TDetail &master = node->detail;
    const SiteNode *partner = ReceivingPartner(node);
    if (!partner)
        return false;
    const TDetail &listed = download ? master : partner->detail;
    const TDetail &local = download ? partner->detail : master;
    // The listing shows the server's time in its own zone: the whole quarter-hours between the
    // listed time and UTC carry the exact time over into the listing's clock, and the clock
    // offset then into the PC's, as the compare does with listed times.
    const double zone = std::round((listed.modified - serverUtc) * kQuarterHoursPerDay) / kQuarterHoursPerDay;
    const int64_t server = WholeSeconds(serverUtc + zone + ClockOffsetDays(ws_.Site(), ws_.options));
    const int64_t pc = WholeSeconds(local.modified);
    return download ? pc >= server : server >= pc;
}

void TransferSequencer::FtpClient1FileTimeDone(TFtpClient *sender)
{
    if (!fileTimeAsked_)
        return;
    fileTimeAsked_ = false;
    if (phase_ != Phase::Uploading && phase_ != Phase::Downloading)
        return;
    if (HoldIfSessionGone())
        return; // asked again, or sent, after a reconnect
    RunState &run = ws_.run;
    SiteNode *node = run.transferNode;
    if (node && sender->Success() && ReceivingSideNotOlder(node, sender->RemoteFileTime())) {
        ws_.LogLine("FERNHOP: " + run.currentFileName + " has the same time on both sides; not sent");
        ws_.results.Record(phase_ == Phase::Downloading ? EntryStep::Download : EntryStep::Upload, EntryOutcome::Skipped,
                           node->detail.Path(), "the same time on both sides");
        // Both sides are in step, as the compare would have marked them had it known: "Restore"
        // brings back "same", not the transfer found needless. The run shows both plain, as it
        // shows every entry it has passed (the step shows this one so as it moves on).
        const bool download = phase_ == Phase::Downloading;
        SetAction(download ? ws_.remoteTree : ws_.localTree, node, actNone, actNone, iconSame, nullptr);
        SiteTree &receiving = download ? ws_.localTree : ws_.remoteTree;
        if (SiteNode *partner = ReceivingPartner(node)) {
            SetAction(receiving, partner, actNone, actNone, iconSame, nullptr);
            SetPlainIcon(receiving, partner);
        }
        RunCounters &c = ws_.counters;
        c.transferTotal = std::max(0, c.transferTotal - 1);
        c.transferRemain = std::max(0, c.transferRemain - 1);
    }
    // The step sends the file unless it was found the same, and goes on with the next.
    if (phase_ == Phase::Uploading)
        UploadStep();
    else
        download_.Resume();
}
