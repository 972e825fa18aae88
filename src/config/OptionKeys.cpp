#include "config/OptionKeys.h"

#include "base/Text.h"

#include <charconv>

namespace {

bool ParseInt(const std::string &text, int &out)
{
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && !text.empty();
}

bool ParseSwitch(const std::string &text, bool &out)
{
    const std::string t = LowerAZ(text);
    if (t == "1" || t == "true" || t == "yes" || t == "on")
        return out = true, true;
    if (t == "0" || t == "false" || t == "no" || t == "off")
        return out = false, true;
    return false;
}

struct Setter {
    const std::string &key;
    const std::string &value;
    bool found = false;
    std::string error;

    void operator()(const char *name, bool &field, bool)
    {
        if (!EqualsNoCaseAZ(name, key))
            return;
        found = true;
        if (!ParseSwitch(value, field))
            error = std::string(name) + " takes 1 or 0";
    }
    void operator()(const char *name, int &field, int)
    {
        if (!EqualsNoCaseAZ(name, key))
            return;
        found = true;
        if (!ParseInt(value, field) || field < 0)
            error = std::string(name) + " takes a whole number of 0 or more";
    }
    void operator()(const char *name, std::string &field, const std::string &)
    {
        if (!EqualsNoCaseAZ(name, key))
            return;
        found = true;
        if (ContainsLineBreak(value))
            error = std::string(name) + " cannot hold a line break";
        else
            field = value;
    }
};

bool SetFilter(CaseFilter &filter, const std::string &value, std::string &error, const char *name)
{
    int index = -1;
    if (!ParseInt(value, index) || index < 0 || index > 2) {
        error = std::string(name) + " takes 0 (no change), 1 (UPPERCASE) or 2 (lowercase)";
        return false;
    }
    filter = CaseFilter(index);
    return true;
}

} // namespace

std::string SetOptionFromText(Options &options, const std::string &key, const std::string &value)
{
    std::string error;
    if (EqualsNoCaseAZ(key, "file")) {
        SetFilter(options.fileFilter, value, error, "file");
        return error;
    }
    if (EqualsNoCaseAZ(key, "directory")) {
        SetFilter(options.directoryFilter, value, error, "directory");
        return error;
    }
    Options candidate = options;
    const Options defaults;
    Setter setter{key, value, false, {}};
    ForEachOption(candidate, defaults, setter);
    if (!setter.found)
        return "Unknown setting: " + key;
    if (!setter.error.empty())
        return setter.error;
    options = candidate;
    return {};
}

std::vector<std::pair<std::string, std::string>> OptionTexts(const Options &options)
{
    std::vector<std::pair<std::string, std::string>> out;
    const Options defaults;
    struct Collector {
        std::vector<std::pair<std::string, std::string>> &out;
        void operator()(const char *name, bool field, bool) const { out.emplace_back(name, field ? "1" : "0"); }
        void operator()(const char *name, int field, int) const { out.emplace_back(name, std::to_string(field)); }
        void operator()(const char *name, const std::string &field, const std::string &) const
        {
            out.emplace_back(name, field);
        }
    };
    ForEachOption(options, defaults, Collector{out});
    out.emplace_back("file", std::to_string(int(options.fileFilter)));
    out.emplace_back("directory", std::to_string(int(options.directoryFilter)));
    return out;
}
