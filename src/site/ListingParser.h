#pragma once
// Turns the lines of one server directory listing (UNIX long form with English or French months,
// or MS-DOS form) into entries under the tree node of the directory being listed.
//
// The listing walk owns one parser per run: it clears `dateError` when a run starts, sets
// SiteModel::currentRelativeDirectory to the listed directory's path ("" for the top) before each
// ProcessListing, reports `dateError` once when the run ends, and wires OnCheckFileListed to the
// clock offset. Stop (SiteModel::stopRequested) ends ProcessListing between two lines.
#include "site/SiteModel.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

enum class ListingLine {
    skipped,   // blank, total line, no month or size, unsafe name
    dateError, // a date that does not exist, even one day earlier
    checkFile, // the clock check file: taken out of the listing
    ignored,   // left out by the ignore lists (option refreshIgnore)
    added,
};

class ListingParser {
public:
    explicit ListingParser(SiteModel &model) : model_(model) { ReadClock(); }

    // Set by unreadable numbers or impossible dates; the run reports it once at its end.
    bool dateError = false;

    // The clock check file was listed while the site waits for its server time (SavedPcTime set):
    // its listed date and time become the site's SavedServerTime.
    std::function<void(TDateTime serverTime)> OnCheckFileListed;

    // The PC's clock, read when each listing is parsed: lines without a year are dated by it.
    std::function<TDateTime()> clock = Now;

    // Rewrites every line into a sortable form ("D" or "F", the name without spaces, the line;
    // DOS lines in UNIX form; "." and ".." and "ls: .:" lines emptied), then sorts: directories
    // first, each group in case-insensitive name order.
    void NormaliseLines(std::vector<std::string> &lines) const;

    // Builds one entry from a normalised line and puts it under `parent` (top level when null).
    ListingLine ParseLine(SiteTree &tree, SiteNode *parent, std::string_view line);

    // One directory's listing, lines without CR LF, into `tree` under `parent`. False when the
    // lines held text but not one of them could be read (an entry, "." or "..", a "total" line):
    // that is no empty directory but a listing this parser does not understand.
    bool ProcessListing(SiteTree &tree, SiteNode *parent, std::vector<std::string> lines);
    // The same for a machine listing (MLSD, MlsdListing.cpp): UTC times to the second, kept on
    // the PC's clock; the same order, name rules and check file as a listing.
    bool ProcessMlsdListing(SiteTree &tree, SiteNode *parent, const std::vector<std::string> &lines);
    // The entries a listing of the directory SiteModel::currentRelativeDirectory holds, in tree
    // order, as the tree would get them (check file and ignored names left out, names not yet
    // through the case filters), without touching a tree. False as for ProcessListing.
    bool ReadEntries(std::vector<std::string> lines, bool mlsd, std::vector<TDetail> &entries);

private:
    // The line's entry into entry_; false with `outcome` when the line gives none.
    bool ReadEntry(std::string_view line, ListingLine &outcome);
    ListingLine AddEntry(SiteTree &tree, SiteNode *parent);
    // The check file and ignored names are not entries; `atTop`: the top directory is listed.
    ListingLine Admit(bool atTop, bool reportCheckFile);
    // The parse loops, handing each entry read to `add` (ListingParser.cpp, MlsdListing.cpp).
    template <class Add> bool ParseLines(std::vector<std::string> &lines, Add add);
    bool ParseMlsdLines(const std::vector<std::string> &lines, const std::function<void()> &add);
    // The status line and the yield every 50 entries, as the parse goes on.
    void ShowParseProgress(size_t done, size_t count, const std::string &ofCount) const;
    void ReadClock();
    bool RecentDate(int month, int day, TDateTime time, TDateTime &date) const;
    // Each unsafe name is logged once a listing.
    void LogUnsafeName(std::string_view name);

    SiteModel &model_;
    TDateTime now_ = 0;
    DateParts today_;
    std::unordered_set<std::string> unsafeLogged_;
    TDetail entry_; // reused from line to line: its strings keep their capacity
    bool lineRead_ = false; // ReadEntry found a listing line's fields, entry or not
    size_t mlsdItemCount_ = 0; // entries of the last machine listing, for its status line
};
