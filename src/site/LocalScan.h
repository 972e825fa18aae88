#pragma once
// Building the local tree from disk, depth first, and the local Refresh and Change commands.
#include "site/SiteModel.h"

#include <string>
#include <utility>
#include <vector>

// One directory's entries, directories first, each group in case-insensitive name order.
using LocalWorkList = std::vector<std::pair<std::string, TDetail>>;

// Checks that `path` is a directory we can enter; offers to create a missing one.
bool ChangeToLocalDirectory(SiteModel &model, const std::string &path);

// Local file-system path of an entry under the local top directory.
std::string LocalPath(const std::string &topDirectory, const TDetail &entry);
std::string LocalPath(const std::string &topDirectory, const std::string &directory, const std::string &name);

// Fills `list` with the entries of one directory; false when it cannot be read.
bool ListLocalDirectory(SiteModel &model, LocalWorkList &list, const std::string &path);
void AddListedEntries(SiteModel &model, LocalWorkList &list, SiteNode *parent, const std::string &label);
void ScanLocalTree(SiteModel &model);
bool LoadLocalTree(SiteModel &model);

// "R&efresh" and "C&hange" below the local tree.
void RefreshLocalCommand(SiteModel &model);
void ChangeLocalCommand(SiteModel &model);
