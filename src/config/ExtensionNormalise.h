#pragma once
// The extension table's one canonical form: rows with an extension, ordered by their stored key
// (transfer digit, case digit, extension) without regard to letter case, each key once. The table
// is brought into this form after every edit and after it is read from "FERNHOP.CAS".
#include "config/ExtensionTable.h"

#include <string>
#include <string_view>
#include <vector>

// The key a row is stored under: its three cells joined, for example "12htm".
std::string ExtensionKey(const ExtensionRow &row);

// A stored key split back into cells: the first character, the second, and the rest.
ExtensionRow ExtensionRowFromKey(std::string_view key);

// Drops rows without an extension, sorts by key ignoring letter case (A-Z) and keeps the first
// row of keys that differ only in letter case.
void NormaliseExtensionTable(ExtensionTable &table);

// The rows of the given stored keys, normalised.
ExtensionTable ExtensionTableFromKeys(const std::vector<std::string> &keys);
