#include "site/NameFilters.h"

#include "base/Text.h"

std::string ApplyCaseFilter(CaseFilter filter, const std::string &text)
{
    switch (filter) {
    case CaseFilter::Upper: return UpperAZ(text);
    case CaseFilter::Lower: return LowerAZ(text);
    default: return text;
    }
}

std::string DirectoryFilter(const Options &options, const std::string &text)
{
    return ApplyCaseFilter(options.directoryFilter, text);
}

std::string FileNameFilter(const Options &options, const ExtensionTable &table, const std::string &name)
{
    return ExtensionCase(table, name, ApplyCaseFilter(options.fileFilter, name));
}

std::string ExtensionCase(const ExtensionTable &table, const std::string &unfiltered, const std::string &filtered)
{
    const ExtensionRow *row = table.Match(unfiltered);
    if (!row)
        return filtered;
    size_t n = row->extension.size();
    if (n > filtered.size() || n > unfiltered.size())
        return filtered;
    std::string tail = unfiltered.substr(unfiltered.size() - n);
    std::string head = filtered.substr(0, filtered.size() - n);
    if (row->extCase == "1")
        return head + UpperAZ(tail);
    if (row->extCase == "2")
        return head + LowerAZ(tail);
    return filtered;
}
