#include "config/SettingsText.h"

std::string_view SkipByteOrderMark(std::string_view text)
{
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    if (text.substr(0, kMark.size()) == kMark)
        text.remove_prefix(kMark.size());
    return text;
}

std::string_view StripTrailingCRs(std::string_view line)
{
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

std::string_view StripLineEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

std::string_view TrimBlanks(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}
