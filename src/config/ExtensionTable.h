#pragma once
// The extension table: per-extension transfer type and case rule, edited in setup and stored in
// "FERNHOP.CAS".
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
