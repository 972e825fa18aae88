#pragma once
// Reads one section of a list file (ignore lists, extension table, site list) as the keys in file
// order. It reads the lines itself rather than through ProfileFile, because its rules differ: the
// header must match as a whole line, an empty line ends the list, and a later header does not.
#include <string>
#include <string_view>
#include <vector>

// fileName is a bare name in the settings directory. Clears target first; a missing or
// unreadable file leaves it empty.
void ReadListSection(std::string_view fileName, std::string_view section,
                     std::vector<std::string> &target);

// The same for a file given by its path.
void ReadListSectionFromPath(const std::string &path, std::string_view section,
                             std::vector<std::string> &target);
