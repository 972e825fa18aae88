#include "transfer/TransferLogs.h"

#include "base/VisibleText.h"
#include "config/SettingsDir.h"

#include <cstdio>

namespace {
// Lines name files and quote servers: a log read with cat or tail must not act on them.
bool AppendLine(const std::string &path, const std::string &text)
{
    std::FILE *file = std::fopen(path.c_str(), "ab");
    if (!file)
        return false;
    const std::string line = VisibleControls(text);
    bool ok = std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fputs("\r\n", file) >= 0;
    return std::fclose(file) == 0 && ok;
}
} // namespace

TransferLogFile::TransferLogFile(std::string fileName, std::function<void(const std::string &)> report)
    : fileName_(std::move(fileName)), report_(std::move(report))
{
}

bool TransferLogFile::Append(const std::string &directory, const std::string &line)
{
    std::string dir = directory;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    const std::string path = (dir.empty() ? std::string(".") : dir) + "/" + fileName_;
    if (AppendLine(path, line))
        return true;
    if (!failureReported_ && report_)
        report_("Could not write the log file " + path);
    failureReported_ = true;
    return false;
}

bool AppendSettingsFileLine(const char *fileName, const std::string &line)
{
    if (!EnsureSettingsDirectory())
        return false;
    return AppendLine(SettingsFilePath(fileName), line);
}
