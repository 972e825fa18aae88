#pragma once
// The form of the remote top directory: a leading "/", no trailing "/", and "~" in front when the
// user asks for it. Every remote directory the session stores or lists passes through here.
#include "config/Options.h"

#include <string>

// With `slash` on the text is returned unchanged. Otherwise leading "~" and then leading "/" are
// dropped, one "/" is put in front, trailing "/" are dropped (a lone "/" stays), and with `tilde`
// on a "~" goes in front: "www/html/" -> "/www/html", "~/www" -> "/www", "" -> "/".
std::string FormatRemotePath(const std::string &text, const Options &options);
