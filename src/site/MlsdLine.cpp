#include "site/MlsdLine.h"

namespace {

inline char LowerAZ(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAZ(a[i]) != LowerAZ(b[i]))
            return false;
    return true;
}

bool StartsNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool Digits(std::string_view text, int64_t &value)
{
    if (text.empty() || text.size() > 18)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

int Number(std::string_view text, size_t at, size_t length)
{
    int value = 0;
    for (size_t i = at; i < at + length; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

} // namespace

std::optional<TDateTime> ParseFactTime(std::string_view text)
{
    if (text.size() < 14)
        return std::nullopt;
    for (size_t i = 0; i < 14; ++i)
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    if (text.size() > 14) {
        // Only a fraction of a second may follow.
        int64_t ignored = 0;
        if (text[14] != '.' || !Digits(text.substr(15), ignored))
            return std::nullopt;
    }
    TDateTime date = 0, time = 0;
    if (!TryEncodeDate(Number(text, 0, 4), Number(text, 4, 2), Number(text, 6, 2), date) ||
        !TryEncodeTime(Number(text, 8, 2), Number(text, 10, 2), Number(text, 12, 2), 0, time))
        return std::nullopt;
    return date + time;
}

MlsdLine ReadMlsdLine(std::string_view line, MlsdEntry &entry)
{
    entry = MlsdEntry{};
    if (line.find_first_not_of(' ') == std::string_view::npos)
        return MlsdLine::skipped;
    // The facts end at the first space; the name is everything after it, spaces and all.
    const size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return MlsdLine::badFacts;
    std::string_view facts = line.substr(0, space);
    entry.name = line.substr(space + 1);
    while (!facts.empty()) {
        const size_t end = facts.find(';');
        const std::string_view fact = facts.substr(0, end);
        facts = end == std::string_view::npos ? std::string_view() : facts.substr(end + 1);
        if (fact.empty())
            continue;
        const size_t equals = fact.find('=');
        if (equals == std::string_view::npos)
            return MlsdLine::badFacts;
        const std::string_view name = fact.substr(0, equals);
        const std::string_view value = fact.substr(equals + 1);
        if (EqualsNoCase(name, "type")) {
            if (EqualsNoCase(value, "cdir") || EqualsNoCase(value, "pdir"))
                return MlsdLine::skipped;
            // "dir", or a directory as some servers name it with their own type ("OS.unix=dir").
            entry.kind = EqualsNoCase(value, "dir") ? ekDirectory : ekFile;
            if (StartsNoCase(value, "OS.") && value.size() >= 4 && EqualsNoCase(value.substr(value.size() - 4), "=dir"))
                entry.kind = ekDirectory;
        } else if (EqualsNoCase(name, "size")) {
            if (!Digits(value, entry.size))
                return MlsdLine::badFacts;
        } else if (EqualsNoCase(name, "modify")) {
            entry.modifiedUtc = ParseFactTime(value);
            if (!entry.modifiedUtc)
                return MlsdLine::badFacts;
        }
    }
    return MlsdLine::entry;
}
