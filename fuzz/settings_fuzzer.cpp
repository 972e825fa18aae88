// The settings files. The input holds up to five files separated by the byte 0x1E: FERNHOP.INI,
// FERNHOP.IGN, FERNHOP.EXT, FERNHOP.FST and FERNHOP.CAS (a missing part is a missing file).
// They are loaded, saved and loaded again, which must give the same values; and a switch of the
// "Options" section that a plain reading of a well-formed file finds set to 0 or 1, or a list
// whose section starts the file with an item, must load as the file says.
#include "SettingsFiles.h"

#include "config/OptionKeys.h"
#include "config/Settings.h"

#include <array>

namespace {

constexpr std::array<const char *, 5> kFiles{kMainSettingsFile, kIgnoreNamesFile, kIgnoreExtensionsFile,
                                             kIgnoreLeadFile, kConversionFile};
constexpr std::array<const char *, 3> kListSections{"ignore files", "ignore extensions", "ignore lead"};

struct Loaded {
    Options options;
    IgnoreLists ignore;
    ExtensionTable extensions;
    SettingsBaseline baseline;
    fuzz::NullView view;

    // With the baseline a save writes what changed since the load, as the program saves;
    // without it, every value.
    SettingsData Data(bool withBaseline = true) { return {options, ignore, extensions, withBaseline ? &baseline : nullptr}; }
    std::vector<std::string> Load()
    {
        LoadScreenSettings(options.screen);
        return LoadSettings(Data(), view);
    }
    const IgnoreList &List(size_t i) const
    {
        return i == 0 ? ignore.names : i == 1 ? ignore.extensions : ignore.lead;
    }
};

std::vector<std::pair<std::string, std::string>> AllValues(const Loaded &s)
{
    const Options &o = s.options;
    auto values = OptionTexts(o);
    values.emplace_back("proxy server", o.proxy.server);
    values.emplace_back("proxy port", std::to_string(o.proxy.port));
    values.emplace_back("proxy active", std::to_string(o.proxy.active));
    for (size_t i = 0; i < o.sound.file.size(); ++i) {
        values.emplace_back("sound " + std::to_string(i), o.sound.file[i]);
        values.emplace_back("sound on " + std::to_string(i), std::to_string(o.sound.on[i]));
    }
    const ScreenOptions &w = o.screen;
    for (auto [name, value] : {std::pair{"width", w.width}, {"height", w.height}, {"top", w.top},
                               {"left", w.left}, {"maximize", int(w.maximize)}, {"minimize", int(w.minimize)},
                               {"split", w.split}})
        values.emplace_back(std::string("screen ") + name, std::to_string(value));
    for (size_t i = 0; i < kListSections.size(); ++i) {
        const auto &items = s.List(i).Items();
        values.emplace_back(std::string(kListSections[i]) + " count", std::to_string(items.size()));
        for (size_t k = 0; k < items.size(); ++k)
            values.emplace_back(std::string(kListSections[i]) + " " + std::to_string(k), items[k]);
    }
    values.emplace_back("extension rows", std::to_string(s.extensions.rows.size()));
    for (const ExtensionRow &row : s.extensions.rows)
        values.emplace_back("extension", row.transfer + "|" + row.extCase + "|" + row.extension);
    return values;
}

// The keys of the "Options" section that hold a switch.
std::vector<std::string> SwitchKeys()
{
    struct Collect {
        std::vector<std::string> &keys;
        void operator()(const char *key, const bool &, bool) const { keys.push_back(key); }
        void operator()(const char *, const int &, int) const {}
        void operator()(const char *, const std::string &, const std::string &) const {}
    };
    std::vector<std::string> keys;
    const Options options;
    ForEachOption(options, options, Collect{keys});
    return keys;
}

void CheckAgainstPlainReading(std::string_view mainFile, const Options &options)
{
    const auto plain = fuzz::PlainSettings::Read(mainFile);
    if (!plain)
        return;
    static const std::vector<std::string> keys = SwitchKeys();
    const auto loaded = OptionTexts(options);
    for (const std::string &key : keys) {
        const std::string *value = plain->Value("Options", key);
        if (!value || (*value != "0" && *value != "1"))
            continue;
        for (const auto &[name, text] : loaded)
            if (name == key && text != *value)
                fuzz::Fail("the file sets " + key + "=" + *value + " but it loaded as " + text + ": " +
                           fuzz::Shown(mainFile, 400));
    }
}

// A list file whose first line is its section header and whose next line an item: the list
// must not load empty. Line ends may carry any number of CRs and blanks.
void CheckListNotLost(std::string_view file, const char *section, const IgnoreList &list)
{
    std::vector<std::string> lines;
    while (!file.empty() && lines.size() < 2) {
        const size_t end = file.find('\n');
        std::string_view line = file.substr(0, end);
        file.remove_prefix(end == std::string_view::npos ? file.size() : end + 1);
        const size_t last = line.find_last_not_of(" \t\r");
        lines.emplace_back(last == std::string_view::npos ? std::string_view() : line.substr(0, last + 1));
    }
    if (lines.size() < 2 || UpperAZ(lines[0]) != "[" + UpperAZ(section) + "]")
        return;
    const size_t equals = lines[1].find('=');
    if (equals == std::string::npos || equals == 0 || lines[1].find_first_of(std::string_view("\r\0", 2)) != std::string::npos ||
        lines[1][0] == '[' || lines[1][0] == ' ' || lines[1][0] == '\t')
        return;
    if (list.Count() == 0)
        fuzz::Fail(std::string("the list \"") + section + "\" loaded empty from " + fuzz::Shown(file, 400));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::EnsureApplication();
    fuzz::ClearSettingsHome();
    const std::vector<std::string_view> parts =
        fuzz::SplitParts(std::string_view(reinterpret_cast<const char *>(data), size));
    for (size_t i = 0; i < parts.size() && i < kFiles.size(); ++i)
        if (!fuzz::WriteFile(SettingsFilePath(kFiles[i]), parts[i]))
            fuzz::Fail(std::string("cannot write ") + kFiles[i]);

    Loaded first;
    // A file that is there but unusable is reported, and no save may write over it.
    const bool unusable = !first.Load().empty();
    CheckAgainstPlainReading(parts[0], first.options);
    for (size_t i = 1; i < parts.size() && i < 4; ++i)
        CheckListNotLost(parts[i], kListSections[i - 1], first.List(i - 1));

    for (bool withBaseline : {true, false}) {
        const std::string problem = SaveSettings(first.Data(withBaseline), first.view);
        if (!problem.empty()) {
            if (unusable)
                return 0;
            fuzz::Fail("settings that loaded could not be saved: " + problem);
        }
        Loaded again;
        again.Load();
        const auto before = AllValues(first), after = AllValues(again);
        const std::string how = withBaseline ? "a save of the changes" : "a save of every value";
        for (size_t i = 0; i < before.size() || i < after.size(); ++i) {
            if (i >= before.size() || i >= after.size())
                fuzz::Fail(how + " and a load changed the number of values");
            if (before[i] != after[i])
                fuzz::Fail(how + " and a load changed " + before[i].first + " from " + fuzz::Shown(before[i].second) +
                           " to " + after[i].first + " " + fuzz::Shown(after[i].second));
        }
    }
    return 0;
}
