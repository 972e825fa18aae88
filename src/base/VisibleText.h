#pragma once
// Text from outside (server replies, names, certificate fields) shown to people: a terminal or a
// log viewer would act on its control characters (an escape sequence may retitle the window,
// write to the clipboard or hide lines), so they are shown as "\xNN" instead. UTF-8 stays as it
// is; tabs stay (harmless); line breaks stay only where the caller keeps them (message texts).
#include <string>
#include <string_view>

// C0 controls, DEL, and C1 controls (U+0080..U+009F in UTF-8, or a lone byte 0x80..0x9F that is no
// part of a UTF-8 character) become "\xNN" / "\u00NN". A backslash is left alone, so a text
// passed twice comes out the same.
std::string VisibleControls(std::string_view text, bool keepLineBreaks = false);
