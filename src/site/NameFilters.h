#pragma once
// Case filters: how names are spelt when entries enter a tree, and so on the server.
#include "config/ExtensionTable.h"
#include "config/Options.h"

#include <string>

std::string ApplyCaseFilter(CaseFilter filter, const std::string &text);
std::string DirectoryFilter(const Options &options, const std::string &text);
std::string FileNameFilter(const Options &options, const ExtensionTable &table, const std::string &name);
std::string ExtensionCase(const ExtensionTable &table, const std::string &unfiltered, const std::string &filtered);
