#pragma once
// Case filters: how names are spelt when entries enter a tree, and so on the server.
#include "config/Options.h"

#include <string>
#include <vector>

// One row of the extension table below its header row; cells kept as the text the user typed.
struct ExtensionRow {
    std::string transfer = "1"; // "0" ASCII, anything else binary
    std::string extCase = "0";  // "0" no change, "1" upper case, "2" lower case
    std::string extension;      // for example ".html"
};

struct ExtensionTable {
    std::vector<ExtensionRow> rows;
    // The first row whose extension ends the lower-cased name, or nullptr.
    const ExtensionRow *Match(const std::string &name) const;
};

std::string ApplyCaseFilter(CaseFilter filter, const std::string &text);
std::string DirectoryFilter(const Options &options, const std::string &text);
std::string FileNameFilter(const Options &options, const ExtensionTable &table, const std::string &name);
std::string ExtensionCase(const ExtensionTable &table, const std::string &unfiltered, const std::string &filtered);
