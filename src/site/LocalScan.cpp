#include "site/LocalScan.h"

#include "base/Text.h"
#include "site/ListingFields.h"
#include "site/TreeEntries.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

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

namespace {

struct DirectoryId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const DirectoryId &other) const { return device == other.device && inode == other.inode; }
};

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The listing cache files in the top directory: 8 hexadecimal digits and ".fhx", and the
// temporary file a save writes beside one. Any other name holding ".fhx" is the user's.
bool IsListingCacheName(const std::string &name)
{
    if (name.size() < 12)
        return false;
    for (size_t i = 0; i < 8; ++i)
        if (!IsHexDigit(name[i]))
            return false;
    const std::string rest = LowerAZ(std::string_view(name).substr(8));
    return rest == ".fhx" || rest == ".fhx.tmp";
}

// A download's temporary file (".name.fhpart"), left behind only when the program was killed:
// neither sent to the server nor taken for a file of the site.
bool IsDownloadTemporaryName(const std::string &name)
{
    return name.size() > 8 && name[0] == '.' && EndsWith(name, ".fhpart");
}

// Opens a directory for listing without following it into anything else; -1 with errno set.
int OpenDirectory(const std::string &path, DirectoryId &id)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    id = {st.st_dev, st.st_ino};
    return fd;
}

std::string ResolvedPath(const std::string &path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// What one directory listing needs to know of the whole scan.
struct ScanContext {
    std::string top;
    std::string resolvedTop; // links whose target resolves outside it lead outside the site
    bool followOutsideLinks = false;
};

bool InsideTop(const ScanContext &context, const std::string &resolved)
{
    const std::string &top = context.resolvedTop;
    if (top == "/")
        return true;
    return resolved == top || (resolved.size() > top.size() && StartsWith(resolved, top) && resolved[top.size()] == '/');
}

// An entry the scan leaves out for what it is: logged, and kept out of the compare on both sides,
// so its partner is neither replaced nor deleted.
void SkipEntry(SiteModel &model, const std::string &name, const std::string &why)
{
    const std::string path = model.currentRelativeDirectory + "/" + name;
    model.LogLine("FERNHOP: skipped " + QuotedForLog(path) + ": " + why);
    model.ignore.localSkipped.push_back(LowerAZ(path));
}

const char *SpecialFileKind(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a FIFO";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    return "not a regular file or directory";
}

// A link is taken as what it leads to, when that is inside the site (or the option allows the
// outside) and exists. `st` becomes the target's status.
bool FollowLink(SiteModel &model, const ScanContext &context, int fd, const std::string &path, const char *raw,
                struct stat &st)
{
    const std::string name(raw);
    if (::fstatat(fd, raw, &st, 0) != 0) {
        SkipEntry(model, name, "a link whose target cannot be reached");
        return false;
    }
    if (context.followOutsideLinks)
        return true;
    const std::string target = ResolvedPath(path + "/" + name);
    if (target.empty()) {
        SkipEntry(model, name, "a link whose target cannot be reached");
        return false;
    }
    if (!InsideTop(context, target)) {
        SkipEntry(model, name, "a link leading outside the local directory, to " + QuotedForLog(target));
        return false;
    }
    return true;
}

// Reads the open directory `fd` (at `path`) into `list`, and closes it. False when an entry or
// the rest of the directory could not be read: the listing is then incomplete.
bool ReadDirectory(SiteModel &model, const ScanContext &context, int fd, const std::string &path,
                   LocalWorkList &list)
{
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    const bool topLevel = model.currentRelativeDirectory.empty();
    bool complete = true;
    for (;;) {
        errno = 0;
        struct dirent *found = ::readdir(dir);
        if (!found) {
            complete = complete && errno == 0;
            break;
        }
        const char *raw = found->d_name;
        if ((raw[0] == '.' && raw[1] == '\0') || (raw[0] == '.' && raw[1] == '.' && raw[2] == '\0'))
            continue;
        std::string name(raw);
        if ((topLevel && IsListingCacheName(name)) || IsDownloadTemporaryName(name))
            continue; // our own cache and temporary files
        if (!IsSafeEntryName(name)) {
            // The listing parser drops such a name from the server's side too: sent, it would
            // never be seen there, and so be sent again on every run.
            SkipEntry(model, name, "its name holds a backslash or a line break, which no listing can give back");
            continue;
        }
        struct stat st{};
        if (::fstatat(fd, raw, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) // gone meanwhile is fine; unseen is not
                complete = false;
            continue;
        }
        if (S_ISLNK(st.st_mode) && !FollowLink(model, context, fd, path, raw, st))
            continue;
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) {
            // Reading one could block the program for good; nothing a web site holds.
            SkipEntry(model, name, SpecialFileKind(st.st_mode));
            continue;
        }
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
    return complete;
}

ScanContext MakeScanContext(const SiteModel &model)
{
    ScanContext context;
    context.top = model.localTopDirectory;
    context.resolvedTop = ResolvedPath(context.top);
    if (context.resolvedTop.empty())
        context.resolvedTop = WithoutTrailingSlash(context.top);
    context.followOutsideLinks = model.options.followOutsideLinks;
    return context;
}

} // namespace

bool ListLocalDirectory(SiteModel &model, LocalWorkList &list, const std::string &path)
{
    list.clear();
    DirectoryId id;
    const int fd = OpenDirectory(path, id);
    if (fd < 0) {
        model.ShowStatus("Could not change to local directory");
        return false;
    }
    return ReadDirectory(model, MakeScanContext(model), fd, path, list);
}

bool AddListedEntries(SiteModel &model, LocalWorkList &list, SiteNode *parent, const std::string &label)
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
    return i == count;
}

namespace {

// A directory the scan did not read in full: its partner on the server must not lose anything
// for lack of a local copy.
void MarkNotListed(SiteNode *node)
{
    node->detail.notListed = true;
}

// Depth first through the local tree as it grows. Each directory is read where it stands, so two
// links to one directory make two places in the site; only a directory that is its own ancestor
// (a loop) is not entered.
class LocalTreeScan {
public:
    explicit LocalTreeScan(SiteModel &model) : model_(model), context_(MakeScanContext(model)) {}

    bool Run()
    {
        model_.localScanStarted = UnixToLocalDateTime(std::time(nullptr));
        model_.currentRelativeDirectory.clear();
        model_.stopLoops = false;
        model_.ignore.localSkipped.clear();

        const int fd = OpenDirectory(context_.top, topId_);
        if (fd < 0) {
            model_.ShowStatus("Could not change to local directory");
            return false;
        }
        const bool topRead = ReadDirectory(model_, context_, fd, context_.top, list_);
        const bool topAdded = AddListedEntries(model_, list_, nullptr, "top");

        SiteTree &tree = model_.localTree;
        SiteNode *position = tree.First();
        while (position && !model_.stopLoops) {
            while (position && !(position->detail.kind == ekDirectory && position->detail.visited == 0))
                position = tree.Next(position);
            if (!position)
                break;
            ScanDirectory(position);
        }
        if (model_.stopLoops)
            MarkUnscanned();
        return topRead && topAdded;
    }

private:
    void ScanDirectory(SiteNode *node)
    {
        node->detail.visited = 1;
        const TDetail &dir = node->detail;
        model_.currentRelativeDirectory = dir.directory + "/" + dir.name;
        const std::string path = LocalPath(context_.top, dir);
        DirectoryId id;
        const int fd = OpenDirectory(path, id);
        if (fd < 0) {
            const int error = errno;
            model_.ShowStatus("Could not change to local directory");
            model_.LogLine("FERNHOP: could not read local directory " + QuotedForLog(model_.currentRelativeDirectory) +
                           ": " + std::strerror(error));
            MarkNotListed(node);
            return;
        }
        if (IsOwnAncestor(node, id)) {
            ::close(fd);
            model_.LogLine("FERNHOP: not entering local directory " + QuotedForLog(model_.currentRelativeDirectory) +
                           ": it leads back to a directory that holds it");
            MarkNotListed(node);
            return;
        }
        ids_[node] = id;
        if (!ReadDirectory(model_, context_, fd, path, list_)) {
            model_.LogLine("FERNHOP: could not read all of local directory " +
                           QuotedForLog(model_.currentRelativeDirectory));
            MarkNotListed(node);
        }
        if (!AddListedEntries(model_, list_, node, model_.currentRelativeDirectory))
            MarkNotListed(node); // stopped part-way
    }

    bool IsOwnAncestor(const SiteNode *node, const DirectoryId &id) const
    {
        if (id == topId_)
            return true;
        for (const SiteNode *p = node->Parent(); p; p = p->Parent()) {
            auto it = ids_.find(p);
            if (it != ids_.end() && it->second == id)
                return true;
        }
        return false;
    }

    // After Stop: the directories never read are incomplete as far as the compare can tell.
    void MarkUnscanned()
    {
        SiteTree &tree = model_.localTree;
        for (SiteNode *node = tree.First(); node; node = tree.Next(node))
            if (node->detail.kind == ekDirectory && node->detail.visited == 0)
                MarkNotListed(node);
    }

    SiteModel &model_;
    const ScanContext context_;
    DirectoryId topId_;
    std::unordered_map<const SiteNode *, DirectoryId> ids_;
    LocalWorkList list_;
};

} // namespace

bool ScanLocalTree(SiteModel &model)
{
    return LocalTreeScan(model).Run();
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
    const bool topRead = ScanLocalTree(model);
    model.view.SetEnabled(Control::stopBtn, false);
    model.localLoading = false;
    if (!topRead && !model.stopLoops) {
        // A top directory known only in part would make the compare delete what it missed.
        model.ShowStatus("Could not read local directory: " + top);
        return false;
    }
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

std::vector<std::string> UnreadLocalDirectories(const SiteTree &localTree)
{
    std::vector<std::string> unread;
    for (SiteNode *node = localTree.First(); node; node = localTree.Next(node))
        if (node->detail.kind == ekDirectory && node->detail.notListed)
            unread.push_back(node->detail.Path());
    return unread;
}
