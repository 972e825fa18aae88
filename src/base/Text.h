#pragma once
// Text helpers: case rules touch A-Z only, as the stored formats and name filters expect.
#include <string>
#include <string_view>

std::string LowerAZ(std::string_view text);
std::string UpperAZ(std::string_view text);
bool EqualsNoCaseAZ(std::string_view a, std::string_view b);
int CompareNoCaseAZ(std::string_view a, std::string_view b); // <0, 0, >0

bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);
bool ContainsLineBreak(std::string_view text);
// True when the text may go into a command line: no CR, LF or NUL.
bool SendableName(std::string_view text);

// The text in double quotes with C escapes (\\, \", \0, \t, \r, \n, other control bytes and DEL
// as \xNN), so a name from a server can be shown on one log line exactly as it came, even when it
// is empty or holds line breaks.
std::string QuotedForLog(std::string_view text);

// The classic short-string limit: where a stored format needs it, text is cut at 255 bytes.
std::string Cut255(std::string_view text);
