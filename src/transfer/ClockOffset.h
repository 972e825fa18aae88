#pragma once
// The server clock offset: a small check file is stored in the remote top directory, the PC time
// of the store is kept to the minute, and the time the server lists for the file becomes the
// server time. Their difference corrects every server time that meets a PC time: in the compare,
// in the copy of an uploaded file, in the stamp of a downloaded file and in the details panel.
#include "config/Options.h"
#include "config/SiteList.h"
#include "transfer/Workspace.h"

#include <functional>
#include <string>

inline constexpr const char *kCheckFileName = "fernhop.chk";

// PC time minus server time, in days; 0 unless both saved times are set, the option timeOffset
// ("Do not use the auto time offset feature") is off and the offset is plausible (a day and an
// hour at most). A server time t is the PC time t + offset.
double ClockOffsetDays(const CurrentSite &site, const Options &options);

// The PC time kept for a check file whose store completed at `completion`: its date and its hour
// and minute, seconds dropped. False when `completion` is no usable date and time.
bool CheckFileMinute(TDateTime completion, TDateTime &minute);

// What the entry details panel shows as an entry's time. A remote entry of the current year is
// corrected by the offset and the listed time is kept as `actual` (shown under "Time before
// auto-offset"); every other entry shows its own time.
struct PanelTime {
    TDateTime shown = 0;
    bool corrected = false;
    TDateTime actual = 0;
};
PanelTime DetailsPanelTime(const TDetail &entry, bool remoteEntry, const CurrentSite &site, const Options &options,
                           int currentYear);

// The "Time Offset" page: " " + nickname, " " + server, and each saved time as
// " DD MMM YYYY   HH:MM:SS", or "" when it is 0.
struct OffsetLabelTexts {
    std::string nickName;
    std::string server;
    std::string pcTime;
    std::string serverTime;
};
OffsetLabelTexts OffsetLabels(const TmultFTP &site);

// The measurement for the current site of the site list.
class ClockOffset {
public:
    ClockOffset(Workspace &workspace, SiteList &sites) : ws_(workspace), sites_(sites) {}

    // ---- hooks ----
    std::function<std::string()> remoteDirectoryText; // the remote top directory, formatted
    std::function<void()> continueListing;            // the check file is done: list the server
    std::function<void()> labelsChanged;              // the saved times changed

    // Stores the check file in the remote top directory, passive when the site uses PASV. Its
    // completion arrives at FtpClient1CheckFileSent.
    void SendCheckFile();
    // OnCheckFileSent: keeps the PC time (or clears both times when the store was refused), then
    // the listing follows in every case.
    void FtpClient1CheckFileSent(TFtpClient *Sender, TDateTime time, bool error);
    // The listing showed the check file while the site waits for its server time. An implausible
    // offset is logged and not kept: both times are cleared, so the next refresh measures again.
    void CheckFileListed(TDateTime serverTime);
    // A download site measures without writing to the server: a listed file's time (to the
    // minute) and the server's exact UTC time of the same file (MDTM) give the offset, kept as
    // the check file's would be: the exact time on the PC's clock, cut to the minute as the
    // listing shows it, and the listed time. An implausible offset is not kept.
    void FileTimeMeasured(const std::string &path, TDateTime listed, TDateTime serverUtc);
    // The server listed exact times (MLSD): they are on the PC's clock already, so an offset
    // measured on listed times is cleared (and measured again should LIST return).
    void ExactTimesListed();
    // "&Clear Offset": the next refresh measures again.
    void ClearOffsetClick();

private:
    void LabelsChanged();
    // Keeps both times, or clears them (logged) when their difference is no clock's.
    bool KeepPlausible(TDateTime pcTime, TDateTime serverTime);

    Workspace &ws_;
    SiteList &sites_;
};
