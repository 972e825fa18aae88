#include "config/ExtensionNormalise.h"

#include "base/Text.h"

#include <algorithm>

std::string ExtensionKey(const ExtensionRow &row)
{
    return row.transfer + row.extCase + row.extension;
}

ExtensionRow ExtensionRowFromKey(std::string_view key)
{
    ExtensionRow row;
    row.transfer = std::string(key.substr(0, 1));
    row.extCase = key.size() > 1 ? std::string(key.substr(1, 1)) : std::string();
    row.extension = key.size() > 2 ? std::string(key.substr(2)) : std::string();
    return row;
}

void NormaliseExtensionTable(ExtensionTable &table)
{
    std::vector<std::string> keys;
    keys.reserve(table.rows.size());
    for (const ExtensionRow &row : table.rows)
        if (!row.extension.empty())
            keys.push_back(ExtensionKey(row));

    // Stable, so of two keys equal but for letter case the earlier row stays.
    auto less = [](const std::string &a, const std::string &b) { return CompareNoCaseAZ(a, b) < 0; };
    auto same = [](const std::string &a, const std::string &b) { return EqualsNoCaseAZ(a, b); };
    std::stable_sort(keys.begin(), keys.end(), less);
    keys.erase(std::unique(keys.begin(), keys.end(), same), keys.end());

    // Rebuilt from the keys, so cells longer than one character come out as the key reads back.
    table.rows.clear();
    for (const std::string &key : keys)
        table.rows.push_back(ExtensionRowFromKey(key));
}

ExtensionTable ExtensionTableFromKeys(const std::vector<std::string> &keys)
{
    ExtensionTable table;
    for (const std::string &key : keys)
        table.rows.push_back(ExtensionRowFromKey(key));
    NormaliseExtensionTable(table);
    return table;
}
