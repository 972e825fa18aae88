#include "site/LocalScan.h"

#include "base/Text.h"
#include "site/TreeEntries.h"

#include <algorithm>
#include <cmath>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string WithoutTrailingSlash(std::string path)
{
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsEnterableDirectory(const std::string &path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), R_OK | X_OK) == 0;
}

std::string StatusCount(const std::string &label, size_t i, size_t count)
{
    return "Loading Local Directory - " + label + " - [" + std::to_string(i) + " of " + std::to_string(count) +
           " files]";
}

// To the second, whatever the file's age: the compare allows for the coarser times of listings.
TDateTime LocalModified(const struct stat &st)
{
    return UnixToLocalDateTime(st.st_mtime);
}

} // namespace

std::string LocalPath(const std::string &topDirectory, const std::string &directory, const std::string &name)
{
    return WithoutTrailingSlash(topDirectory) + directory + "/" + name;
}

std::string LocalPath(const std::string &topDirectory, const TDetail &entry)
{
    return LocalPath(topDirectory, entry.directory, entry.name);
}

bool ChangeToLocalDirectory(SiteModel &model, const std::string &path)
{
    if (IsEnterableDirectory(path))
        return true;
    model.ShowStatus("Directory does not exist");
    std::string text = "The local directory \"" + path + "\" on your PC does not exist. " +
                       "Would you like Fernhop to create the directory now?";
    if (!model.view.Confirm(text))
        return false;
    return ::mkdir(path.c_str(), 0777) == 0 && IsEnterableDirectory(path);
}

bool ListLocalDirectory(SiteModel &model, LocalWorkList &list, const std::string &path)
{
    list.clear();
    DIR *dir = ::opendir(path.c_str());
    if (!dir) {
        model.ShowStatus("Could not change to local directory");
        return false;
    }
    const int fd = ::dirfd(dir);
    while (struct dirent *found = ::readdir(dir)) {
        const char *raw = found->d_name;
        if ((raw[0] == '.' && raw[1] == '\0') || (raw[0] == '.' && raw[1] == '.' && raw[2] == '\0'))
            continue;
        std::string name(raw);
        if (LowerAZ(name).find(".fhx") != std::string::npos)
            continue; // our own listing cache files
        struct stat st{};
        if (::fstatat(fd, raw, &st, 0) != 0)
            continue; // vanished meanwhile, or a broken symbolic link: nothing to transfer
        TDetail entry;
        entry.kind = S_ISDIR(st.st_mode) ? ekDirectory : ekFile;
        entry.directory = model.currentRelativeDirectory;
        entry.name = std::move(name);
        entry.size = entry.kind == ekDirectory ? 0 : int64_t(st.st_size);
        entry.modified = LocalModified(st);
        std::string key = (entry.kind == ekDirectory ? "D-" : "F-") + entry.name;
        list.emplace_back(std::move(key), std::move(entry));
    }
    ::closedir(dir);
    std::sort(list.begin(), list.end(), [](const auto &a, const auto &b) {
        int c = CompareNoCaseAZ(a.first, b.first);
        return c != 0 ? c < 0 : a.first < b.first; // names differing only in case both stay
    });
    return true;
}

void AddListedEntries(SiteModel &model, LocalWorkList &list, SiteNode *parent, const std::string &label)
{
    const size_t count = list.size();
    const size_t step = count > 999 ? 200 : 50;
    size_t i = 0;
    for (; i < count && !model.stopLoops; ++i) {
        const TDetail &entry = list[i].second;
        bool leftOut = model.options.refreshIgnore &&
                       IgnoreTest(model.ignore, entry.directory, entry.name, false, nullptr, nullptr, entry.kind);
        if (!leftOut)
            AddChildEntry(model, model.localTree, parent, entry);
        if (i % step == 0) {
            model.ShowStatus(StatusCount(label, i, count));
            model.Yield();
        }
    }
    list.clear();
    model.ShowStatus(StatusCount(label, i, count));
    model.Yield();
}

void ScanLocalTree(SiteModel &model)
{
    const std::string top = model.localTopDirectory;
    LocalWorkList list;
    // A symbolic link back up the tree must not make the scan endless.
    std::set<std::pair<dev_t, ino_t>> scanned;
    auto firstVisit = [&scanned](const std::string &path) {
        struct stat st{};
        return ::stat(path.c_str(), &st) == 0 && scanned.insert({st.st_dev, st.st_ino}).second;
    };

    model.currentRelativeDirectory.clear();
    model.stopLoops = false;
    firstVisit(top);
    ListLocalDirectory(model, list, top);
    AddListedEntries(model, list, nullptr, "top");

    SiteTree &tree = model.localTree;
    SiteNode *position = tree.First();
    while (position && !model.stopLoops) {
        while (position && !(position->detail.kind == ekDirectory && position->detail.visited == 0))
            position = tree.Next(position);
        if (!position)
            break;
        position->detail.visited = 1;
        const TDetail &dir = position->detail;
        model.currentRelativeDirectory = dir.directory + "/" + dir.name;
        const std::string path = LocalPath(top, dir);
        if (firstVisit(path) && ListLocalDirectory(model, list, path))
            AddListedEntries(model, list, position, model.currentRelativeDirectory);
    }
}

bool LoadLocalTree(SiteModel &model)
{
    if (model.localLoading || model.remoteListing)
        return true;
    const std::string &top = model.localTopDirectory;
    if (!ChangeToLocalDirectory(model, top)) {
        model.ShowStatus("Could not change to local directory: " + top);
        return false;
    }
    model.stopLoops = false;
    ClearTree(model, model.localTree);
    model.localLoading = true;
    model.view.SetEnabled(Control::stopBtn, true);
    ScanLocalTree(model);
    model.view.SetEnabled(Control::stopBtn, false);
    model.localLoading = false;
    model.ShowStatus("Local Directory Loaded");
    return true;
}

namespace {
void PrepareLocalLoad(SiteModel &model, const char *status)
{
    model.ShowStatus("");
    model.view.ShowProgressPanel(false);
    model.view.SetEnabled(Control::compareBtn, false);
    model.view.SetEnabled(Control::updateBtn, false);
    model.ShowStatus(status);
    model.Yield();
}

std::string LoadedStatus(SiteModel &model)
{
    return "Local Directory Loaded: " + std::to_string(model.localTree.Count());
}
} // namespace

void RefreshLocalCommand(SiteModel &model)
{
    model.AllButtonsOff();
    PrepareLocalLoad(model, "Refreshing Local Directory");
    if (LoadLocalTree(model))
        model.ShowStatus(LoadedStatus(model));
    model.MainButtonsOn();
}

void ChangeLocalCommand(SiteModel &model)
{
    if (model.localLoading || model.remoteListing)
        return;
    std::string chosen;
    if (!model.view.ChooseFolder(model.localTopDirectory, chosen))
        return;
    model.AllButtonsOff();
    if (model.Connected() && model.saveListingCache)
        model.saveListingCache();
    model.localTopDirectory = chosen;
    model.view.SetText(TextSlot::localDirLabel, chosen);
    model.Site().SetLocalDirectory(chosen);
    model.ShowStatus("Local Directory Path Updated");
    PrepareLocalLoad(model, "Loading Local Directory");
    if (LoadLocalTree(model) && !model.Site().Download()) {
        if (model.loadListingCache && model.loadListingCache())
            model.view.SetEnabled(Control::compareBtn, true);
        else
            model.ShowStatus(LoadedStatus(model));
    }
    model.MainButtonsOn();
}
