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

// Fills `list` with the regular files and directories of one directory (links taken as what they
// lead to, when that is inside the site); false when it could not be read in full.
bool ListLocalDirectory(SiteModel &model, LocalWorkList &list, const std::string &path);
// Puts the list into the local tree; false when Stop ended it early.
bool AddListedEntries(SiteModel &model, LocalWorkList &list, SiteNode *parent, const std::string &label);
// Builds the local tree. A subdirectory the scan could not read in full, or did not enter (a loop,
// Stop), is marked notListed; entries it may not read (links leading outside the top directory,
// broken links, FIFOs, sockets, devices, names a listing cannot give back: see IsSafeEntryName)
// are logged and put on IgnoreLists::localSkipped. False when the top directory itself could not
// be read in full.
bool ScanLocalTree(SiteModel &model);
bool LoadLocalTree(SiteModel &model);

// "R&efresh" and "C&hange" below the local tree.
void RefreshLocalCommand(SiteModel &model);
void ChangeLocalCommand(SiteModel &model);

// The directories of a scanned local tree that the scan could not read in full or did not enter
// ("/dir/sub"), outermost first: their files can be neither sent nor trusted as the whole list.
std::vector<std::string> UnreadLocalDirectories(const SiteTree &localTree);
