// ListingParser's machine listings (MLSD): each line read by ReadMlsdLine, the entries put in the
// order a listing's lines are sorted to (directories first, names without case), then added as
// a listing's entries are.
#include "site/ListingFields.h"
#include "site/ListingParser.h"
#include "site/MlsdLine.h"

#include <algorithm>

namespace {

inline unsigned char LowerByte(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

struct MlsdItem {
    TEntryKind kind;
    int64_t size;
    TDateTime modified;
    std::string_view name;
};

// Directories first; names in A-Z case-insensitive order, names differing only in case in byte order.
bool ItemBefore(const MlsdItem &a, const MlsdItem &b)
{
    if (a.kind != b.kind)
        return a.kind == ekDirectory;
    const size_t n = std::min(a.name.size(), b.name.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = LowerByte(a.name[i]), y = LowerByte(b.name[i]);
        if (x != y)
            return x < y;
    }
    return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
}

} // namespace

bool ListingParser::ParseMlsdLines(const std::vector<std::string> &lines, const std::function<void()> &add)
{
    ReadClock();
    unsafeLogged_.clear();
    std::vector<MlsdItem> items;
    items.reserve(lines.size());
    MlsdEntry read;
    // Lines that are facts and a name, or the directory's own cdir and pdir lines.
    size_t withText = 0, understood = 0;
    for (const std::string &line : lines) {
        if (model_.debugTrace)
            model_.LogLine("DEBUG: raw line: " + line);
        const bool hasText = line.find_first_not_of(" \r") != std::string::npos;
        withText += hasText;
        switch (ReadMlsdLine(line, read)) {
        case MlsdLine::skipped:
            understood += hasText;
            continue;
        case MlsdLine::badFacts:
            dateError = true; // what the server says of this entry cannot be trusted
            continue;
        case MlsdLine::entry: break;
        }
        ++understood;
        if (!IsSafeEntryName(read.name)) {
            if (read.name != "." && read.name != "..")
                LogUnsafeName(read.name);
            continue;
        }
        // Without a time the compare could only guess; the run stops short of acting on it.
        if (!read.modifiedUtc) {
            if (read.kind == ekFile)
                dateError = true;
            read.modifiedUtc = 0;
        }
        const TDateTime modified = *read.modifiedUtc == 0 ? 0 : UtcToLocalDateTime(*read.modifiedUtc);
        items.push_back({read.kind, read.size, modified, read.name});
    }
    std::sort(items.begin(), items.end(), ItemBefore);
    items.erase(std::unique(items.begin(), items.end(),
                            [](const MlsdItem &a, const MlsdItem &b) { return a.kind == b.kind && a.name == b.name; }),
                items.end());

    const size_t count = items.size();
    mlsdItemCount_ = count;
    const std::string ofCount = " of " + std::to_string(count) + " files";
    TDetail &entry = entry_;
    for (size_t i = 0; i < count && !model_.stopRequested; ++i) {
        const MlsdItem &item = items[i];
        entry.kind = item.kind;
        entry.visited = item.kind == ekDirectory ? 0 : 1; // only directories wait to be listed
        entry.size = item.kind == ekDirectory ? 0 : item.size;
        entry.modified = item.modified;
        entry.precision = tpSecond;
        entry.name.assign(item.name);
        entry.directory.assign(model_.currentRelativeDirectory);
        add();
        ShowParseProgress(i + 1, count, ofCount);
    }
    return withText == 0 || understood > 0;
}

bool ListingParser::ProcessMlsdListing(SiteTree &tree, SiteNode *parent, const std::vector<std::string> &lines)
{
    const bool readable = ParseMlsdLines(lines, [&] { AddEntry(tree, parent); });
    model_.ShowStatus("Processed: " + std::to_string(mlsdItemCount_) + " files. Total files: " +
                      std::to_string(tree.Count()));
    return readable;
}
