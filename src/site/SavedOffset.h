#pragma once
// The clock offset kept with a site: the PC time minus the server time of the last measurement,
// in days. A server time t is the PC time t + offset.
#include "base/DateTime.h"

// Time zones lie within 14 hours of UTC, so no two clocks that keep time differ by much more
// than a day; a larger difference comes from a misread date, not from the clocks.
inline constexpr double kMaxPlausibleOffsetDays = 25.0 / 24.0;

bool PlausibleClockOffset(double days);

// 0 unless both times are set, the option timeOffset ("Do not use the auto time offset feature")
// is off and the difference is plausible.
double SavedClockOffset(TDateTime pcTime, TDateTime serverTime, bool switchedOff);
