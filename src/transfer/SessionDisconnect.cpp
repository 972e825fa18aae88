// SessionController: the end of a session. Disconnecting, the steps after the connection has
// ended (the look of the window, the next site of a multi-site run, the reconnect after a lost
// connection) and the reset.
#include "transfer/SessionController.h"

#include "site/TreeEntries.h"
#include "transfer/FtpErrorHandler.h"

#include <algorithm>

// ---- disconnecting -----------------------------------------------------------------------------

void SessionController::Disconnect()
{
    ws_.stopRequested = true;
    ws_.stopLoops = true;
    TFtpClient &ftp = ws_.FtpClient1;
    if (ws_.run.uploading || ws_.run.downloading)
        ftp.Abort();
    if (ws_.saveListingCache)
        ws_.saveListingCache();
    DisconnectedLook();
    ws_.ShowStatus("Preparing to disconnect");
    ws_.LogResetFtpHint();
    // A command in flight would refuse the QUIT; it goes out when that command completes.
    quitWanted_ = ftp.Busy();
    ftp.Quit();
    ws_.MainButtonsOn();
}

void SessionController::FtpClient1FtpReady(TFtpClient *Sender)
{
    if (refreshWaiting_) {
        // Posted: the completion's own event comes first.
        refreshWaiting_ = false;
        QMetaObject::invokeMethod(
            &context_,
            [this] {
                if (connected && !ws_.FtpClient1.Busy())
                    RefreshRemoteButtonClick();
            },
            Qt::QueuedConnection);
    }
    if (!quitWanted_)
        return;
    quitWanted_ = false;
    if (Sender->Connected())
        Sender->Quit();
}

void SessionController::DisconnectedLook()
{
    MainView &view = ws_.view;
    view.SetEnabled(Control::refreshRemoteBtn, false);
    view.SetEnabled(Control::compareBtn, false);
    walk_.Abandon(); // nothing may add to the remote tree once it is cleared
    ClearTree(ws_, ws_.remoteTree);
    ws_.remoteHiddenUnlisted = false;
    ResetCompareState();
    view.SetText(TextSlot::connectCaption, "&Connect");
    view.SetEnabled(Control::connectBtn, true);
    view.SetEnabled(Control::nickNameCombo, true);
    view.SetText(TextSlot::statusPanel0, "");
    view.SetText(TextSlot::statusPanel1, "");
    view.SetEnabled(Control::stopBtn, false);
    ws_.remoteListing = false;
}

void SessionController::FtpClient1FtpQuit(TFtpClient *)
{
    DisconnectionSteps();
}

void SessionController::DisconnectionSteps()
{
    if (quitHandled)
        return;
    quitHandled = true;
    quitWanted_ = false;
    refreshWaiting_ = false;
    if (ReconnectWanted()) {
        BeginReconnect();
        return;
    }
    reconnecting_ = false;
    if (sessionEnding)
        sessionEnding();
    const Options &options = ws_.options;
    RunState &run = ws_.run;
    if (run.currentOperation == opConnecting && !multiSiteRun && options.exit)
        exitAfterQuit = true;
    run.currentOperation = opIdle;
    if (connected && !options.sound.on[size_t(SoundEvent::Disconnect) - 1])
        ws_.view.Beep();

    // Before the walk's Abandon sets stopRequested: the run tells a lost session from a Stop.
    sequencer_.ConnectionLost();
    walk_.Abandon();
    if (ws_.saveListingCache)
        ws_.saveListingCache();
    connected = false;
    DisconnectedLook();
    ws_.ShowStatus("Fernhop is no longer connected to the FTP server");
    // A silent server is named as the reason, last on the status line.
    if (ws_.FtpClient1.LastErrorCode() == feReplyTimeOut && !ws_.FtpClient1.ReplyTimeOutText().empty())
        ws_.ShowStatus(ws_.FtpClient1.ReplyTimeOutText());
    ws_.PlayEventSound(SoundEvent::Disconnect);
    ws_.FtpClient1.Reset();

    if (multiSiteRun)
        MoveOnToNextSite();
    else if (exitAfterQuit)
        CloseMainWindow();
}

void SessionController::MoveOnToNextSite()
{
    if (FindNextMultiSite()) {
        ConnectNextSiteLater();
        return;
    }
    multiSiteRun = false;
    if (ws_.options.exit)
        exitAfterQuit = true;
    if (exitAfterQuit)
        CloseMainWindow();
}

bool SessionController::ReconnectWanted()
{
    const int tries = ws_.options.reconnectTries;
    if (tries <= 0 || ws_.stopRequested || exitAfterQuit || !sequencer_.Resumable() || !(connected || reconnecting_))
        return false;
    // Tries count the losses with no step done in between.
    const RunCounters &c = ws_.counters;
    const int remain = c.deleteRemain + c.createRemain + c.transferRemain;
    if (remain != remainAtLastLoss_ || ws_.run.transferNode != nodeAtLastLoss_) {
        reconnectTries_ = 0;
        remainAtLastLoss_ = remain;
        nodeAtLastLoss_ = ws_.run.transferNode;
    }
    if (reconnectTries_ >= tries)
        return false;
    if (reconnectAutomatically)
        return true;
    std::string reason = "The connection to the server was lost";
    const std::string error = FtpErrorText(ws_.FtpClient1.LastErrorCode());
    reason += error.empty() ? "." : ": " + error;
    return ws_.view.AskUser(reason, "Reconnect and continue?", 2) == PromptAnswer::Yes;
}

void SessionController::BeginReconnect()
{
    ++reconnectTries_;
    if (!reconnecting_)
        resumeOperation_ = ws_.run.currentOperation;
    reconnecting_ = true;
    connected = false;
    ws_.FtpClient1.Reset();
    int pause = 0;
    if (reconnectAutomatically && !reconnectPausesMs.empty())
        pause = reconnectPausesMs[std::min(size_t(reconnectTries_ - 1), reconnectPausesMs.size() - 1)];
    const std::string text = "Connection lost; reconnecting" +
                             (pause > 0 ? " in " + std::to_string((pause + 999) / 1000) + " s" : std::string()) +
                             " (try " + std::to_string(reconnectTries_) + " of " +
                             std::to_string(ws_.options.reconnectTries) + ")";
    ws_.LogLine("FERNHOP: " + text);
    ws_.ShowStatus(text);
    QTimer::singleShot(pause, &context_, [this] { Reconnect(); });
}

void SessionController::Reconnect()
{
    if (!reconnecting_)
        return;
    if (ws_.stopRequested || !sequencer_.Resumable()) {
        // Stopped while waiting: the session ends as any other.
        quitHandled = false;
        DisconnectionSteps();
        return;
    }
    SetUpClient(ws_.FtpClient1);
    quitHandled = false;
    quitWanted_ = false;
    ws_.run.currentOperation = opConnecting;
    connectCountdown = ws_.options.connectTimeOut;
    ws_.FtpClient1.Connect();
}

void SessionController::ResetFtpClick()
{
    ws_.FtpClient1.Disconnect(feNone);
    ws_.FtpClient1.SetClosing(false);
}

void SessionController::CloseMainWindow()
{
    if (closeMainWindow)
        closeMainWindow();
    else
        ws_.view.CloseWindow();
}
