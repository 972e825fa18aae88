#include "site/Progress.h"

#include <string>

void ShowProgress(SiteModel &model)
{
    model.progressPosition = 0;
    model.view.SetProgressBar(0);
    model.view.SetText(TextSlot::progressPercent, "");
    model.view.ShowProgressPanel(true);
}

void HideProgress(SiteModel &model)
{
    model.view.ShowProgressPanel(false);
}

void SetProgress(SiteModel &model, int percent)
{
    if (percent == model.progressPosition || percent < 0 || percent > 100)
        return;
    model.progressPosition = percent;
    model.view.SetProgressBar(percent);
    model.view.SetText(TextSlot::progressPercent, std::to_string(percent) + "%");
}
