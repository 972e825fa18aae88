#pragma once
// One file or directory entry of either site tree.
#include "base/DateTime.h"

#include <cstdint>
#include <string>

enum TEntryKind : uint8_t { ekUnset = 0, ekDirectory = 1, ekFile = 2 };

enum TEntryAction : uint8_t {
    actUnset = 0,
    actNone = 1,
    actDeleteFile = 2,
    actNewFile = 3,
    actRefresh = 4,
    actCreateDir = 5,
    actRemoveDir = 6,
};

enum TEntryIcon : int32_t {
    iconNone = -1,
    iconDir = 1,
    iconCreateDir = 2,
    iconNewFile = 3,
    iconNewer = 4,
    iconSizeDiffers = 5,
    iconDelete = 6,
    iconFile = 7,
    iconSame = 8,
    iconDirIgnored = 9,
    iconFileIgnored = 10,
    iconAlert = 12,
    iconFailed = 13,
    iconUpload = 14,
    iconDownload = 15,
};

// How finely an entry's time is known: a local file or an exact server time to the second, a
// listing line with a time of day to the minute, an older listing line (a year, no time) to the day.
// tpMinuteCut marks a time read from a cache file of an older version, which cut local times to
// the minute: any time within that minute is the same time, as it was for that version.
enum TTimePrecision : uint8_t { tpSecond = 0, tpMinute = 1, tpDay = 2, tpMinuteCut = 3 };

struct TDetail {
    TEntryKind kind = ekUnset;
    uint8_t visited = 0;
    TEntryAction action = actUnset;
    TEntryAction compareAction = actUnset;
    // Set by the listing walk on a remote directory whose CWD or LIST failed: its contents are
    // unknown, so nothing on the other side may be deleted because of it.
    bool notListed = false;
    // Set by the compare on a transfer mark it could not be sure of (same size, times within the
    // coarser entry's precision): the run asks the server for the exact time before sending.
    bool verifyTime = false;
    // A remote file this program stored where the server could not be given its time (no MFMT):
    // the entry keeps the local file's time, while the server lists the time of the upload.
    bool serverTimeUnknown = false;
    int32_t compareIcon = iconNone;
    std::string name = "unknown";
    std::string directory;
    int64_t size = 0; // 64-bit: files of 2 GB and more keep their true size
    TDateTime modified = 0;
    TTimePrecision precision = tpSecond;

    // directory + "/" + name: the entry's path relative to the site's top directory.
    std::string Path() const { return directory + "/" + name; }
};

const char *KindText(TEntryKind kind); // "unknown", "DIRECTORY", "FILE"
const char *IconName(int32_t icon); // "Dir", "CreateDir", ... as words for text output
