#include "config/Settings.h"

#include "config/Cipher.h"
#include "config/ExtensionNormalise.h"
#include "config/ListSection.h"
#include "config/OptionKeys.h"
#include "config/ProfileFile.h"
#include "config/SettingsDir.h"

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

struct Writer {
    ProfileFile &file;
    const char *section;
    void operator()(const char *key, bool value, bool) const { file.WriteBool(section, key, value); }
    void operator()(const char *key, int value, int) const { file.WriteInteger(section, key, value); }
    void operator()(const char *key, const std::string &value, const std::string &) const
    {
        file.WriteString(section, key, value);
    }
};

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

void WriteScreen(ProfileFile &file, const ScreenOptions &screen)
{
    // A maximised or minimised window keeps the normal geometry stored before.
    if (screen.maximize) {
        file.WriteBool(kScreen, "maximize", true);
    } else if (screen.minimize) {
        file.WriteBool(kScreen, "minimize", true);
    } else {
        file.WriteBool(kScreen, "maximize", false);
        file.WriteBool(kScreen, "minimize", false);
        file.WriteInteger(kScreen, "width", screen.width);
        file.WriteInteger(kScreen, "height", screen.height);
        file.WriteInteger(kScreen, "top", screen.top);
        file.WriteInteger(kScreen, "left", screen.left);
    }
    file.WriteInteger(kScreen, "split", screen.split);
}

std::string WriteMainFile(const Options &options)
{
    const Options defaults;
    ProfileFile file(SettingsFilePath(kMainSettingsFile), ProfileFile::Access::Private);

    file.WriteString(kProxy, "server", EncipherText(options.proxy.server));
    file.WriteInteger(kProxy, "port", options.proxy.port);
    file.WriteBool(kProxy, "active", options.proxy.active);

    ForEachOption(options, defaults, Writer{file, kOptions});

    file.WriteInteger(kFilter, "file", int(options.fileFilter));
    file.WriteInteger(kFilter, "directory", int(options.directoryFilter));

    for (size_t i = 0; i < options.sound.file.size(); ++i)
        file.WriteString(kSound, SoundFileKey(i), options.sound.file[i]);
    for (size_t i = 0; i < options.sound.on.size(); ++i)
        file.WriteBool(kSound, SoundSwitchKey(i), options.sound.on[i]);

    WriteScreen(file, options.screen);
    return file.Save() ? std::string() : file.ErrorText();
}

// Each item is a key, its position the value. Equal items share one key, and an item the file
// cannot hold as a key (blank, or with a line break) is left out.
std::string WriteListFile(const char *fileName, const char *section,
                          const std::vector<std::string> &items)
{
    ProfileFile file(SettingsFilePath(fileName));
    file.EraseSection(section);
    for (size_t i = 0; i < items.size(); ++i)
        file.WriteString(section, items[i], std::to_string(i));
    return file.Save() ? std::string() : file.ErrorText();
}

std::string WriteConversionFile(const ExtensionTable &table)
{
    ProfileFile file(SettingsFilePath(kConversionFile));
    file.EraseSection(kConversion);
    // Rows count from 1 below the header row.
    for (size_t r = 0; r < table.rows.size(); ++r) {
        const std::string key = ExtensionKey(table.rows[r]);
        if (!key.empty())
            file.WriteString(kConversion, key, std::to_string(r + 1));
    }
    return file.Save() ? std::string() : file.ErrorText();
}

} // namespace

void LoadSettings(const SettingsData &data, MainView &view)
{
    ReadMainFile(data.options);
    PlayIfOn(data.options, view, SoundEvent::Start);

    std::vector<std::string> items;
    for (const ListFile &list : kListFiles) {
        ReadListSection(list.fileName, list.section, items);
        (data.ignore.*list.list).SetItems(items);
    }

    ReadListSection(kConversionFile, kConversion, items);
    data.extensions = ExtensionTableFromKeys(items);
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

    if (!EnsureSettingsDirectory())
        return UnableToWriteText(SettingsFilePath(kMainSettingsFile));

    std::string error = WriteMainFile(data.options);
    for (const ListFile &list : kListFiles) {
        if (!error.empty())
            return error;
        error = WriteListFile(list.fileName, list.section, (data.ignore.*list.list).Items());
    }
    if (!error.empty())
        return error;
    return WriteConversionFile(data.extensions);
}
