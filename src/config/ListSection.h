#pragma once
// Reads one section of a list file (ignore lists, extension table, site list) as the keys in file
// order. It reads the lines itself rather than through ProfileFile, because its rules differ: the
// header must match as a whole line (blanks around it and the CRs that end it aside), an empty
// line ends the list, and a later header does not. Every CR that ends a line is dropped, so a
// file with CR CR LF line ends reads as its CR LF original.
#include <string>
#include <string_view>
#include <vector>

// fileName is a bare name in the settings directory. Clears target first; a missing or
// unreadable file leaves it empty. True when the section's header was found.
bool ReadListSection(std::string_view fileName, std::string_view section,
                     std::vector<std::string> &target);

// The same for a file given by its path.
bool ReadListSectionFromPath(const std::string &path, std::string_view section,
                             std::vector<std::string> &target);

// Whether a line is the header of that section for this reader.
bool IsListHeader(std::string_view line, std::string_view section);
