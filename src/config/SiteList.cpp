#include "config/SiteList.h"

#include "base/Text.h"
#include "config/Cipher.h"
#include "config/ListSection.h"
#include "config/SettingsCheck.h"
#include "config/SettingsDir.h"
#include "config/SettingsLock.h"

#include <algorithm>
#include <functional>

namespace {

constexpr const char *kSitesSection = "FTP sites";
constexpr const char *kActiveSection = "Active Site";
constexpr const char *kActiveKey = "number";

// A key the settings file cannot take back: a NUL or a CR inside it (the reader splits at LF). The
// cipher reads only the digits it needs, so such a key may still decipher.
bool HoldsNulOrCr(std::string_view key)
{
    return key.find_first_of(std::string_view("\0\r", 2)) != std::string_view::npos;
}

} // namespace

void SetEditsProtocol(SiteEdits &edits, bool useSftp, bool requireTls)
{
    if (edits.port == DefaultPort(edits.useSftp))
        edits.port = DefaultPort(useSftp);
    edits.useSftp = useSftp;
    edits.requireTls = requireTls && !useSftp;
}

SiteList::SiteList()
{
    // The blank profile stands for "no site": nothing in it takes part in anything.
    blank_.MultiSite = false;
    blank_.Download = false;
}

const TmultFTP &SiteList::Row(int index) const
{
    return index >= 0 && index < Count() ? rows_[size_t(index)] : blank_;
}

const TmultFTP &SiteList::Current() const
{
    return Row(currentRow_);
}

TmultFTP &SiteList::CurrentProfile()
{
    return currentRow_ >= 0 ? rows_[size_t(currentRow_)] : blank_;
}

void SiteList::ShowInEdits(const TmultFTP &site)
{
    edits.nickName = site.NickName;
    edits.server = site.Server;
    edits.userName = site.UserName;
    edits.password = site.Password;
    edits.localDir = site.LocalDir;
    edits.remoteDir = site.RemoteDir;
    edits.port = site.Port;
    edits.usePasv = site.UsePasv;
    edits.afterLoginCommand = site.AfterLoginCommand;
    edits.requireTls = site.RequireTls;
    edits.useSftp = site.UseSftp;
    edits.keyFile = site.KeyFile;
    edits.connections = site.Connections;
}

TmultFTP SiteList::ProfileFromEdits(const TmultFTP &base) const
{
    TmultFTP site = base;
    site.NickName = edits.nickName;
    site.Server = edits.server;
    site.UserName = edits.userName;
    site.Password = edits.password;
    site.LocalDir = edits.localDir;
    site.RemoteDir = edits.remoteDir;
    site.Port = edits.port;
    site.UsePasv = edits.usePasv;
    site.UseSftp = edits.useSftp;
    site.RequireTls = edits.requireTls && !edits.useSftp;
    site.KeyFile = edits.keyFile;
    site.Connections = edits.connections;
    CutProfileTexts(site);
    UpdateCacheKey(site);
    return site;
}

bool SiteList::ChooseRow(int index)
{
    if (index < 0 || index >= Count())
        return false;
    ShowInEdits(rows_[size_t(index)]);
    currentRow_ = index;
    activeIndex_ = index;
    siteChanged = true;
    return true;
}

std::string SiteList::RowClick(int index, bool connected)
{
    if (connected)
        return "You must disconnect from your current session before changing FTP server setups.";
    ChooseRow(index);
    return {};
}

int SiteList::FindNickName(std::string_view nickName) const
{
    if (nickName.empty())
        return -1;
    for (int row = 0; row < Count(); ++row)
        if (EqualsNoCaseAZ(rows_[size_t(row)].NickName, nickName))
            return row;
    return -1;
}

bool SiteList::ChooseFromCommandLine(std::string_view argument)
{
    std::string wanted;
    for (char c : argument)
        if (c != '"')
            wanted += c;
    return ChooseRow(FindNickName(LowerAZ(wanted)));
}

void SiteList::AppendRow(TmultFTP site)
{
    rows_.push_back(std::move(site));
    origin_.push_back(kNewRow);
    currentRow_ = Count() - 1;
    siteChanged = true;
}

std::string SiteList::Add(bool withAfterLoginCommand)
{
    TmultFTP fresh;
    fresh.MultiSite = true;
    if (withAfterLoginCommand)
        fresh.AfterLoginCommand = Cut255(edits.afterLoginCommand);
    TmultFTP site = ProfileFromEdits(fresh);
    std::string problem = SiteLineProblem(site);
    if (problem.empty())
        AppendRow(std::move(site));
    return problem;
}

std::string SiteList::Replace()
{
    if (currentRow_ < 0)
        return {};
    TmultFTP site = ProfileFromEdits(CurrentProfile());
    std::string problem = SiteLineProblem(site);
    if (!problem.empty())
        return problem;
    CurrentProfile() = std::move(site);
    siteChanged = true;
    return {};
}

void SiteList::Delete()
{
    if (currentRow_ >= 0)
        DeleteRows({currentRow_});
}

void SiteList::DeleteRows(std::vector<int> rows)
{
    // From the last row backwards, so that the indexes still to come stay valid.
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    bool removed = false;
    for (int row : rows) {
        if (row < 0 || row >= Count())
            continue;
        if (origin_[size_t(row)] >= 0)
            deleted_.push_back(origin_[size_t(row)]);
        rows_.erase(rows_.begin() + row);
        origin_.erase(origin_.begin() + row);
        removed = true;
    }
    if (!removed)
        return;
    currentRow_ = -1;
    if (!ChooseRow(0))
        siteChanged = true; // the blank profile is current now
}

void SiteList::New()
{
    edits = SiteEdits{};
}

void SiteList::ToggleMultiSite()
{
    if (currentRow_ >= 0)
        CurrentProfile().MultiSite = !CurrentProfile().MultiSite;
}

void SiteList::ToggleDownload()
{
    if (currentRow_ >= 0)
        CurrentProfile().Download = !CurrentProfile().Download;
}

std::string SiteList::SetAfterLoginCommand(const std::string &command)
{
    if (currentRow_ < 0)
        return {};
    TmultFTP site = CurrentProfile();
    site.AfterLoginCommand = Cut255(command);
    std::string problem = SiteLineProblem(site);
    if (!problem.empty())
        return problem;
    CurrentProfile() = std::move(site);
    edits.afterLoginCommand = CurrentProfile().AfterLoginCommand;
    return {};
}

std::string SiteList::StoreRemoteDirectory(const std::string &formatted)
{
    edits.remoteDir = Cut255(formatted);
    return Replace();
}

std::string SiteList::StoreLocalDirectory(const std::string &path)
{
    edits.localDir = Cut255(path);
    if (currentRow_ >= 0)
        return Replace();
    blank_.LocalDir = edits.localDir;
    return {};
}

void SiteList::SetSavedPcTime(TDateTime time)
{
    CurrentProfile().SavedPcTime = time;
}

void SiteList::SetSavedServerTime(TDateTime time)
{
    CurrentProfile().SavedServerTime = time;
}

std::string SiteList::SetTrustedCertificate(const std::string &fingerprint)
{
    if (currentRow_ < 0)
        return {};
    TmultFTP site = CurrentProfile();
    site.TrustedCert = fingerprint;
    if (std::string problem = SiteLineProblem(site); !problem.empty())
        return problem;
    CurrentProfile() = std::move(site);
    return {};
}

std::string SiteList::SetTrustedHostKey(const std::string &fingerprint)
{
    if (currentRow_ < 0)
        return {};
    TmultFTP site = CurrentProfile();
    site.TrustedHostKey = fingerprint;
    if (std::string problem = SiteLineProblem(site); !problem.empty())
        return problem;
    CurrentProfile() = std::move(site);
    return {};
}

void SiteList::ClearOffset()
{
    CurrentProfile().SavedPcTime = 0;
    CurrentProfile().SavedServerTime = 0;
}

std::vector<NickNameItem> SiteList::NickNames() const
{
    std::vector<NickNameItem> items;
    for (int row = 0; row < Count(); ++row)
        if (!rows_[size_t(row)].NickName.empty())
            items.push_back({rows_[size_t(row)].NickName, row});
    return items;
}

int SiteList::NickNameItemOfRow(int row) const
{
    if (row < 0 || row >= Count() || rows_[size_t(row)].NickName.empty())
        return -1;
    int item = 0;
    for (int r = 0; r < row; ++r)
        if (!rows_[size_t(r)].NickName.empty())
            ++item;
    return item;
}

namespace {

// The stored rows of the site list file at `path`, each with its key as the file holds it.
struct FileRows {
    std::vector<std::string> keys;
    std::vector<std::string> lines; // deciphered; empty when the key did not decipher
    int active = 1;
};

FileRows ReadFileRows(const std::string &path)
{
    FileRows rows;
    const ProfileFile file(path, ProfileFile::Access::Private);
    rows.active = file.ReadInteger(kActiveSection, kActiveKey, 1);
    ReadListSectionFromPath(path, kSitesSection, rows.keys);
    for (const std::string &key : rows.keys)
        rows.lines.push_back(DecipherText(key));
    return rows;
}

// The key a site is stored under. A site whose line would outgrow the cipher's buffer is written
// with empty false flags, then without its clock measurement (it is measured again at the next
// connection), and when even that does not fit (or changes nothing) as `previousKey` has it.
std::string StoredKey(const TmultFTP &site, const TmultFTP *previous, const std::string &previousKey)
{
    if (previous && SameProfile(site, *previous) && !previousKey.empty())
        return previousKey;
    std::string line = SiteLine(site);
    if (line.size() <= kMaxSiteLineBytes)
        return EncipherText(line);
    line = CompactSiteLine(site);
    if (line.size() <= kMaxSiteLineBytes)
        return EncipherText(line);
    TmultFTP unmeasured = site;
    unmeasured.SavedPcTime = unmeasured.SavedServerTime = 0;
    line = CompactSiteLine(unmeasured);
    if (line.size() <= kMaxSiteLineBytes && !(previous && SameProfile(unmeasured, *previous)))
        return EncipherText(line);
    return previousKey;
}

} // namespace

std::vector<std::string> SiteList::Load()
{
    rows_.clear();
    origin_.clear();
    stored_.clear();
    deleted_.clear();
    currentRow_ = -1;
    std::vector<std::string> messages;

    const SettingsLock lock(SettingsLock::Mode::Shared);
    const std::string path = SettingsFilePath(kSiteListFile);
    if (std::string problem = SettingsFileProblemAt(path, kSiteListFile); !problem.empty()) {
        messages.push_back(std::move(problem));
        activeIndex_ = 0;
        storedActiveOrigin_ = kNewRow;
        return messages;
    }
    const FileRows file = ReadFileRows(path);
    int activeRow = 0;
    for (size_t i = 0; i < file.keys.size(); ++i) {
        ParsedSiteLine parsed = ParseSiteLine(file.lines[i]);
        stored_.push_back({file.keys[i], parsed.site});
        const std::string where = "Error loading FTP setting on site: [" + std::to_string(i) + " - " +
                                  parsed.site.NickName + " - " + parsed.site.Server + "] -- ";
        const bool unstorableKey = HoldsNulOrCr(file.keys[i]);
        if (file.lines[i].empty()) {
            // Kept in the file as it is (another key may read it); nothing of it can be used.
            if (unstorableKey)
                messages.push_back(where + "the entry could not be deciphered and holds a NUL or CR; site "
                                           "skipped, and left out when the list is saved.");
            else
                messages.push_back(where + "the entry could not be deciphered; site skipped.");
            continue;
        }
        if (unstorableKey)
            messages.push_back(where + "the entry holds a NUL or CR after its enciphered text; the site is kept "
                                       "and stored again without it.");
        if (!parsed.portValid)
            messages.push_back(where + "the port is not a number; the site is kept with port 21.");
        else if (!SiteLineProblem(parsed.site).empty())
            messages.push_back(where + "the site is too long to store a clock measurement; please shorten its "
                                       "directories or after-login command.");
        if (int(i) == file.active)
            activeRow = Count();
        AppendRow(std::move(parsed.site));
        origin_.back() = int(i);
    }

    activeIndex_ = activeRow;
    ChooseRow(activeRow);
    storedActiveOrigin_ = Count() > 0 ? origin_[size_t(activeIndex_)] : kNewRow;
    return messages;
}

std::string SiteList::Save(const std::function<void(const std::string &)> &debugLog) const
{
    const std::string path = SettingsFilePath(kSiteListFile);
    // A new site the cipher cannot hold whole is never cut: the previous file stays instead.
    for (size_t r = 0; r < rows_.size(); ++r)
        if (origin_[r] == kNewRow && StoredKey(rows_[r], nullptr, "").empty())
            return UnableToWriteText(path) + ": the site \"" + rows_[r].NickName + "\" is longer than " +
                   std::to_string(kMaxSiteLineBytes) + " characters.";

    const SettingsLock lock(SettingsLock::Mode::Exclusive);
    if (!EnsureSettingsDirectory() || !lock.Held())
        return UnableToWriteText(path);
    if (std::string problem = SettingsFileProblemAt(path, kSiteListFile); !problem.empty())
        return problem;

    // The file as it is now; this list's changes go onto it.
    const FileRows file = ReadFileRows(path);
    struct OutRow {
        std::string key;   // as the file holds it; empty for a row added here
        TmultFTP previous; // the row as the file holds it
        TmultFTP site;     // the row to write
        bool removed = false;
    };
    std::vector<OutRow> out;
    for (size_t j = 0; j < file.keys.size(); ++j) {
        const TmultFTP site = ParseSiteLine(file.lines[j]).site;
        // One that neither deciphers nor can be written back goes (the load said so).
        out.push_back({file.keys[j], site, site, file.lines[j].empty() && HoldsNulOrCr(file.keys[j])});
    }

    // Which row of the file each stored row is now: the same key (the n-th copy of a key for the
    // n-th copy), else, for a row another process changed, the same nickname.
    std::vector<int> match(stored_.size(), -1);
    std::vector<bool> used(out.size(), false);
    for (size_t k = 0; k < stored_.size(); ++k)
        for (size_t j = 0; j < out.size() && match[k] < 0; ++j)
            if (!used[j] && out[j].key == stored_[k].key) {
                match[k] = int(j);
                used[j] = true;
            }
    for (size_t k = 0; k < stored_.size(); ++k)
        for (size_t j = 0; j < out.size() && match[k] < 0 && !stored_[k].site.NickName.empty(); ++j)
            if (!used[j] && EqualsNoCaseAZ(out[j].previous.NickName, stored_[k].site.NickName)) {
                match[k] = int(j);
                used[j] = true;
            }

    for (int k : deleted_)
        if (match[size_t(k)] >= 0)
            out[size_t(match[size_t(k)])].removed = true;
    std::vector<int> outOfRow(rows_.size(), -1);
    for (size_t r = 0; r < rows_.size(); ++r) {
        const int k = origin_[r];
        if (k == kNewRow) {
            outOfRow[r] = int(out.size());
            out.push_back({"", rows_[r], rows_[r]});
            out.back().previous = TmultFTP();
            continue;
        }
        if (k < 0 || match[size_t(k)] < 0)
            continue; // another process removed it: the change has no row to go to
        OutRow &row = out[size_t(match[size_t(k)])];
        outOfRow[r] = match[size_t(k)];
        if (!SameProfile(rows_[r], stored_[size_t(k)].site))
            row.site = MergeProfile(stored_[size_t(k)].site, rows_[r], row.previous);
    }

    // The active row: this list's choice when it made one, else the file's.
    const bool activeValid = activeIndex_ >= 0 && activeIndex_ < Count();
    const bool chosenHere =
        !keepStoredActive_ && activeValid && (origin_[size_t(activeIndex_)] != storedActiveOrigin_ ||
                                              origin_[size_t(activeIndex_)] == kNewRow);
    int activeOut = file.active;
    if (chosenHere && outOfRow[size_t(activeIndex_)] >= 0)
        activeOut = outOfRow[size_t(activeIndex_)];

    // Drop the removed rows, renumbering the rest.
    std::vector<int> newIndex(out.size(), -1);
    std::vector<OutRow> kept;
    for (size_t j = 0; j < out.size(); ++j)
        if (!out[j].removed) {
            newIndex[j] = int(kept.size());
            kept.push_back(std::move(out[j]));
        }
    if (activeOut >= 0 && activeOut < int(newIndex.size()))
        activeOut = newIndex[size_t(activeOut)] >= 0 ? newIndex[size_t(activeOut)] : 0;

    ProfileFile profile(path, ProfileFile::Access::Private);
    profile.InjectSaveFaultForTesting(saveFault_);
    profile.EraseSection(kSitesSection);
    if (chosenHere || profile.HasKey(kActiveSection, kActiveKey))
        profile.WriteInteger(kActiveSection, kActiveKey, activeOut);

    auto trace = [&debugLog](const std::string &line) {
        if (debugLog)
            debugLog(line);
    };
    trace("DEBUG: staring .INI save for .FTP");
    trace("DEBUG: numer of sites: " + std::to_string(kept.size()));
    std::vector<StoredRow> written;
    for (size_t i = 0; i < kept.size(); ++i) {
        const OutRow &row = kept[i];
        std::string key = StoredKey(row.site, row.key.empty() ? nullptr : &row.previous, row.key);
        if (key.empty())
            return UnableToWriteText(path) + ": the site \"" + row.site.NickName + "\" is longer than " +
                   std::to_string(kMaxSiteLineBytes) + " characters.";
        if (HoldsNulOrCr(key))
            key = EncipherText(DecipherText(key)); // the same site line, without the bytes after it
        trace("DEBUG: writing .FTP: " + MaskedSiteLine(row.site));
        if (!profile.AppendEntry(kSitesSection, key, std::to_string(i)))
            return UnableToWriteText(path) + ": the site \"" + row.site.NickName + "\" cannot be stored.";
        written.push_back({key, ParseSiteLine(DecipherText(key)).site});
    }
    trace("DEBUG: closing .FTP, clearing listViewObjects");
    if (!profile.Save())
        return profile.ErrorText();

    // The next save finds its rows by the keys written now, and compares each of this list's rows
    // with the row as it is now, so that what it did not change stays as the file has it.
    stored_ = std::move(written);
    for (size_t r = 0; r < rows_.size(); ++r) {
        origin_[r] = outOfRow[r] >= 0 && newIndex[size_t(outOfRow[r])] >= 0 ? newIndex[size_t(outOfRow[r])]
                                                                              : kOrphanRow;
        if (origin_[r] >= 0)
            stored_[size_t(origin_[r])].site = rows_[r];
    }
    deleted_.clear();
    if (chosenHere)
        storedActiveOrigin_ = origin_[size_t(activeIndex_)];
    return {};
}
