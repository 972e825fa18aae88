#pragma once
// The upload and download log files, and the debug trace file that copies every FTP log line.
#include <functional>
#include <string>

// Appends one line to "<saveLogDir>/fernhopUpload.log" or "fernhopDownload.log". A directory that
// is missing or not writable is reported once per run through `report`, then stays quiet.
class TransferLogFile {
public:
    TransferLogFile(std::string fileName, std::function<void(const std::string &)> report);

    void StartRun() { failureReported_ = false; }
    bool Append(const std::string &directory, const std::string &line);

private:
    std::string fileName_;
    std::function<void(const std::string &)> report_;
    bool failureReported_ = false;
};

inline constexpr const char *kUploadLogName = "fernhopUpload.log";
inline constexpr const char *kDownloadLogName = "fernhopDownload.log";
inline constexpr const char *kTraceFileName = "fernopDebug.txt";
inline constexpr const char *kShutdownDumpName = "fernhop.log";

// Appends a line and a line end to a file in the settings directory, creating it when missing.
bool AppendSettingsFileLine(const char *fileName, const std::string &line);
