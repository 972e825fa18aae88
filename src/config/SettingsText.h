#pragma once
// Line rules shared by the readers of the settings files. Files reach the program from editors
// and other systems: lines may end in LF, CR LF or CR CR LF (a CR LF file copied once more as
// text), and a Windows editor may put a UTF-8 byte order mark at the start.
#include <string_view>

// The text without a leading UTF-8 byte order mark.
std::string_view SkipByteOrderMark(std::string_view text);

// The line without every CR at its end.
std::string_view StripTrailingCRs(std::string_view line);

// The line without the CRs, spaces and tabs at its end, in any mix.
std::string_view StripLineEnd(std::string_view line);

// The text without spaces and tabs around it.
std::string_view TrimBlanks(std::string_view text);
