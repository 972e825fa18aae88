#pragma once
// What the main window owns, without widgets: the site model (trees, ignore lists, flags,
// counters), the run state and the FTP client. The Qt window and the batch front end each own one
// workspace and only turn input into calls.
#include "ftp/Ftp.h"
#include "site/SiteModel.h"
#include "transfer/EntryResults.h"
#include "transfer/RunState.h"

inline constexpr const char *kResetFtpHint =
    "If Fernhop cannot close you MAY have to use the menu option to 'reset FTP' to quit.";

class Workspace : public SiteModel {
public:
    Workspace(Options &options, MainView &view) : SiteModel(options, view)
    {
        isConnected = [this] { return FtpClient1.Connected(); };
        keepAliveIfConnected = [this] { FtpClient1.KeepAlive(); };
    }

    TFtpClient FtpClient1;
    RunState run;
    EntryResults results;

    // Logged before a quit that may hang; only a view with the "Reset FTP" command shows it.
    void LogResetFtpHint()
    {
        if (view.OffersResetFtp())
            LogLine(kResetFtpHint);
    }
};
