#include "transfer/RemoteProbe.h"

#include "base/Text.h"
#include "transfer/TransferPaths.h"

#include <algorithm>
#include <utility>

namespace {

// "/a/b.html" gives "/a" and "b.html"; "/b.html" gives "" and "b.html".
std::pair<std::string, std::string> SplitPath(const std::string &relativePath)
{
    const size_t slash = relativePath.rfind('/');
    if (slash == std::string::npos)
        return {"", relativePath};
    return {relativePath.substr(0, slash), relativePath.substr(slash + 1)};
}

} // namespace

std::string RemoteProbe::FullPath(const std::string &relativeDirectory) const
{
    return relativeDirectory.empty() ? top_ : FullRemotePath(top_, relativeDirectory);
}

void RemoteProbe::DirectoryThere(const std::string &path, Done done)
{
    top_ = path;
    done_ = std::move(done);
    steps_ = {Step{"", "", false}};
    Ask();
}

void RemoteProbe::EntryGone(const std::string &topPath, const std::string &relativePath, Done done)
{
    top_ = topPath;
    done_ = std::move(done);
    const auto [directory, name] = SplitPath(relativePath);
    steps_ = {Step{directory, name, true}};
    Ask();
}

void RemoteProbe::Cancel()
{
    if (waiting_)
        dropAnswer_ = true;
    steps_.clear();
    done_ = nullptr;
}

void RemoteProbe::ConnectionGone()
{
    waiting_ = dropAnswer_ = false;
    steps_.clear();
    done_ = nullptr;
    listed_.clear();
}

void RemoteProbe::Ask()
{
    const Step &step = steps_.back();
    if (step.list) {
        if (const auto known = listed_.find(step.directory); known != listed_.end()) {
            Resolve(known->second);
            return;
        }
    }
    waiting_ = true;
    ws_.FtpClient1.ChangeDirectory(FullPath(step.directory));
}

bool RemoteProbe::FtpClient1DirectoryChanged(TFtpClient *sender)
{
    if (!waiting_)
        return false;
    if (dropAnswer_ || steps_.empty()) {
        waiting_ = dropAnswer_ = false;
        return true;
    }
    const Step step = steps_.back();
    if (!sender->Success()) {
        waiting_ = false;
        if (!step.list || step.directory.empty()) {
            Answered(Answer::unknown);
            return true;
        }
        // The directory cannot be entered: the entry is gone if the directory itself is.
        const auto [directory, name] = SplitPath(step.directory);
        steps_.push_back(Step{directory, name, true});
        Ask();
        return true;
    }
    if (!step.list) {
        waiting_ = false;
        Answered(Answer::there);
        return true;
    }
    if (ws_.stopRequested) {
        waiting_ = false;
        Answered(Answer::unknown); // the run is ending: no listing goes out for it
        return true;
    }
    sender->UseMlsd = ws_.options.useMLSD;
    if (usePasv && usePasv())
        sender->GetListingPasv();
    else
        sender->GetListing();
    return true;
}

bool RemoteProbe::FtpClient1ListingDone(TFtpClient *sender)
{
    if (!waiting_)
        return false;
    waiting_ = false;
    if (dropAnswer_ || steps_.empty()) {
        dropAnswer_ = false;
        return true;
    }
    if (!sender->Success() || (sender->Listing().empty() && sender->BytesTransferred() > 0)) {
        Answered(Answer::unknown);
        return true;
    }
    const std::string directory = steps_.back().directory;
    std::vector<TDetail> entries;
    const std::string listingDirectory = ws_.currentRelativeDirectory;
    ws_.currentRelativeDirectory = directory;
    const bool readable = parser_.ReadEntries(sender->Listing(), sender->ListedWithMlsd(), entries);
    ws_.currentRelativeDirectory = listingDirectory;
    if (steps_.empty())
        return true; // cancelled during the parse's yields
    if (!readable || ws_.stopRequested) {
        Answered(Answer::unknown);
        return true;
    }
    Listed listed;
    listed.hiddenShown = sender->HiddenListed();
    for (const TDetail &entry : entries)
        listed.names.push_back(LowerAZ(entry.name));
    listed_[directory] = listed;
    Resolve(listed);
    return true;
}

void RemoteProbe::Resolve(const Listed &listed)
{
    const Step step = steps_.back();
    const std::string name = LowerAZ(step.name);
    Answer answer;
    if (std::find(listed.names.begin(), listed.names.end(), name) != listed.names.end())
        answer = Answer::there;
    else if (!listed.hiddenShown && !name.empty() && name[0] == '.')
        answer = Answer::unknown; // a listing without hidden names proves nothing of one
    else
        answer = Answer::gone;
    // A parent asked about on the way up: the entry is gone with it; a parent that is there but
    // cannot be entered leaves the question open.
    if (steps_.size() > 1 && answer == Answer::there)
        answer = Answer::unknown;
    Answered(answer);
}

void RemoteProbe::Answered(Answer answer)
{
    steps_.clear();
    Done done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(answer);
}
