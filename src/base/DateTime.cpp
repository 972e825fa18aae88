#include "base/DateTime.h"

#include <cctype>
#include <cmath>

namespace {

constexpr double kMsecPerDay = 86400000.0;

const char *const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char *const kLongMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char *const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char *const kLongDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Days from 0001-01-01 to the given date (proleptic Gregorian), day 1 = 0001-01-01.
int64_t DaysFromCivil(int year, int month, int day)
{
    int64_t days = 0;
    int y = year - 1;
    days = int64_t(y) * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m)
        days += DaysInMonth(year, m);
    return days + day;
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

std::string Pad2(int v)
{
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

} // namespace

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

bool IsValidDate(int year, int month, int day)
{
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

bool TryEncodeDate(int year, int month, int day, TDateTime &out)
{
    if (!IsValidDate(year, month, day))
        return false;
    out = double(DaysFromCivil(year, month, day) - kEpochDays);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime &out)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return false;
    out = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / kMsecPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime v = 0;
    TryEncodeDate(year, month, day, v);
    return v;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec)
{
    TDateTime v = 0;
    TryEncodeTime(hour, minute, second, msec, v);
    return v;
}

DateParts DecodeDate(TDateTime value)
{
    int64_t days = int64_t(std::floor(value)) + kEpochDays; // 1 = 0001-01-01
    DateParts p;
    if (days < 1)
        return p;
    // Walk 400-, 100-, 4- and 1-year cycles.
    int64_t d = days - 1;
    int64_t y400 = d / 146097;
    d %= 146097;
    int64_t y100 = std::min<int64_t>(d / 36524, 3);
    d -= y100 * 36524;
    int64_t y4 = d / 1461;
    d %= 1461;
    int64_t y1 = std::min<int64_t>(d / 365, 3);
    d -= y1 * 365;
    p.year = int(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
    p.month = 1;
    while (d >= DaysInMonth(p.year, p.month)) {
        d -= DaysInMonth(p.year, p.month);
        ++p.month;
    }
    p.day = int(d + 1);
    return p;
}

TimeParts DecodeTime(TDateTime value)
{
    double frac = std::fabs(value - std::floor(value));
    int64_t ms = int64_t(std::llround(frac * kMsecPerDay));
    if (ms >= int64_t(kMsecPerDay))
        ms = int64_t(kMsecPerDay) - 1;
    TimeParts t;
    t.hour = int(ms / 3600000);
    t.minute = int(ms / 60000 % 60);
    t.second = int(ms / 1000 % 60);
    t.msec = int(ms % 1000);
    return t;
}

int DayOfWeek(TDateTime value)
{
    // 30 December 1899 was a Saturday.
    int64_t d = int64_t(std::floor(value));
    int r = int(((d % 7) + 7 + 6) % 7); // 0 = Sunday
    return r + 1;
}

TDateTime UnixToLocalDateTime(std::time_t seconds)
{
    std::tm tm{};
    localtime_r(&seconds, &tm);
    TDateTime date = EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return date + EncodeTime(tm.tm_hour, tm.tm_min, std::min(tm.tm_sec, 59), 0);
}

std::time_t LocalDateTimeToUnix(TDateTime value)
{
    DateParts d = DecodeDate(value);
    TimeParts t = DecodeTime(value);
    std::tm tm{};
    tm.tm_year = d.year - 1900;
    tm.tm_mon = d.month - 1;
    tm.tm_mday = d.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

namespace {
// 1 January 1970 as a day count.
constexpr double kUnixEpochDays = 25569.0;
constexpr double kSecondsPerDay = 86400.0;
} // namespace

TDateTime UtcToLocalDateTime(TDateTime utc)
{
    return UnixToLocalDateTime(std::time_t(std::llround((utc - kUnixEpochDays) * kSecondsPerDay)));
}

TDateTime LocalToUtcDateTime(TDateTime local)
{
    return kUnixEpochDays + double(LocalDateTimeToUnix(local)) / kSecondsPerDay;
}

TDateTime Now()
{
    struct timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return UnixToLocalDateTime(ts.tv_sec) + (ts.tv_nsec / 1000000) / kMsecPerDay;
}

int CurrentYear()
{
    return DecodeDate(Now()).year;
}

TDateTime CutToMinute(TDateTime value)
{
    TimeParts t = DecodeTime(value);
    return std::floor(value) + EncodeTime(t.hour, t.minute);
}

std::string FormatDateTime(const std::string &pattern, TDateTime value)
{
    DateParts d = DecodeDate(value);
    TimeParts t = DecodeTime(value);
    std::string out;
    bool afterHour = false;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < pattern.size() && std::tolower((unsigned char)pattern[i + n]) == c)
            ++n;
        return n;
    };
    while (i < pattern.size()) {
        char c = char(std::tolower((unsigned char)pattern[i]));
        if (pattern[i] == '"' || pattern[i] == '\'') {
            char quote = pattern[i++];
            while (i < pattern.size() && pattern[i] != quote)
                out += pattern[i++];
            ++i;
            continue;
        }
        size_t n = (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 'n' || c == 's') ? run(c) : 0;
        switch (n ? c : '\0') {
        case 'd':
            if (n == 1) out += std::to_string(d.day);
            else if (n == 2) out += Pad2(d.day);
            else if (n == 3) out += kShortDays[DayOfWeek(value) - 1];
            else out += kLongDays[DayOfWeek(value) - 1];
            afterHour = false;
            break;
        case 'm':
            if (afterHour && n <= 2) {
                out += n == 1 ? std::to_string(t.minute) : Pad2(t.minute);
            } else if (n == 1) out += std::to_string(d.month);
            else if (n == 2) out += Pad2(d.month);
            else if (n == 3) out += kShortMonths[d.month - 1];
            else out += kLongMonths[d.month - 1];
            afterHour = false;
            break;
        case 'y':
            out += n <= 2 ? Pad2(d.year % 100) : std::to_string(d.year);
            afterHour = false;
            break;
        case 'h':
            out += n == 1 ? std::to_string(t.hour) : Pad2(t.hour);
            afterHour = true;
            break;
        case 'n':
            out += n == 1 ? std::to_string(t.minute) : Pad2(t.minute);
            afterHour = false;
            break;
        case 's':
            out += n == 1 ? std::to_string(t.second) : Pad2(t.second);
            afterHour = false;
            break;
        default:
            out += pattern[i];
            n = 1;
            break;
        }
        i += n;
    }
    return out;
}

int64_t RoundHalfEven(double value)
{
    return int64_t(std::nearbyint(value)); // the default rounding mode is to nearest, ties to even
}
