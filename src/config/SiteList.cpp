#include "config/SiteList.h"

#include "base/Text.h"
#include "config/Cipher.h"
#include "config/ListSection.h"
#include "config/SettingsDir.h"

namespace {

constexpr const char *kSitesSection = "FTP sites";
constexpr const char *kActiveSection = "Active Site";
constexpr const char *kActiveKey = "number";

} // namespace

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
    currentRow_ = Count() - 1;
    siteChanged = true;
}

std::string SiteList::Add()
{
    TmultFTP fresh;
    fresh.MultiSite = true;
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
    if (currentRow_ < 0)
        return;
    rows_.erase(rows_.begin() + currentRow_);
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

std::vector<std::string> SiteList::Load()
{
    rows_.clear();
    currentRow_ = -1;
    std::vector<std::string> messages;

    const ProfileFile file(SettingsFilePath(kSiteListFile), ProfileFile::Access::Private);
    int active = file.ReadInteger(kActiveSection, kActiveKey, 1);

    std::vector<std::string> lines;
    ReadListSection(kSiteListFile, kSitesSection, lines);
    for (size_t i = 0; i < lines.size(); ++i) {
        ParsedSiteLine parsed = ParseSiteLine(DecipherText(lines[i]));
        if (!parsed.portValid)
            messages.push_back("Error loading FTP setting on site: [" + std::to_string(i) + " - " +
                               parsed.site.NickName + " - " + parsed.site.Server +
                               "] -- site skipped.");
        AppendRow(std::move(parsed.site));
    }

    if (active < 0 || active >= Count())
        active = 0;
    activeIndex_ = active;
    ChooseRow(active);
    return messages;
}

std::string SiteList::Save(const std::function<void(const std::string &)> &debugLog) const
{
    const std::string path = SettingsFilePath(kSiteListFile);
    // A site line the cipher cannot hold whole is never cut: the previous file stays instead.
    for (const TmultFTP &site : rows_)
        if (SiteLine(site).size() > kMaxSiteLineBytes)
            return UnableToWriteText(path) + ": the site \"" + site.NickName + "\" is longer than " +
                   std::to_string(kMaxSiteLineBytes) + " characters.";
    if (!EnsureSettingsDirectory())
        return UnableToWriteText(path);

    ProfileFile file(path, ProfileFile::Access::Private);
    file.InjectSaveFaultForTesting(saveFault_);
    file.EraseSection(kSitesSection);
    file.WriteInteger(kActiveSection, kActiveKey, activeIndex_);

    auto trace = [&debugLog](const std::string &line) {
        if (debugLog)
            debugLog(line);
    };
    trace("DEBUG: staring .INI save for .FTP");
    trace("DEBUG: numer of sites: " + std::to_string(Count()));
    for (int i = 0; i < Count(); ++i) {
        const TmultFTP &site = rows_[size_t(i)];
        trace("DEBUG: writing .FTP: " + MaskedSiteLine(site));
        file.WriteString(kSitesSection, EncipherText(SiteLine(site)), std::to_string(i));
    }
    trace("DEBUG: closing .FTP, clearing listViewObjects");
    return file.Save() ? std::string() : file.ErrorText();
}
