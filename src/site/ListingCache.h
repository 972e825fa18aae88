#pragma once
// The listing cache: the remote tree of an upload site saved as a text file in the local top
// directory when a connection ends, and read back on the next connect, so the compare can run
// without listing the server again.
//
// File: four header lines (server, user, an empty password line, remote top directory, each
// through the stored-text cipher; the reader uses the file only when they name the site's current
// server, user and directory), then one line per remote node in tree order: indent (none at the
// top level, depth + 1 tabs below it), "D" or "F", the name, a tab, the date "dd/mm/yyyy hh:mm:ss",
// a space and the size; a file's line then has a space and how finely its time is known: "s"
// (second), "m" (minute), "d" (day), and for a file this program stored without giving the server
// its time, a space and "u" (the server lists the upload's time). Lines end with CR LF. The date
// is written with "/" and ":" and read by position, so files written with other separators read
// back too. Files of older versions lack the precision letter and still load; older versions
// read a line with "u" as one of unknown precision, within its minute.
//
// The session layer plugs the two calls into SiteModel::saveListingCache / loadListingCache with
// the current site's CacheKey and the setup's server, user and remote directory texts.
#include "site/SiteModel.h"

#include <string>
#include <string_view>

struct ListingCacheHeader {
    std::string server;
    std::string user;
    std::string remoteDirectory;
};

// The local top directory, "/", the cache key and ".fhx".
std::string ListingCachePath(const std::string &localTopDirectory, const std::string &cacheKey);

// Writes the remote tree of an upload site (nothing for a download site or an empty tree). The file
// is replaced whole only when every line was written; a failure keeps the previous file. A tree
// with a directory of unknown contents (notListed) or an entry outside its own directory is not
// saved, and the file is removed.
void SaveListingCache(SiteModel &model, const std::string &cacheKey, const ListingCacheHeader &header);

// Reads the cache into the remote tree. False, with the tree untouched, when there is no readable
// file, the site downloads, or the file's header names another server, user or remote directory
// than `expected` (the texts the session is about to use). Lines that cannot be read are skipped,
// a directory with its subtree; each unsafe name among them is logged once.
bool LoadListingCache(SiteModel &model, const std::string &cacheKey, const ListingCacheHeader &expected);

// One entry line without its line end: the depth's tabs, kind, name, tab, date, space, size.
std::string CacheLine(int depth, const TDetail &entry);
void AppendCacheLine(std::string &out, int depth, const TDetail &entry);

// Reads one entry line. `entry.kind` is set as soon as the kind letter is read; false when the
// name, date, time or size cannot be used. A name that is not safe to use sets `*unsafeName` and
// is left in `entry.name` for the log.
bool ParseCacheLine(std::string_view line, TDetail &entry, bool *unsafeName = nullptr);
