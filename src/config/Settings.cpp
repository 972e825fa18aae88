#include "config/Settings.h"

#include "config/Cipher.h"
#include "config/ExtensionNormalise.h"
#include "config/ListSection.h"
#include "config/OptionKeys.h"
#include "config/ProfileFile.h"
#include "config/SettingsCheck.h"
#include "config/SettingsDir.h"
#include "config/SettingsLock.h"
#include "config/SettingsText.h"
#include "base/Text.h"

#include <algorithm>
#include <array>

namespace {

constexpr const char *kProxy = "Proxy";
constexpr const char *kOptions = "Options";
constexpr const char *kFilter = "Filter";
constexpr const char *kSound = "Sound";
constexpr const char *kScreen = "Screen";
constexpr const char *kConversion = "conversion";

struct ListFile {
    const char *fileName;
    const char *section;
    IgnoreList IgnoreLists::*list;
};
constexpr std::array<ListFile, 3> kListFiles{{
    {kIgnoreNamesFile, "ignore files", &IgnoreLists::names},
    {kIgnoreExtensionsFile, "ignore extensions", &IgnoreLists::extensions},
    {kIgnoreLeadFile, "ignore lead", &IgnoreLists::lead},
}};

struct Reader {
    const ProfileFile &file;
    const char *section;
    void operator()(const char *key, bool &value, bool fallback) const
    {
        value = file.ReadBool(section, key, fallback);
    }
    void operator()(const char *key, int &value, int fallback) const
    {
        value = file.ReadInteger(section, key, fallback);
    }
    void operator()(const char *key, std::string &value, const std::string &fallback) const
    {
        value = file.ReadString(section, key, fallback);
    }
};

// One value of "FERNHOP.INI" in the form the file holds it.
struct MainEntry {
    const char *section;
    std::string key;
    std::string value;
};

struct Collector {
    std::vector<MainEntry> &entries;
    const char *section;
    void operator()(const char *key, bool value, bool) const { entries.push_back({section, key, value ? "1" : "0"}); }
    void operator()(const char *key, int value, int) const
    {
        entries.push_back({section, key, std::to_string(value)});
    }
    void operator()(const char *key, const std::string &value, const std::string &) const
    {
        entries.push_back({section, key, value});
    }
};

std::string EntryName(const char *section, const std::string &key)
{
    return UpperAZ(section) + "\n" + UpperAZ(key);
}

// A radio group's index; one the group does not have selects nothing, which acts as no change.
CaseFilter ToCaseFilter(int index)
{
    return index >= 0 && index <= 2 ? CaseFilter(index) : CaseFilter::NoChange;
}

std::string SoundFileKey(size_t i) { return std::to_string(i + 1); }
std::string SoundSwitchKey(size_t i) { return std::to_string(i + 1) + "c"; }

void PlayIfOn(const Options &options, MainView &view, SoundEvent event)
{
    const size_t i = size_t(int(event) - 1);
    if (options.sound.on[i])
        view.PlaySound(event, options.sound.file[i]);
}

void ReadMainFile(Options &options)
{
    const Options defaults;
    const ProfileFile file(SettingsFilePath(kMainSettingsFile), ProfileFile::Access::Private);

    options.proxy.server = DecipherText(file.ReadString(kProxy, "server", ""));
    options.proxy.port = file.ReadInteger(kProxy, "port", defaults.proxy.port);
    options.proxy.active = file.ReadBool(kProxy, "active", defaults.proxy.active);

    ForEachOption(options, defaults, Reader{file, kOptions});

    options.fileFilter = ToCaseFilter(file.ReadInteger(kFilter, "file", 0));
    options.directoryFilter = ToCaseFilter(file.ReadInteger(kFilter, "directory", 0));

    for (size_t i = 0; i < options.sound.file.size(); ++i)
        options.sound.file[i] = file.ReadString(kSound, SoundFileKey(i), "");
    for (size_t i = 0; i < options.sound.on.size(); ++i)
        options.sound.on[i] = file.ReadBool(kSound, SoundSwitchKey(i), false);
}

void CollectScreen(std::vector<MainEntry> &entries, const ScreenOptions &screen)
{
    auto add = [&entries](const char *key, int value) { entries.push_back({kScreen, key, std::to_string(value)}); };
    // A maximised or minimised window keeps the normal geometry stored before.
    if (screen.maximize) {
        add("maximize", 1);
    } else if (screen.minimize) {
        add("minimize", 1);
    } else {
        add("maximize", 0);
        add("minimize", 0);
        add("width", screen.width);
        add("height", screen.height);
        add("top", screen.top);
        add("left", screen.left);
    }
    add("split", screen.split);
}

// Every value "FERNHOP.INI" stores, in the order the file keeps them.
std::vector<MainEntry> MainEntries(const Options &options)
{
    const Options defaults;
    std::vector<MainEntry> entries;
    entries.push_back({kProxy, "server", EncipherText(options.proxy.server)});
    entries.push_back({kProxy, "port", std::to_string(options.proxy.port)});
    entries.push_back({kProxy, "active", options.proxy.active ? "1" : "0"});

    ForEachOption(options, defaults, Collector{entries, kOptions});

    entries.push_back({kFilter, "file", std::to_string(int(options.fileFilter))});
    entries.push_back({kFilter, "directory", std::to_string(int(options.directoryFilter))});

    for (size_t i = 0; i < options.sound.file.size(); ++i)
        entries.push_back({kSound, SoundFileKey(i), options.sound.file[i]});
    for (size_t i = 0; i < options.sound.on.size(); ++i)
        entries.push_back({kSound, SoundSwitchKey(i), options.sound.on[i] ? "1" : "0"});

    CollectScreen(entries, options.screen);
    return entries;
}

// The file's problem when it is there but unusable, or "" when it may be written.
std::string Unwritable(const std::string &path, const char *fileName)
{
    return SettingsFileProblemAt(path, fileName);
}

std::string WriteMainFile(const Options &options, const SettingsBaseline *baseline)
{
    const std::string path = SettingsFilePath(kMainSettingsFile);
    if (std::string problem = Unwritable(path, kMainSettingsFile); !problem.empty())
        return problem;
    ProfileFile file(path, ProfileFile::Access::Private);
    const bool merge = baseline && baseline->loaded;
    for (const MainEntry &entry : MainEntries(options)) {
        if (merge) {
            // Not changed here: whatever the file holds now stays, and a key it lacks (a file cut
            // short, an older version's) is not filled in with a default nobody chose.
            const auto loaded = baseline->mainValues.find(EntryName(entry.section, entry.key));
            if (loaded != baseline->mainValues.end() && loaded->second == entry.value)
                continue;
        }
        file.WriteString(entry.section, entry.key, entry.value);
    }
    if (merge && !file.IsModified())
        return {};
    return file.Save() ? std::string() : file.ErrorText();
}

// Why a list file cannot hold an item as a key of its own, or "".
std::string UnstorableItemReason(const std::string &item)
{
    if (TrimBlanks(item.substr(0, item.find('='))).empty())
        return "it is empty";
    if (item.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        return "it holds a line break or NUL character";
    return {};
}

// The item with line breaks and NULs shown, for a message.
std::string Visible(const std::string &item)
{
    std::string shown;
    for (char c : item) {
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else if (c == '\0')
            shown += "\\0";
        else
            shown += c;
    }
    return shown;
}

// Each item is a key of its own line, its position the value; equal items get a line each. An
// item the file cannot hold as a key is left out and named. A list that did not change since
// the load leaves the file as it is now.
std::string WriteListFile(const char *fileName, const char *section, const std::vector<std::string> &items,
                          const std::vector<std::string> *loaded, MainView &view)
{
    if (loaded && *loaded == items)
        return {};
    const std::string path = SettingsFilePath(fileName);
    if (std::string problem = Unwritable(path, fileName); !problem.empty())
        return problem;
    ProfileFile file(path);
    file.EraseSection(section);
    for (size_t i = 0; i < items.size(); ++i) {
        const std::string reason = UnstorableItemReason(items[i]);
        if (reason.empty())
            file.AppendEntry(section, items[i], std::to_string(i));
        else
            view.Message("The ignore list item \"" + Visible(items[i]) + "\" cannot be stored in " + fileName +
                         " because " + reason + "; it was left out.");
    }
    return file.Save() ? std::string() : file.ErrorText();
}

std::vector<std::string> ConversionKeys(const ExtensionTable &table)
{
    std::vector<std::string> keys;
    for (const ExtensionRow &row : table.rows)
        keys.push_back(ExtensionKey(row));
    return keys;
}

// Each row a key of its own line, numbered from 1 below the header row. A row the file cannot
// hold as a key is left out and named.
std::string WriteConversionFile(const ExtensionTable &table, const SettingsBaseline *baseline, MainView &view)
{
    const std::vector<std::string> keys = ConversionKeys(table);
    if (baseline && baseline->loaded && baseline->conversionKeys == keys)
        return {};
    const std::string path = SettingsFilePath(kConversionFile);
    if (std::string problem = Unwritable(path, kConversionFile); !problem.empty())
        return problem;
    ProfileFile file(path);
    file.EraseSection(kConversion);
    for (size_t r = 0; r < keys.size(); ++r) {
        if (keys[r].empty())
            continue;
        const std::string reason = UnstorableItemReason(keys[r]);
        if (reason.empty())
            file.AppendEntry(kConversion, keys[r], std::to_string(r + 1));
        else
            view.Message("The extension row \"" + Visible(keys[r]) + "\" cannot be stored in " +
                         std::string(kConversionFile) + " because " + reason + "; it was left out.");
    }
    return file.Save() ? std::string() : file.ErrorText();
}

// The items of one list file as they may be used: empty items and items with a CR or NUL are
// skipped, repeated ones kept; each with a log line, so that nothing changes without a word.
std::vector<std::string> UsableListItems(const char *fileName, std::vector<std::string> items, MainView &view)
{
    std::vector<std::string> usable;
    std::vector<std::string> folded;
    for (std::string &item : items) {
        const std::string reason = UnstorableItemReason(item);
        if (!reason.empty()) {
            view.AppendLogLine(std::string(fileName) + ": the ignore list item \"" + Visible(item) + "\" was skipped: " +
                               reason + (reason == "it is empty" ? " and would ignore every file" : "") + ".");
            continue;
        }
        std::string key = UpperAZ(TrimBlanks(item));
        if (std::find(folded.begin(), folded.end(), key) != folded.end())
            view.AppendLogLine(std::string(fileName) + ": the ignore list item \"" + item +
                               "\" repeats an earlier one; both are kept.");
        folded.push_back(std::move(key));
        usable.push_back(std::move(item));
    }
    return usable;
}

// The extension rows of the conversion file that can be stored again: a key with a CR or NUL is
// skipped with a log line.
std::vector<std::string> UsableConversionKeys(std::vector<std::string> keys, MainView &view)
{
    std::vector<std::string> usable;
    for (std::string &key : keys) {
        if (key.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            view.AppendLogLine(std::string(kConversionFile) + ": the extension row \"" + Visible(key) +
                               "\" was skipped: it holds a line break or NUL character.");
            continue;
        }
        usable.push_back(std::move(key));
    }
    return usable;
}

} // namespace

std::vector<std::string> LoadSettings(const SettingsData &data, MainView &view)
{
    const SettingsLock lock(SettingsLock::Mode::Shared);
    std::vector<std::string> problems;
    auto usable = [&problems, &view](const char *fileName) {
        std::string problem = SettingsFileProblem(fileName);
        if (problem.empty())
            return true;
        view.Message(problem);
        problems.push_back(std::move(problem));
        return false;
    };

    if (usable(kMainSettingsFile)) {
        ReadMainFile(data.options);
    } else {
        const ScreenOptions screen = data.options.screen;
        data.options = Options();
        data.options.screen = screen;
    }
    LoadScreenSettings(data.options.screen);
    PlayIfOn(data.options, view, SoundEvent::Start);

    std::vector<std::string> items;
    for (const ListFile &list : kListFiles) {
        items.clear();
        if (usable(list.fileName))
            ReadListSection(list.fileName, list.section, items);
        (data.ignore.*list.list).SetItems(UsableListItems(list.fileName, items, view));
    }

    items.clear();
    if (usable(kConversionFile))
        ReadListSection(kConversionFile, kConversion, items);
    data.extensions = ExtensionTableFromKeys(UsableConversionKeys(std::move(items), view));

    if (SettingsBaseline *baseline = data.baseline) {
        *baseline = SettingsBaseline();
        baseline->loaded = true;
        for (const MainEntry &entry : MainEntries(data.options))
            baseline->mainValues[EntryName(entry.section, entry.key)] = entry.value;
        for (size_t i = 0; i < kListFiles.size(); ++i)
            baseline->lists[i] = (data.ignore.*kListFiles[i].list).Items();
        baseline->conversionKeys = ConversionKeys(data.extensions);
    }
    return problems;
}

void LoadScreenSettings(ScreenOptions &screen)
{
    const ScreenOptions defaults;
    const ProfileFile file(SettingsFilePath(kMainSettingsFile), ProfileFile::Access::Private);
    screen.width = file.ReadInteger(kScreen, "width", defaults.width);
    screen.height = file.ReadInteger(kScreen, "height", defaults.height);
    screen.top = file.ReadInteger(kScreen, "top", defaults.top);
    screen.left = file.ReadInteger(kScreen, "left", defaults.left);
    screen.maximize = file.ReadBool(kScreen, "maximize", defaults.maximize);
    screen.minimize = file.ReadBool(kScreen, "minimize", defaults.minimize);
    screen.split = file.ReadInteger(kScreen, "split", defaults.split);
}

WindowStartState StartWindowState(const ScreenOptions &screen)
{
    if (screen.minimize)
        return WindowStartState::Minimized;
    if (screen.maximize)
        return WindowStartState::Maximized;
    return WindowStartState::Normal;
}

std::string SaveSettings(const SettingsData &data, MainView &view)
{
    PlayIfOn(data.options, view, SoundEvent::Exit);

    const SettingsLock lock(SettingsLock::Mode::Exclusive);
    if (!EnsureSettingsDirectory() || !lock.Held())
        return UnableToWriteText(SettingsFilePath(kMainSettingsFile));

    const SettingsBaseline *baseline = data.baseline && data.baseline->loaded ? data.baseline : nullptr;
    std::string error = WriteMainFile(data.options, baseline);
    for (size_t i = 0; i < kListFiles.size(); ++i) {
        if (!error.empty())
            return error;
        const ListFile &list = kListFiles[i];
        error = WriteListFile(list.fileName, list.section, (data.ignore.*list.list).Items(),
                              baseline ? &baseline->lists[i] : nullptr, view);
    }
    if (!error.empty())
        return error;
    error = WriteConversionFile(data.extensions, baseline, view);
    if (error.empty() && data.baseline && data.baseline->loaded) {
        // What is in the files now is what the next save compares with.
        for (const MainEntry &entry : MainEntries(data.options))
            data.baseline->mainValues[EntryName(entry.section, entry.key)] = entry.value;
        for (size_t i = 0; i < kListFiles.size(); ++i)
            data.baseline->lists[i] = (data.ignore.*kListFiles[i].list).Items();
        data.baseline->conversionKeys = ConversionKeys(data.extensions);
    }
    return error;
}
