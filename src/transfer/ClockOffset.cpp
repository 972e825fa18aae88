#include "transfer/ClockOffset.h"

#include "site/SavedOffset.h"

#include <cmath>
#include <cstdio>

double ClockOffsetDays(const CurrentSite &site, const Options &options)
{
    return SavedClockOffset(site.SavedPcTime(), site.SavedServerTime(), options.timeOffset);
}

bool CheckFileMinute(TDateTime completion, TDateTime &minute)
{
    // Day 1 is 31 December 1899; anything before it, or beyond the calendar, is no clock reading.
    if (!std::isfinite(completion) || completion < 1 || completion >= EncodeDate(9999, 12, 31) + 1)
        return false;
    const TimeParts t = DecodeTime(completion);
    TDateTime time = 0;
    if (!TryEncodeTime(t.hour, t.minute, 0, 0, time))
        return false;
    minute = std::floor(completion) + time;
    return true;
}

PanelTime DetailsPanelTime(const TDetail &entry, bool remoteEntry, const CurrentSite &site, const Options &options,
                           int currentYear)
{
    PanelTime panel;
    panel.shown = entry.modified;
    const double offset = ClockOffsetDays(site, options);
    if (!remoteEntry || offset == 0 || DecodeDate(entry.modified).year != currentYear)
        return panel;
    panel.corrected = true;
    panel.actual = entry.modified;
    panel.shown = entry.modified + offset;
    return panel;
}

namespace {
std::string LabelTime(TDateTime value)
{
    return value == 0 ? std::string() : " " + FormatDateTime("DD MMM YYYY   HH:MM:SS", value);
}
} // namespace

OffsetLabelTexts OffsetLabels(const TmultFTP &site)
{
    return {" " + site.NickName, " " + site.Server, LabelTime(site.SavedPcTime), LabelTime(site.SavedServerTime)};
}

void ClockOffset::LabelsChanged()
{
    if (labelsChanged)
        labelsChanged();
}

void ClockOffset::SendCheckFile()
{
    const std::string directory = remoteDirectoryText ? remoteDirectoryText() : std::string("/");
    if (sites_.Current().UsePasv)
        ws_.FtpClient1.SendCheckFilePasv(directory);
    else
        ws_.FtpClient1.SendCheckFile(directory);
}

void ClockOffset::FtpClient1CheckFileSent(TFtpClient *, TDateTime time, bool error)
{
    if (error) {
        ws_.ShowStatus("Could not obtain date and time from FTP server.");
        sites_.SetSavedPcTime(0);
        sites_.SetSavedServerTime(0);
    } else {
        ws_.ShowStatus("Remote date and time obtained...Loading remote directory");
        TDateTime minute = 0;
        if (CheckFileMinute(time, minute)) {
            sites_.SetSavedPcTime(minute);
        } else {
            sites_.SetSavedPcTime(0);
            ws_.view.Message("Error with time/date on retrieving check file");
        }
    }
    LabelsChanged();
    // The walk sets opListing itself, and leaves it alone when the refresh was stopped meanwhile.
    if (continueListing)
        continueListing();
}

bool ClockOffset::KeepPlausible(TDateTime pcTime, TDateTime serverTime)
{
    const double offset = pcTime - serverTime;
    if (!PlausibleClockOffset(offset)) {
        // A misread date (a listing line's year guessed wrong, say), not a clock: kept, it would
        // shift every time by that much until cleared by hand.
        char hours[32];
        std::snprintf(hours, sizeof hours, "%.1f", offset * 24);
        ws_.LogLine(std::string("FERNHOP: the server's time differs from the PC's by ") + hours +
                    " hours; that offset is not kept and is measured again next time");
        sites_.SetSavedPcTime(0);
        sites_.SetSavedServerTime(0);
        return false;
    }
    sites_.SetSavedPcTime(pcTime);
    sites_.SetSavedServerTime(serverTime);
    return true;
}

void ClockOffset::CheckFileListed(TDateTime serverTime)
{
    KeepPlausible(sites_.Current().SavedPcTime, serverTime);
    LabelsChanged();
}

void ClockOffset::FileTimeMeasured(const std::string &path, TDateTime listed, TDateTime serverUtc)
{
    if (KeepPlausible(CutToMinute(UtcToLocalDateTime(serverUtc)), listed)) {
        ws_.LogLine("FERNHOP: clock offset measured from the time of " + path + ": " +
                    FormatDateTime("dd/mm/yyyy hh:mm", listed) + " listed, " +
                    FormatDateTime("dd/mm/yyyy hh:mm", sites_.Current().SavedPcTime) + " on this PC's clock");
        ws_.ShowStatus("Remote date and time obtained");
    }
    LabelsChanged();
}

void ClockOffset::ExactTimesListed()
{
    if (sites_.Current().SavedPcTime == 0 && sites_.Current().SavedServerTime == 0)
        return;
    ws_.LogLine("FERNHOP: the server lists exact times; its clock offset is not needed and was cleared");
    sites_.ClearOffset();
    LabelsChanged();
}

void ClockOffset::ClearOffsetClick()
{
    sites_.ClearOffset();
    LabelsChanged();
}
