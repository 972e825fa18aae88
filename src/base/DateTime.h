#pragma once
// TDateTime: days since 30 December 1899, the fraction the time of day, in PC local time.
#include <cstdint>
#include <ctime>
#include <string>

using TDateTime = double;

struct DateParts {
    int year = 1899, month = 12, day = 30;
};
struct TimeParts {
    int hour = 0, minute = 0, second = 0, msec = 0;
};

bool IsValidDate(int year, int month, int day);
int DaysInMonth(int year, int month);
bool IsLeapYear(int year);

// Both return false (and leave `out` alone) for an impossible date or time.
bool TryEncodeDate(int year, int month, int day, TDateTime &out);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime &out);
TDateTime EncodeDate(int year, int month, int day); // 0 when invalid
TDateTime EncodeTime(int hour, int minute, int second = 0, int msec = 0);

DateParts DecodeDate(TDateTime value);
TimeParts DecodeTime(TDateTime value);
int DayOfWeek(TDateTime value); // 1 = Sunday ... 7 = Saturday

// Conversions between Unix seconds and local calendar time.
TDateTime UnixToLocalDateTime(std::time_t seconds);
std::time_t LocalDateTimeToUnix(TDateTime value);
TDateTime Now();
// A UTC day count (as MDTM and MLSD give it) as the PC's local time, and back; both to the
// second, with the PC's own zone and summer time at that moment.
TDateTime UtcToLocalDateTime(TDateTime utc);
TDateTime LocalToUtcDateTime(TDateTime local);
int CurrentYear();

// The date part with the time cut to the minute (seconds and milliseconds dropped).
TDateTime CutToMinute(TDateTime value);

// Format with the classic patterns: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss,
// "m"/"mm" right after an hour means minutes, quoted text is copied, case of letters ignored.
// Used with "dd/mm/yyyy hh:mm:ss", "DD MMM YYYY   HH:MM:SS" and "dddd, dd mmm yyyy".
std::string FormatDateTime(const std::string &pattern, TDateTime value);

// Rounds half to even, as the original arithmetic did.
int64_t RoundHalfEven(double value);
