#include "site/SavedOffset.h"

#include <cmath>

bool PlausibleClockOffset(double days)
{
    return std::isfinite(days) && std::fabs(days) <= kMaxPlausibleOffsetDays;
}

double SavedClockOffset(TDateTime pcTime, TDateTime serverTime, bool switchedOff)
{
    if (pcTime == 0 || serverTime == 0 || switchedOff)
        return 0;
    const double offset = pcTime - serverTime;
    return PlausibleClockOffset(offset) ? offset : 0;
}
