#pragma once
// The progress panel beside the status line, shared by the compare, the listing cache and the
// transfer runs.
#include "site/SiteModel.h"

// Bar at 0 and panel visible, percent label empty. The view clears its extra status label when
// it shows the panel.
void ShowProgress(SiteModel &model);
void HideProgress(SiteModel &model);
// Moves the bar and shows "N%"; a value equal to the bar's position or outside 0..100 changes
// nothing, so callers may report every step cheaply.
void SetProgress(SiteModel &model, int percent);
