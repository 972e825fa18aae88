#include "site/ListingCache.h"

#include "base/DateTime.h"
#include "base/Text.h"
#include "config/Cipher.h"
#include "site/ListingFields.h"
#include "site/Progress.h"
#include "site/TreeEntries.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

namespace {

constexpr const char *kLineEnd = "\r\n";
// No file system path is longer (PATH_MAX); deeper entries in a damaged or hostile file are left
// out, which also bounds what every node's directory text can cost.
constexpr size_t kMaxRelativeDirectory = 4096;

void AppendTwoDigits(std::string &out, int value)
{
    out += char('0' + value / 10 % 10);
    out += char('0' + value % 10);
}

// "dd/mm/yyyy hh:mm:ss": 19 characters.
void AppendCacheDate(std::string &out, TDateTime value)
{
    const DateParts d = DecodeDate(value);
    const TimeParts t = DecodeTime(value);
    AppendTwoDigits(out, d.day);
    out += '/';
    AppendTwoDigits(out, d.month);
    out += '/';
    AppendTwoDigits(out, d.year / 100);
    AppendTwoDigits(out, d.year % 100);
    out += ' ';
    AppendTwoDigits(out, t.hour);
    out += ':';
    AppendTwoDigits(out, t.minute);
    out += ':';
    AppendTwoDigits(out, t.second);
}

// The letter after a file's size: how finely its time is known.
char PrecisionLetter(TTimePrecision precision)
{
    switch (precision) {
    case tpSecond: return 's';
    case tpMinute: return 'm';
    case tpDay: return 'd';
    default: return '\0'; // a time from an older file is written back as that file had it
    }
}

// A line without the letter comes from an older version: midnight was a date (old files were
// listed with a year only, and cut to their date on the PC), any other time was cut to its minute.
TTimePrecision PrecisionOf(std::string_view letter, TDateTime modified)
{
    if (letter == "s")
        return tpSecond;
    if (letter == "m")
        return tpMinute;
    if (letter == "d")
        return tpDay;
    return modified == std::floor(modified) ? tpDay : tpMinuteCut;
}

// A tab or line break inside a name would not read back as the same entry.
bool WritableName(const std::string &name)
{
    return name.find_first_of("\t\r\n") == std::string::npos;
}

// The first node after `node` and its whole subtree, in tree order.
SiteNode *AfterSubtree(const SiteTree &tree, SiteNode *node)
{
    while (node) {
        if (SiteNode *next = tree.NextSibling(node))
            return next;
        node = node->Parent();
    }
    return nullptr;
}

class CacheWriter {
public:
    explicit CacheWriter(const std::string &path) : file_(std::fopen(path.c_str(), "wb"))
    {
        if (file_)
            std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    }
    ~CacheWriter()
    {
        if (file_)
            std::fclose(file_);
    }
    bool Opened() const { return file_ != nullptr; }
    bool Ok() const { return file_ && ok_; }
    void Write(const std::string &text)
    {
        if (Ok() && std::fwrite(text.data(), 1, text.size(), file_) != text.size())
            ok_ = false;
    }
    bool Close()
    {
        if (!file_)
            return false;
        ok_ = (std::fclose(file_) == 0) && ok_;
        file_ = nullptr;
        return ok_;
    }

private:
    std::FILE *file_;
    bool ok_ = true;
};

// The progress panel is hidden again on every way out of a save.
struct ProgressShown {
    SiteModel &model;
    explicit ProgressShown(SiteModel &m) : model(m) { ShowProgress(model); }
    ~ProgressShown() { HideProgress(model); }
};

bool ReadWholeFile(const std::string &path, std::string &text)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

// Splits the file into lines ended by LF (a CR before it is dropped).
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool Next(std::string_view &line)
    {
        if (pos_ >= text_.size())
            return false;
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos)
            end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos_ = end + 1;
        return true;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

// Reads the entry lines level by level. A line with fewer tabs than its level's depth ends that
// level (and maybe several at once) and belongs to a shallower one. The levels are kept on an
// explicit stack, so no file, however deeply nested, can exhaust the call stack.
class CacheReader {
public:
    CacheReader(SiteModel &model, LineReader &lines) : model_(model), lines_(lines) {}

    void ReadLevels()
    {
        levels_.push_back({nullptr, true, 0, 0});
        std::string_view line;
        while (lines_.Next(line)) {
            size_t tabs = 0;
            while (tabs < line.size() && line[tabs] == '\t')
                ++tabs;
            while (levels_.size() >= 2 && tabs < levels_.size())
                EndLevel();
            ReadLine(line);
        }
        while (!levels_.empty())
            EndLevel();
    }

private:
    struct Level {
        SiteNode *parent;   // where this level's entries go (nullptr: the top)
        bool keep;          // false below a directory that was left out
        int files;          // files read at this level
        size_t outerLength; // length of the relative directory outside this level
    };

    void ReadLine(std::string_view line)
    {
        TDetail entry;
        bool unsafe = false;
        const bool readable = ParseCacheLine(line, entry, &unsafe) &&
                              directory_.size() + 1 + entry.name.size() <= kMaxRelativeDirectory;
        if (unsafe && reportedNames_.insert(entry.name).second)
            model_.LogLine(UnsafeNameLogLine(entry.name));
        const size_t index = levels_.size() - 1;
        if (entry.kind == ekDirectory) {
            // An unreadable directory line still owns the lines below it: they are read past.
            SiteNode *node = nullptr;
            if (readable) {
                entry.size = 0;
                entry.directory = directory_;
                if (levels_[index].keep && !Ignored(entry))
                    node = AddChildEntry(model_, model_.remoteTree, levels_[index].parent, entry);
            }
            const size_t outer = directory_.size();
            if (readable)
                directory_ += "/" + entry.name;
            ShowCount(levels_[index].files);
            levels_.push_back({node, node != nullptr, 0, outer});
            return;
        }
        if (!readable)
            return;
        entry.directory = directory_;
        const int files = ++levels_[index].files;
        ShowCount(files);
        if (files % 50 == 0)
            model_.Yield();
        if (levels_[index].keep && !Ignored(entry))
            AddChildEntry(model_, model_.remoteTree, levels_[index].parent, entry);
    }

    void EndLevel()
    {
        model_.Yield();
        directory_.resize(levels_.back().outerLength);
        levels_.pop_back();
    }

    bool Ignored(const TDetail &entry) const
    {
        return model_.options.refreshIgnore &&
               IgnoreTest(model_.ignore, entry.directory, entry.name, false, nullptr, nullptr, entry.kind);
    }

    void ShowCount(int files)
    {
        model_.ShowStatus("Loading Cached FTP File List - " + directory_ + " - [" + std::to_string(files) +
                          " files]");
    }

    SiteModel &model_;
    LineReader &lines_;
    std::vector<Level> levels_;
    std::string directory_; // relative directory of the level being read
    std::set<std::string> reportedNames_;
};

// The cache describes one directory on one server as one user: a file made for another (an edited
// remote directory, a file copied from another site) must not stand for this one. Server names
// are compared without regard to case. A file without all four lines matches nothing.
bool HeaderMatches(LineReader &lines, const ListingCacheHeader &expected)
{
    std::string_view header[4];
    for (std::string_view &line : header)
        if (!lines.Next(line))
            return false;
    return EqualsNoCaseAZ(DecipherText(header[0]), expected.server) && DecipherText(header[1]) == expected.user &&
           DecipherText(header[3]) == expected.remoteDirectory;
}

bool ReadTwoDigits(std::string_view text, size_t at, int &value)
{
    return ReadNumber(text.substr(at, 2), value);
}

} // namespace

std::string ListingCachePath(const std::string &localTopDirectory, const std::string &cacheKey)
{
    std::string path = localTopDirectory;
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path + "/" + cacheKey + ".fhx";
}

void AppendCacheLine(std::string &out, int depth, const TDetail &entry)
{
    if (depth > 0)
        out.append(size_t(depth) + 1, '\t');
    out += entry.kind == ekDirectory ? 'D' : 'F';
    out += entry.name;
    out += '\t';
    AppendCacheDate(out, entry.modified);
    out += ' ';
    out += std::to_string(entry.size);
    if (entry.kind == ekDirectory)
        return;
    if (const char letter = PrecisionLetter(entry.precision)) {
        out += ' ';
        out += letter;
        if (entry.serverTimeUnknown)
            out += " u";
    }
}

std::string CacheLine(int depth, const TDetail &entry)
{
    std::string line;
    AppendCacheLine(line, depth, entry);
    return line;
}

bool ParseCacheLine(std::string_view line, TDetail &entry, bool *unsafeName)
{
    if (unsafeName)
        *unsafeName = false;
    size_t i = 0;
    while (i < line.size() && line[i] == '\t')
        ++i;
    if (i >= line.size())
        return false;
    entry.kind = line[i] == 'D' ? ekDirectory : ekFile;
    const std::string_view rest = line.substr(i + 1);
    const size_t tab = rest.find('\t');
    if (tab == std::string_view::npos)
        return false;
    const std::string_view name = rest.substr(0, tab);
    if (!IsSafeEntryName(name)) {
        if (unsafeName)
            *unsafeName = true;
        entry.name.assign(name);
        return false;
    }

    // Fixed positions after the tab: dd?mm?yyyy hh?mm?ss, a space, the size, and for a file
    // written by this version a space and its precision letter.
    std::string_view fields = rest.substr(tab + 1);
    while (!fields.empty() && (fields.back() == ' ' || fields.back() == '\r'))
        fields.remove_suffix(1);
    if (fields.size() < 21)
        return false;
    int day, month, year, hour, minute, second;
    int64_t size;
    std::string_view sizeText = fields.substr(20), letter, marks;
    if (const size_t space = sizeText.find(' '); space != std::string_view::npos) {
        letter = sizeText.substr(space + 1);
        sizeText = sizeText.substr(0, space);
    }
    if (const size_t space = letter.find(' '); space != std::string_view::npos) {
        marks = letter.substr(space + 1);
        letter = letter.substr(0, space);
    }
    if (!ReadTwoDigits(fields, 0, day) || !ReadTwoDigits(fields, 3, month) ||
        !ReadNumber(fields.substr(6, 4), year) || !ReadTwoDigits(fields, 11, hour) ||
        !ReadTwoDigits(fields, 14, minute) || !ReadTwoDigits(fields, 17, second) || !ReadNumber(sizeText, size))
        return false;
    TDateTime date, time;
    if (!TryEncodeDate(year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time))
        return false;
    entry.name.assign(name);
    entry.modified = date + time;
    entry.precision = PrecisionOf(letter, entry.modified);
    entry.serverTimeUnknown = entry.kind == ekFile && marks == "u";
    entry.size = size;
    return true;
}

namespace {

// Why the tree cannot stand for the server next time, "" when it can: a directory whose contents
// are not known, or an entry that does not sit under its own directory.
std::string NotCacheable(const SiteTree &tree)
{
    for (SiteNode *node = tree.First(); node; node = tree.Next(node)) {
        const TDetail &entry = node->detail;
        if (entry.notListed)
            return "the contents of " + entry.Path() + " are not known";
        const std::string parentPath = node->Parent() ? node->Parent()->detail.Path() : std::string();
        if (!EqualsNoCaseAZ(entry.directory, parentPath))
            return entry.Path() + " is not filed under its own directory";
    }
    return {};
}

} // namespace

void SaveListingCache(SiteModel &model, const std::string &cacheKey, const ListingCacheHeader &header)
{
    SiteTree &tree = model.remoteTree;
    if (model.Site().Download() || tree.Empty())
        return;
    if (const std::string why = NotCacheable(tree); !why.empty()) {
        // The last file no longer stands for the server either: the next connection lists it.
        std::remove(ListingCachePath(model.localTopDirectory, cacheKey).c_str());
        model.LogLine("FERNHOP: the remote tree is not saved as the cached file list (" + why +
                      "); the server is listed next time");
        return;
    }
    ProgressShown progress(model);
    model.ShowStatus("Saving Cached FTP File List");

    const std::string path = ListingCachePath(model.localTopDirectory, cacheKey);
    // Written beside the cache and renamed over it, so a failed save keeps the last good file.
    // The name still holds ".fhx", so the local scan never lists it.
    const std::string temporary = path + ".tmp";
    CacheWriter writer(temporary);
    bool saved = false;
    if (!model.localTopDirectory.empty() && writer.Opened()) {
        // The password line stays empty: the cache sits in the site's own folder, which users
        // publish and commit. Readers skip all four header lines.
        for (const std::string *text : {&header.server, &header.user})
            writer.Write(EncipherText(*text) + kLineEnd);
        writer.Write(kLineEnd);
        writer.Write(EncipherText(header.remoteDirectory) + kLineEnd);

        const int count = tree.Count();
        std::string line;
        int k = 0;
        for (SiteNode *node = tree.First(); node && writer.Ok(); ++k) {
            SetProgress(model, count >= 2 ? int(RoundHalfEven(double(k) / (count - 1) * 100)) : 100);
            if (k % 10 == 0)
                model.Yield();
            if (!WritableName(node->detail.name)) {
                node = AfterSubtree(tree, node);
                continue;
            }
            line.clear();
            AppendCacheLine(line, tree.Depth(node), node->detail);
            line += kLineEnd;
            writer.Write(line);
            node = tree.Next(node);
        }
        SetProgress(model, 100);
        saved = writer.Close() && std::rename(temporary.c_str(), path.c_str()) == 0;
    }
    if (!saved) {
        writer.Close();
        std::remove(temporary.c_str());
        model.ShowStatus("Could not save Fernhop index file to disc");
        model.PlayEventSound(SoundEvent::Error);
        return;
    }
    model.ShowStatus("Remote Index File Saved");
}

bool LoadListingCache(SiteModel &model, const std::string &cacheKey, const ListingCacheHeader &expected)
{
    if (model.Site().Download() || model.localTopDirectory.empty())
        return false;
    std::string text;
    if (!ReadWholeFile(ListingCachePath(model.localTopDirectory, cacheKey), text))
        return false;

    LineReader lines(text);
    if (!HeaderMatches(lines, expected)) {
        model.LogLine("FERNHOP: the cached file list was made for another server, user or remote directory; "
                      "the server is listed instead");
        return false;
    }
    ClearTree(model, model.remoteTree);
    CacheReader(model, lines).ReadLevels();
    model.ShowStatus("Cached FTP File List Loaded");
    return true;
}
