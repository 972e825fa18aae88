#pragma once
// Marks on entries: the compare's SetAction, the hand marks of the tree popup menus on whole
// subtrees, and the Compare button.
#include "site/SiteModel.h"

enum class Mark { Ignore, Delete, Transfer, Restore };

// The entry gets `action`, `compareAction` and compareIcon := `icon`, and the node shows the icon;
// on the master tree a changed file shows iconUpload (master localTree) or iconDownload (master
// remoteTree) instead, while compareIcon keeps iconNewer or iconSizeDiffers.
void SetAction(SiteTree &tree, SiteNode *node, TEntryAction action, TEntryAction compareAction, int32_t icon,
               const SiteTree *master);

// Marks the node and everything below it. Returns the count the popup commands add to the
// counters: +1 per entry marked (Delete: per entry not already marked so), and for Restore -1 per
// hand-made deletion undone, which Restore also takes off deleteTotal and deleteRemain.
// compareAction, compareIcon and visited stay, so Restore returns to what the compare gave.
int MarkSubtree(SiteModel &model, SiteTree &tree, SiteNode *node, Mark mark);

// Tree popup commands on the selected node (null when none is selected). Tag 1 is localTree,
// tag 2 remoteTree.
void Ignore1Click(SiteModel &model, int tag, SiteNode *selected);
void Restore1Click(SiteModel &model, int tag, SiteNode *selected);
void Delete2Click(SiteModel &model, SiteNode *selected);   // remote tree
void Upload1Click(SiteModel &model, SiteNode *selected);   // local tree
void Download1Click(SiteModel &model, SiteNode *selected); // remote tree

// "C&ompare": the current site's direction picks master and slave. False when stopped.
bool analyseButtonClick(SiteModel &model);
