#include "site/ListingFields.h"

#include "base/Text.h"

#include <limits>

namespace {

constexpr std::string_view kEnglishMonths = "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";
// The French abbreviations as the OEM code page spells them: 0x82 is e-acute, 0x96 u-circumflex.
// Listings in another code page do not match them.
constexpr std::string_view kFrenchMonths = "JANF\x82VMARAVRMAIJUNJULAO\x96SEPOCTNOVD\x82""C";

inline char UpperByte(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

inline bool IsSpace(char c) { return c == ' '; }

// Index of the month (0..11) whose letters are a, b, c in `table`, or -1.
int FindMonth(std::string_view table, char a, char b, char c)
{
    for (int m = 0; m < 12; ++m) {
        const char *t = table.data() + 3 * m;
        if (t[0] == a && t[1] == b && t[2] == c)
            return m;
    }
    return -1;
}

// First position of " XXX " whose upper-cased letters are a month of `table`.
size_t FindMonthToken(std::string_view s, std::string_view table)
{
    if (s.size() < 5)
        return std::string_view::npos;
    const size_t last = s.size() - 5;
    for (size_t i = 0; i <= last; ++i) {
        // Most spaces are padding or stand before a number: reject those before the table look-up.
        if (s[i] != ' ' || s[i + 4] != ' ' || s[i + 1] == ' ' || (s[i + 1] >= '0' && s[i + 1] <= '9'))
            continue;
        if (FindMonth(table, UpperByte(s[i + 1]), UpperByte(s[i + 2]), UpperByte(s[i + 3])) >= 0)
            return i;
    }
    return std::string_view::npos;
}

size_t SkipSpaces(std::string_view s, size_t i)
{
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    return i;
}

size_t SkipField(std::string_view s, size_t i)
{
    while (i < s.size() && !IsSpace(s[i]))
        ++i;
    return i;
}

template <typename T> bool ReadDecimal(std::string_view text, T &value)
{
    value = 0;
    if (text.empty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const T digit = T(c - '0');
        if (value > (std::numeric_limits<T>::max() - digit) / 10)
            return false;
        value = T(value * 10 + digit);
    }
    return true;
}

} // namespace

std::string_view FieldFrom(std::string_view s, int n, bool rest)
{
    if (n < 1)
        return {};
    const size_t start = FieldPosition(s, n - 1);
    if (start >= s.size())
        return {};
    if (rest)
        return s.substr(start);
    return s.substr(start, SkipField(s, start) - start);
}

size_t FieldPosition(std::string_view s, int n)
{
    size_t i = SkipSpaces(s, 0);
    for (int k = 0; k < n && i < s.size(); ++k)
        i = SkipSpaces(s, SkipField(s, i));
    return i;
}

size_t FieldEnd(std::string_view s, int n)
{
    if (n < 1)
        return s.size();
    return SkipField(s, FieldPosition(s, n - 1));
}

std::string_view TextAfterField(std::string_view s, int n)
{
    const size_t end = FieldEnd(s, n);
    return end + 1 < s.size() ? s.substr(end + 1) : std::string_view();
}

size_t MonthPosition(std::string_view s)
{
    const size_t english = FindMonthToken(s, kEnglishMonths);
    return english != std::string_view::npos ? english : FindMonthToken(s, kFrenchMonths);
}

std::string_view TailFromSize(std::string_view s)
{
    const size_t month = MonthPosition(s);
    if (month == std::string_view::npos || month == 0)
        return {};
    // The start of the text counts as the space before a size that opens it.
    size_t i = month >= 2 ? month - 2 : 0;
    while (i > 0 && s[i] != ' ')
        --i;
    return s[i] == ' ' ? s.substr(i + 1) : s;
}

std::string Squeeze(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != ' ')
            out += c;
    return out;
}

int MonthNumber(std::string_view abbreviation)
{
    if (abbreviation.size() != 3)
        return 0;
    const char a = UpperByte(abbreviation[0]), b = UpperByte(abbreviation[1]), c = UpperByte(abbreviation[2]);
    int m = FindMonth(kEnglishMonths, a, b, c);
    if (m < 0)
        m = FindMonth(kFrenchMonths, a, b, c);
    return m + 1;
}

std::string_view EnglishMonth(int month)
{
    return kEnglishMonths.substr(size_t(month - 1) * 3, 3);
}

bool ReadNumber(std::string_view text, int64_t &value)
{
    return ReadDecimal(text, value);
}

bool ReadNumber(std::string_view text, int &value)
{
    return ReadDecimal(text, value);
}

bool IsSafeEntryName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name)
        if (c == '/' || c == '\\' || c == '\0' || c == '\r' || c == '\n')
            return false;
    return true;
}

std::string UnsafeNameLogLine(std::string_view name)
{
    return "Skipped unsafe name from server: " + QuotedForLog(name);
}
