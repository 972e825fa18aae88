#pragma once
// The compare: pairs the entries of the master tree (the sending side) with those of the slave
// tree (the receiving side), marks what the transfer run must do, and counts deletions,
// directory creations and file transfers.
#include "site/SiteModel.h"

#include <string>

// Marks both trees and fills the counters; false when Stop ended it early. Callers that own a
// run state set currentOperation to opIdle before calling.
bool Compare(SiteModel &model, SiteTree &master, SiteTree &slave);

// "Compare Done - [d delete , c create, t transfer]" from the current totals.
std::string CompareSummary(const RunCounters &counters);
