#pragma once
// Whether an uploaded file is surely the file the server now holds. File times have whole
// seconds: a file written again within the second the scan saw (same size) looks unchanged, and a
// file written while it was being sent may have reached the server half old, half new. Such an
// upload is recorded (in the remote tree, and so in the listing cache) and stamped on the server
// with a time older than the local file's, so that the next run, listed or cached, sends it again.
#include "site/SiteModel.h"

#include <string>

// The scanned file was written within two seconds of the scan (or after it began).
bool WrittenAtScan(const SiteModel &model, const TDetail &entry);

// The time such an upload is given: its local time less ten minutes, older than the coarsest
// listed time (a minute) widened by the clock offset's uncertainty.
TDateTime UnsettledTime(TDateTime modified);

// Looks at the local file at `path` again after its upload: true when it has the size and time
// the scan saw and was not written at the scan. `modifiedNow` becomes its time now (the scanned
// time when it cannot be read).
bool SettledAsScanned(const SiteModel &model, const TDetail &entry, const std::string &path, TDateTime &modifiedNow);
