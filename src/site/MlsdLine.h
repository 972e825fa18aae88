#pragma once
// One line of a machine listing (MLSD): facts, each "name=value;", then one space and the
// entry's name, which runs to the end of the line. Only type, size and modify are read (fact
// names in any letter case); every other fact is passed over.
#include "base/DateTime.h"
#include "site/Detail.h"

#include <cstdint>
#include <optional>
#include <string_view>

struct MlsdEntry {
    TEntryKind kind = ekFile;
    int64_t size = 0;
    std::optional<TDateTime> modifiedUtc; // the modify fact, UTC to the second
    std::string_view name;                // a view into the line
};

enum class MlsdLine {
    entry,    // a file or directory (a link counts as a file, as a listing line shows it)
    skipped,  // the listed directory itself or its parent (cdir, pdir), or a blank line
    badFacts, // no space before a name, a fact without "=", a size or time that cannot be read
};

MlsdLine ReadMlsdLine(std::string_view line, MlsdEntry &entry);

// "YYYYMMDDHHMMSS" with an optional fraction of a second (dropped), as a UTC day count.
std::optional<TDateTime> ParseFactTime(std::string_view text);
