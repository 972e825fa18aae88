// SessionController: the multi-site run (every site marked for it, one after another) and the
// choice made at start-up.
#include "transfer/SessionController.h"

// ---- multi-site run ----------------------------------------------------------------------------

bool SessionController::FindNextMultiSite()
{
    ++multiSiteIndex;
    while (multiSiteIndex < sites_.Count() && !sites_.MultiSite(multiSiteIndex))
        ++multiSiteIndex;
    return multiSiteIndex < sites_.Count();
}

void SessionController::ConnectNextSiteLater()
{
    // Posted, so that whatever the finished connection still had queued is delivered first,
    // while quitHandled still guards it.
    QMetaObject::invokeMethod(
        &context_,
        [this] {
            if (multiSiteRun && !connected)
                Connect();
        },
        Qt::QueuedConnection);
}

void SessionController::StartMultiSiteRun()
{
    if (ws_.FtpClient1.Connected()) {
        ws_.view.Message("Please disconnect from the current FTP server before a multi-site update");
        return;
    }
    if (sites_.Count() == 0) {
        ws_.view.Message("There are no FTP sites entered in the FTP setup");
        EndMultiSiteRunEarly();
        return;
    }
    multiSiteRun = true;
    multiSiteIndex = -1;
    if (FindNextMultiSite()) {
        Connect();
        return;
    }
    ws_.view.Message("There are no active FTP sites in your setup");
    EndMultiSiteRunEarly();
}

void SessionController::EndMultiSiteRunEarly()
{
    multiSiteRun = false;
    ws_.MainButtonsOn();
    if (!ws_.options.exit)
        return;
    exitAfterQuit = true;
    if (ws_.FtpClient1.Connected()) {
        ws_.LogResetFtpHint();
        ws_.FtpClient1.Quit(); // the disconnection steps close the window
        return;
    }
    CloseMainWindow();
}

void SessionController::ListingRunEnded()
{
    if (!multiSiteRun)
        return;
    // Stop is the user's own choice and ends the run. A site whose listing failed is left: the
    // disconnection steps go on with the next site.
    if (walk_.ListingStopped()) {
        multiSiteRun = false;
        return;
    }
    if (ws_.FtpClient1.Connected())
        ws_.FtpClient1.Quit();
}

void SessionController::StartUpChoice(bool connectEnabled)
{
    if (ws_.options.multiSite)
        StartMultiSiteRun();
    else if (connectEnabled && ws_.options.connect)
        Connect();
    else
        ws_.MainButtonsOn();
}
