#pragma once
// The three ignore lists of the drop panel, and the test that keeps entries out of a compare.
#include "config/IgnoreListModel.h"
#include "site/Detail.h"

#include <string>
#include <vector>

class MainView;
class SiteTree;
struct SiteNode;

// True when the entry matches a list. With `mark` and a node, the entry is marked ignored.
bool IgnoreTest(const IgnoreLists &lists, const std::string &directory, const std::string &name, bool mark,
                SiteTree *tree, SiteNode *node, TEntryKind kind);

// Drop panel commands. The dragged entry is the source tree's selected node.
void DropOnNames(IgnoreLists &lists, const TDetail &entry);
void DropOnLead(IgnoreLists &lists, MainView &view, const TDetail &entry);
void DropOnExtensions(IgnoreLists &lists, MainView &view, const TDetail &entry);
void EditLeadItem(IgnoreLists &lists, MainView &view);
void DeleteSelectedIgnoreItems(IgnoreLists &lists);
