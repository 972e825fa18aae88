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

inline bool IsLinkMode(char mode) { return mode == 'l' || mode == 'L'; }

// The name in a UNIX line's tail (size, month, day, time or year, name): from one space after the
// time or year to the end; on a link's line only, up to the " -> " before the link's target.
std::string_view UnixName(std::string_view tail, bool link)
{
    const size_t end = FieldEnd(tail, 4);
    if (end >= tail.size())
        return {};
    std::string_view rest = tail.substr(end); // the separating space, then the name
    if (link)
        rest = rest.substr(0, rest.find(" -> "));
    return rest.size() > 1 ? rest.substr(1) : std::string_view();
}

// A UNIX line: "D" or "F", the name without spaces, a space, then the line itself.
void ConvertUnixLine(std::string &line)
{
    if (line[0] == 'C' || line[0] == 'c')
        line[0] = '-';
    const bool directory = line[0] == 'D' || line[0] == 'd';
    const std::string_view name = UnixName(TailFromSize(line), IsLinkMode(line[0]));
    if (name == "." || name == "..") {
        line.clear();
        return;
    }

    std::string out;
    out.reserve(2 + name.size() + line.size());
    out += directory ? 'D' : 'F';
    AppendSqueezed(out, name);
    out += ' ';
    out += line;
    line.swap(out);
}

// Where a DOS line's name starts (fields: date, time, "<DIR>" or size, name): one space after the
// size, which is right-aligned; after "<DIR>", past the ten spaces of its padded column when they
// are there, else past whatever spaces follow it.
size_t DosNameStart(std::string_view text, bool directory)
{
    const size_t end = FieldEnd(text, 3);
    if (end >= text.size())
        return text.size();
    if (!directory)
        return end + 1;
    constexpr size_t kDirPadding = 10;
    if (text.size() > end + kDirPadding && text.substr(end, kDirPadding).find_first_not_of(' ') == std::string_view::npos)
        return end + kDirPadding;
    return FieldPosition(text, 3);
}

// A DOS line's time field: "HH:MM", then "AM" or "PM" (either case) or nothing.
bool IsDosClockTime(std::string_view t)
{
    if (t.size() != 5 && t.size() != 7)
        return false;
    if (!IsDigit(t[0]) || !IsDigit(t[1]) || t[2] != ':' || !IsDigit(t[3]) || !IsDigit(t[4]))
        return false;
    if (t.size() == 5)
        return true;
    const char half = char(t[5] & ~0x20), m = char(t[6] & ~0x20);
    return (half == 'A' || half == 'P') && m == 'M';
}

// "12-24-96  03:15PM  <DIR>  Old Stuff" becomes
// "DOLDSTUFF x x 1996 0 DEC 24 1996 Old Stuff": the UNIX form the line parser reads. The third
// field keeps the line's own year for the lines that show a time.
void ConvertDosLine(std::string &line, int currentYear)
{
    const std::string_view text = line;
    const bool directory = FieldFrom(text, 3) == "<DIR>";
    const std::string_view name = text.substr(DosNameStart(text, directory));
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

    const std::string_view timeText = FieldFrom(text, 2);
    if (!IsDosClockTime(timeText)) {
        line.clear(); // its minutes, copied as they stand, could carry part of the line along
        return;
    }
    const std::string_view sizeText = directory ? std::string_view("0") : FieldFrom(text, 3);
    int hour = 0;
    ReadNumber(timeText.substr(0, 2), hour);
    if (timeText.size() == 7 && (timeText[5] == 'P' || timeText[5] == 'p')) {
        if (hour < 12)
            hour += 12;
    } else if (timeText.size() == 7 && hour == 12) {
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
    out += " x x ";
    out += std::to_string(year);
    out += ' ';
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
            ConvertDosLine(line, today_.year);
        else if (MonthPosition(line) != std::string_view::npos)
            ConvertUnixLine(line);
        // Anything else has no month and is skipped by ParseLine (the "total" line, for one).
    }
    std::sort(lines.begin(), lines.end(), LineBefore);
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
}

namespace {
// A date from month, day and year; a day the month lacks becomes the day before (29 February of a
// year without it is 28 February).
bool EncodeListedDate(int year, int month, int day, TDateTime &date)
{
    return TryEncodeDate(year, month, day, date) || TryEncodeDate(year, month, day - 1, date);
}
} // namespace

void ListingParser::ReadClock()
{
    now_ = clock ? clock() : Now();
    today_ = DecodeDate(now_);
}

// A line with a time of day and no year: the latest date that is not more than two days ahead of
// the PC's clock, so that a server a time zone ahead, listing "Jan  1" on our 31 December, is read
// as tomorrow and not as last January.
bool ListingParser::RecentDate(int month, int day, TDateTime time, TDateTime &date) const
{
    constexpr double kAheadAllowed = 2.0;
    const TDateTime latest = now_ + kAheadAllowed;
    for (int year = today_.year + 1; year >= today_.year - 1; --year)
        if (EncodeListedDate(year, month, day, date) && date + time <= latest)
            return true;
    return false;
}

void ListingParser::LogUnsafeName(std::string_view name)
{
    if (unsafeLogged_.emplace(name).second)
        model_.LogLine(UnsafeNameLogLine(name));
}

bool ListingParser::ReadEntry(std::string_view line, ListingLine &outcome)
{
    outcome = ListingLine::skipped;
    lineRead_ = false;
    // The line as listed: what follows the sort key (a DOS line's mode field reads "x").
    const std::string_view body = FieldFrom(line, 2, true);
    const std::string_view tail = TailFromSize(body);
    if (tail.empty())
        return false;
    lineRead_ = true; // a size, a month and what follows: a listing line, even if refused below
    const bool dosLine = body[0] == 'x';

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
    TDateTime date = 0, time = 0;
    bool dateValid = true;
    if (colon != std::string_view::npos) {
        int hour = 0, minute = 0;
        numbersRead &= ReadNumber(yearOrTime.substr(0, colon), hour);
        numbersRead &= ReadNumber(yearOrTime.substr(colon + 1, 2), minute);
        int dosYear = 0;
        dateValid = TryEncodeTime(hour, minute, 0, 0, time);
        if (dateValid && dosLine && ReadNumber(FieldFrom(body, 3), dosYear))
            dateValid = EncodeListedDate(dosYear, month, day, date); // the DOS line said which year
        else if (dateValid)
            dateValid = RecentDate(month, day, time, date);
        entry.precision = tpMinute;
    } else {
        int year = 0;
        numbersRead &= ReadNumber(yearOrTime, year);
        dateValid = EncodeListedDate(year, month, day, date);
        entry.precision = tpDay;
    }
    if (!numbersRead)
        dateError = true;
    if (!dateValid) {
        dateError = true;
        outcome = ListingLine::dateError;
        return false;
    }
    entry.modified = date + time;

    const std::string_view name = dosLine ? TextAfterField(tail, 4) : UnixName(tail, IsLinkMode(body[0]));
    if (!IsSafeEntryName(name)) {
        if (name != "." && name != "..") // every full listing has these two
            LogUnsafeName(name);
        return false;
    }
    // A NUL anywhere spoils the line: its fields cannot be trusted.
    if (body.find('\0') != std::string_view::npos) {
        model_.LogLine("Skipped a listing line holding a NUL byte: " + QuotedForLog(name));
        return false;
    }
    entry.name.assign(name);
    entry.directory.assign(model_.currentRelativeDirectory);
    return true;
}

ListingLine ListingParser::Admit(bool atTop, bool reportCheckFile)
{
    const TDetail &entry = entry_;
    // The check file is the one the clock check stored in the top directory, named as the server
    // lists it; anywhere else a file of that name is the user's.
    if (atTop && entry.directory.empty() && entry.kind == ekFile && entry.name == kCheckFileName) {
        if (reportCheckFile && model_.Site().SavedPcTime() != 0 && OnCheckFileListed)
            OnCheckFileListed(entry.modified);
        return ListingLine::checkFile;
    }
    // The ignore test compares lower-cased text, so the unfiltered names give the same answer.
    if (model_.options.refreshIgnore &&
        IgnoreTest(model_.ignore, entry.directory, entry.name, false, nullptr, nullptr, entry.kind))
        return ListingLine::ignored;
    return ListingLine::added;
}

ListingLine ListingParser::AddEntry(SiteTree &tree, SiteNode *parent)
{
    const ListingLine outcome = Admit(!parent, true);
    if (outcome == ListingLine::added)
        AddChildEntry(model_, tree, parent, entry_); // applies the case filters
    return outcome;
}

ListingLine ListingParser::ParseLine(SiteTree &tree, SiteNode *parent, std::string_view line)
{
    ListingLine outcome;
    if (!ReadEntry(line, outcome))
        return outcome;
    return AddEntry(tree, parent);
}

namespace {

bool HasText(std::string_view line)
{
    return line.find_first_not_of(" \t\r") != std::string_view::npos;
}

// Lines every listing may hold that are no entries: "total 12", and the directory itself and its
// parent ("." and "..") in a UNIX line.
bool KnownNonEntry(std::string_view line)
{
    if (line.substr(0, 6) == "total ") {
        int64_t blocks = 0;
        std::string_view number = line.substr(6);
        while (!number.empty() && (number.back() == ' ' || number.back() == '\r'))
            number.remove_suffix(1);
        return ReadNumber(number, blocks);
    }
    if (MonthPosition(line) == std::string_view::npos)
        return false;
    const std::string_view name = UnixName(TailFromSize(line), IsLinkMode(line[0]));
    return name == "." || name == "..";
}

} // namespace

template <class Add> bool ListingParser::ParseLines(std::vector<std::string> &lines, Add add)
{
    ReadClock();
    unsafeLogged_.clear();
    size_t withText = 0, understood = 0;
    for (const std::string &line : lines) {
        if (HasText(line)) {
            ++withText;
            understood += KnownNonEntry(line);
        }
    }
    NormaliseLines(lines);
    const size_t count = lines.size();
    const std::string ofCount = " of " + std::to_string(count) + " files";
    ListingLine outcome;
    for (size_t i = 0; i < count && !model_.stopRequested; ++i) {
        if (ReadEntry(lines[i], outcome))
            add();
        understood += lineRead_;
        ShowParseProgress(i + 1, count, ofCount);
    }
    return withText == 0 || understood > 0;
}

bool ListingParser::ProcessListing(SiteTree &tree, SiteNode *parent, std::vector<std::string> lines)
{
    const bool readable = ParseLines(lines, [&] { AddEntry(tree, parent); });
    model_.ShowStatus("Processed: " + std::to_string(lines.size()) + " files. Total files: " +
                      std::to_string(tree.Count()));
    return readable;
}

bool ListingParser::ReadEntries(std::vector<std::string> lines, bool mlsd, std::vector<TDetail> &entries)
{
    entries.clear();
    auto keep = [&] {
        if (Admit(true, false) == ListingLine::added)
            entries.push_back(entry_);
    };
    return mlsd ? ParseMlsdLines(lines, keep) : ParseLines(lines, keep);
}

void ListingParser::ShowParseProgress(size_t done, size_t count, const std::string &ofCount) const
{
    // The status line is only painted while we yield, so it is set just before that.
    const bool yield = done % 50 == 0;
    if (yield || done == count)
        model_.ShowStatus("Processing directory listing: " + std::to_string(done) + ofCount);
    if (yield)
        model_.Yield();
}
