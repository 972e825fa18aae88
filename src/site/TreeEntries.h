#pragma once
// Putting entries into a site tree, and the tree-wide chores every Part uses.
#include "site/SiteModel.h"

// Appends a filtered copy of `entry` as the last child of `parent` (top level when null).
SiteNode *AddChildEntry(SiteModel &model, SiteTree &tree, SiteNode *parent, const TDetail &entry);

// Puts one entry at its sorted place by its path, or updates the childless node already there.
// Directories of the path the tree lacks are made, marked notListed, and `*parentsMade` says so.
SiteNode *AddEntryByPath(SiteModel &model, SiteTree &tree, const TDetail &entry, bool *parentsMade = nullptr);

void ClearTree(SiteModel &model, SiteTree &tree);
void ClearVisited(SiteTree &tree);
void KeepInView(SiteModel &model, SiteTree &tree, SiteNode *node, bool skip);

// The copy an insertion makes: work fields reset; in the remote tree of an upload site, names
// through the case filters.
TDetail FilteredCopy(const SiteModel &model, const SiteTree &tree, const TDetail &entry);
