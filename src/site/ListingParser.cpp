#include "site/ListingParser.h"

#include "base/Text.h"
#include "site/ListingFields.h"
#include "site/TreeEntries.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::string_view kCheckFileName = "fernhop.chk";

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void AppendSqueezed(std::string &out, std::string_view text)
{
    for (char c : text)
        if (c != ' ')
            out += c;
}

// "MM-DD-YY " or "MM-DD-YYYY " at the start of the line: the MS-DOS listing form. Checked before
// the month search, so a DOS name holding a word like "jan" is not read as a UNIX line.
bool StartsWithDosDate(std::string_view line)
{
    if (line.size() < 9)
        return false;
    for (size_t i : {0, 1, 3, 4, 6, 7})
        if (!IsDigit(line[i]))
            return false;
    if (line[2] != '-' || line[5] != '-')
        return false;
    if (line[8] == ' ')
        return true;
    return line.size() > 10 && IsDigit(line[8]) && IsDigit(line[9]) && line[10] == ' ';
}

// A UNIX line: "D" or "F", the name without spaces, then the line itself.
void ConvertUnixLine(std::string &line)
{
    if (line[0] == 'C' || line[0] == 'c')
        line[0] = '-';
    const bool directory = line[0] == 'D' || line[0] == 'd';
    const std::string_view name = FieldFrom(TailFromSize(line), 5, true);

    std::string out;
    out.reserve(1 + name.size() + line.size());
    out += directory ? 'D' : 'F';
    AppendSqueezed(out, name);
    const std::string_view squeezed = std::string_view(out).substr(1);
    if (squeezed == "." || squeezed == "..") {
        line.clear();
        return;
    }
    out += line;
    line.swap(out);
}

// "12-24-96  03:15PM  <DIR>  Old Stuff" becomes
// "DOLDSTUFF x x x 0 DEC 24 1996 Old Stuff": the UNIX form the line parser reads.
void ConvertDosLine(std::string &line, int currentYear)
{
    const std::string_view text = line;
    const bool directory = text.find("<DIR>") != std::string_view::npos;
    const std::string_view name = text.substr(FieldPosition(text, 3));
    if (name.empty() || name == "." || name == "..") {
        line.clear();
        return;
    }

    int month = 0, year = 0;
    ReadNumber(text.substr(0, 2), month);
    const std::string_view dayText = text.substr(3, 2);
    const bool fourDigitYear = IsDigit(text[8]);
    ReadNumber(text.substr(6, fourDigitYear ? 4 : 2), year);
    if (!fourDigitYear)
        year += year < 70 ? 2000 : 1900; // two-digit years from 2000 on are 00-69
    if (month < 1 || month > 12) {
        line.clear();
        return;
    }

    const std::string_view timeText = text.substr(FieldPosition(text, 1));
    const std::string_view sizeText = directory ? std::string_view("0") : FieldFrom(text, 3);
    int hour = 0;
    if (!ReadNumber(timeText.substr(0, 2), hour))
        hour = 0;
    if (timeText.size() > 5 && timeText[5] == 'P') {
        if (hour < 12)
            hour += 12;
    } else if (hour == 12) {
        hour = 0;
    }

    std::string out;
    out.reserve(line.size() + name.size() + 32);
    out += directory ? 'D' : 'F';
    const size_t keyStart = out.size();
    AppendSqueezed(out, name);
    for (size_t i = keyStart; i < out.size(); ++i)
        if (out[i] >= 'a' && out[i] <= 'z')
            out[i] = char(out[i] - 32);
    out += " x x x ";
    out += sizeText;
    out += ' ';
    out += EnglishMonth(month);
    out += ' ';
    out += dayText;
    out += ' ';
    if (year < currentYear) {
        out += std::to_string(year);
    } else {
        out += std::to_string(hour);
        out += ':';
        if (timeText.size() > 3)
            out += timeText.substr(3, 2);
    }
    out += ' ';
    out += name;
    line.swap(out);
}

inline unsigned char LowerByte(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Case-insensitive (A-Z) order; names differing only in case both stay, in byte order.
bool LineBefore(const std::string &a, const std::string &b)
{
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    while (i < n) {
        // Equal runs are skipped eight bytes at a time: sorted names share long prefixes.
        for (uint64_t x, y; i + 8 <= n; i += 8) {
            std::memcpy(&x, a.data() + i, 8);
            std::memcpy(&y, b.data() + i, 8);
            if (x != y)
                break;
        }
        while (i < n && a[i] == b[i])
            ++i;
        if (i == n)
            break;
        const unsigned char x = LowerByte(a[i]), y = LowerByte(b[i]);
        if (x != y)
            return x < y;
        ++i;
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

} // namespace

void ListingParser::NormaliseLines(std::vector<std::string> &lines) const
{
    for (std::string &line : lines) {
        if (model_.debugTrace)
            model_.LogLine("DEBUG: raw line: " + line);
        if (line.empty())
            continue;
        if (line.find("ls: .:") != std::string::npos)
            line.clear();
        else if (StartsWithDosDate(line))
            ConvertDosLine(line, model_.currentYear);
        else if (MonthPosition(line) != std::string_view::npos)
            ConvertUnixLine(line);
        // Anything else has no month and is skipped by ParseLine (the "total" line, for one).
    }
    std::sort(lines.begin(), lines.end(), LineBefore);
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
}

bool ListingParser::ReadEntry(std::string_view line, ListingLine &outcome)
{
    outcome = ListingLine::skipped;
    const std::string_view tail = TailFromSize(FieldFrom(line, 2, true));
    if (tail.empty())
        return false;

    TDetail &entry = entry_;
    entry.kind = line[0] == 'D' ? ekDirectory : ekFile;
    entry.visited = entry.kind == ekDirectory ? 0 : 1; // only directories wait to be listed

    bool numbersRead = ReadNumber(FieldFrom(tail, 1), entry.size);
    int month = MonthNumber(FieldFrom(tail, 2));
    if (month == 0)
        month = 1;
    int day = 0;
    numbersRead &= ReadNumber(FieldFrom(tail, 3), day);

    const std::string_view yearOrTime = FieldFrom(tail, 4);
    const size_t colon = yearOrTime.find(':');
    int year = 0;
    TDateTime time = 0;
    bool timeValid = true;
    if (colon != std::string_view::npos) {
        // A time of day means within the last year: this year, unless that month is still ahead.
        year = model_.currentYear - (month > model_.currentMonth ? 1 : 0);
        int hour = 0, minute = 0;
        numbersRead &= ReadNumber(yearOrTime.substr(0, colon), hour);
        numbersRead &= ReadNumber(yearOrTime.substr(colon + 1, 2), minute);
        timeValid = TryEncodeTime(hour, minute, 0, 0, time);
        entry.precision = tpMinute;
    } else {
        numbersRead &= ReadNumber(yearOrTime, year);
        entry.precision = tpDay;
    }
    if (!numbersRead)
        dateError = true;

    TDateTime date = 0;
    if (!timeValid || (!TryEncodeDate(year, month, day, date) && !TryEncodeDate(year, month, day - 1, date))) {
        dateError = true;
        outcome = ListingLine::dateError;
        return false;
    }
    entry.modified = date + time;

    std::string_view name = FieldFrom(tail, 5, true);
    const size_t arrow = name.find("->");
    if (arrow != std::string_view::npos) // a symbolic link: the link's own name, kept as a file
        name = name.substr(0, arrow > 0 ? arrow - 1 : 0);
    if (!IsSafeEntryName(name))
        return false;
    entry.name.assign(name);
    entry.directory.assign(model_.currentRelativeDirectory);
    return true;
}

ListingLine ListingParser::AddEntry(SiteTree &tree, SiteNode *parent)
{
    TDetail &entry = entry_;
    // The filters change letter case only, so only a name equal to it apart from case can become
    // the check file's name.
    if (entry.kind == ekFile && EqualsNoCaseAZ(entry.name, kCheckFileName) &&
        FileNameFilter(model_.options, model_.extensions, entry.name) == kCheckFileName) {
        if (model_.Site().SavedPcTime() != 0 && OnCheckFileListed)
            OnCheckFileListed(entry.modified);
        return ListingLine::checkFile;
    }
    // The ignore test compares lower-cased text, so the unfiltered names give the same answer.
    if (model_.options.refreshIgnore &&
        IgnoreTest(model_.ignore, entry.directory, entry.name, false, nullptr, nullptr, entry.kind))
        return ListingLine::ignored;
    AddChildEntry(model_, tree, parent, entry); // applies the case filters
    return ListingLine::added;
}

ListingLine ListingParser::ParseLine(SiteTree &tree, SiteNode *parent, std::string_view line)
{
    ListingLine outcome;
    if (!ReadEntry(line, outcome))
        return outcome;
    return AddEntry(tree, parent);
}

void ListingParser::ProcessListing(SiteTree &tree, SiteNode *parent, std::vector<std::string> lines)
{
    NormaliseLines(lines);
    const size_t count = lines.size();
    const std::string ofCount = " of " + std::to_string(count) + " files";
    for (size_t i = 0; i < count && !model_.stopRequested; ++i) {
        ParseLine(tree, parent, lines[i]);
        // The status line is only painted while we yield, so it is set just before that.
        const bool yield = (i + 1) % 50 == 0;
        if (yield || i + 1 == count)
            model_.ShowStatus("Processing directory listing: " + std::to_string(i + 1) + ofCount);
        if (yield)
            model_.Yield();
    }
    model_.ShowStatus("Processed: " + std::to_string(count) + " files. Total files: " +
                      std::to_string(tree.Count()));
}
