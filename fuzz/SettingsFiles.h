#pragma once
// The settings directory of the settings and site-list targets, and a plain reading of a
// settings file to hold the program's reading against.
#include "FuzzSupport.h"

#include "base/Text.h"
#include "config/SettingsDir.h"

#include <cstdlib>
#include <dirent.h>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// Points FERNHOP_HOME at an empty directory of our own (once) and returns it.
inline const std::string &SettingsHome()
{
    static const std::string home = [] {
        const std::string dir = ScratchDirectory() + "/settings";
        setenv("FERNHOP_HOME", dir.c_str(), 1);
        if (!EnsureSettingsDirectory())
            Fail("cannot make " + dir);
        return dir;
    }();
    return home;
}

// Removes every file of the settings directory, so each input starts from nothing.
inline void ClearSettingsHome()
{
    DIR *dir = opendir(SettingsHome().c_str());
    if (!dir)
        Fail("cannot read " + SettingsHome());
    while (const dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && unlink((SettingsHome() + "/" + name).c_str()) != 0)
            Fail("cannot remove " + name + " from " + SettingsHome());
    }
    closedir(dir);
}

// Splits the input into parts at the record separator byte 0x1E.
inline std::vector<std::string_view> SplitParts(std::string_view text)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t end; (end = text.find('\x1e', start)) != std::string_view::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

// A settings file read the plain way: lines end at LF, every CR, space and tab at a line's ends
// is dropped (and blanks at their start), "[name]" starts a section, "key=value" is an entry, and of equal names (A-Z case
// folded) the first section and in it the first key count. Only a file whose every line is
// blank, a header or an entry is read; anything else gives nothing, so the reading is never in
// doubt.
class PlainSettings {
public:
    static std::optional<PlainSettings> Read(std::string_view text)
    {
        PlainSettings file;
        std::string section;
        bool inSection = false;
        while (!text.empty()) {
            const size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            line = Trim(line);
            if (line.find('\0') != std::string_view::npos || line.find('\r') != std::string_view::npos)
                return std::nullopt;
            if (line.empty())
                continue;
            if (line.front() == '[') {
                if (line.back() != ']' || line.find_first_of("=", 1) != std::string_view::npos ||
                    line.substr(1, line.size() - 2).find_first_of("[]") != std::string_view::npos)
                    return std::nullopt;
                section = UpperAZ(Trim(line.substr(1, line.size() - 2)));
                inSection = !file.sections_.count(section);
                if (inSection)
                    file.sections_[section];
                continue;
            }
            const size_t equals = line.find('=');
            if (equals == std::string_view::npos || Trim(line.substr(0, equals)).empty())
                return std::nullopt;
            if (!inSection)
                continue;
            auto &entries = file.sections_[section];
            entries.emplace(UpperAZ(Trim(line.substr(0, equals))), std::string(Trim(line.substr(equals + 1))));
        }
        return file;
    }

    const std::string *Value(std::string_view section, std::string_view key) const
    {
        const auto s = sections_.find(UpperAZ(section));
        if (s == sections_.end())
            return nullptr;
        const auto k = s->second.find(UpperAZ(key));
        return k == s->second.end() ? nullptr : &k->second;
    }

private:
    // Blanks at both ends; line-end CRs only at the end (a CR anywhere else refuses the file).
    static std::string_view Trim(std::string_view text)
    {
        const size_t last = text.find_last_not_of(" \t\r");
        if (last == std::string_view::npos)
            return {};
        text = text.substr(0, last + 1);
        return text.substr(text.find_first_not_of(" \t"));
    }

    std::map<std::string, std::map<std::string, std::string>> sections_;
};

} // namespace fuzz
