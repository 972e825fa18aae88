#pragma once
// Paths of a transfer run: remote paths under the remote top path, and the safety checks every
// name passes before it reaches the server or the disk.
#include "base/Text.h"
#include "site/SiteModel.h"

#include <string>

// The entry with its directory and name through the case filters: how the receiving side spells
// it (the server on an upload site, the PC on a download site). The sending side's names are
// used as they are.
TDetail FilteredNames(const SiteModel &model, const TDetail &entry);
// directory + "/" + name with the case filters, as an upload site's entry is stored on the server.
std::string RemoteRelativePath(const SiteModel &model, const TDetail &entry);
// The relative path alone under a top path of "/", so no path starts with a doubled slash.
std::string FullRemotePath(const std::string &topPath, const std::string &relativePath);

// True when the entry's name and directory stay below the top directory: no empty, "." or ".."
// component, no "/" in the name, no NUL byte.
bool StaysBelowTop(const TDetail &entry);
