#include "transfer/UploadSettled.h"

#include <sys/stat.h>

namespace {
constexpr TDateTime kSecond = 1.0 / 86400.0;
constexpr TDateTime kScanWindow = 2 * kSecond;
constexpr TDateTime kBackdate = 600 * kSecond;
} // namespace

bool WrittenAtScan(const SiteModel &model, const TDetail &entry)
{
    return model.localScanStarted != 0 && entry.modified >= model.localScanStarted - kScanWindow;
}

TDateTime UnsettledTime(TDateTime modified)
{
    return modified - kBackdate;
}

bool SettledAsScanned(const SiteModel &model, const TDetail &entry, const std::string &path, TDateTime &modifiedNow)
{
    modifiedNow = entry.modified;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    modifiedNow = UnixToLocalDateTime(st.st_mtime);
    return int64_t(st.st_size) == entry.size && modifiedNow == entry.modified && !WrittenAtScan(model, entry);
}
