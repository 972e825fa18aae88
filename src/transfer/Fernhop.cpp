#include "transfer/Fernhop.h"

#include "config/Settings.h"
#include "site/ListingCache.h"
#include "site/LocalScan.h"
#include "site/Marking.h"
#include "site/TreeEntries.h"
#include "transfer/RemotePath.h"

#include <cstdio>

Fernhop::Fernhop(MainView &view_)
    : view(view_), ws(options, view_), site(sites, view_), walk(ws), sequencer(ws), clock(ws, sites),
      errors(ws), session(ws, sites, walk, sequencer)
{
    ws.SetSite(&site);
    WireWorkspace();
    WireParts();
    WireFtpClient1();
}

// Every event of FtpClient1 and its handler, in one place.
void Fernhop::WireFtpClient1()
{
    TFtpClient &ftp = ws.FtpClient1;
    ftp.OnLoggedIn = [this](TFtpClient *s) { session.FtpClient1LoggedIn(s); };
    ftp.OnFtpNeedInfo = [this](TFtpClient *s, TFtpInfoNeeded need, std::string &value) {
        session.FtpClient1FtpNeedInfo(s, need, value);
    };
    ftp.OnFtpReady = [this](TFtpClient *s) { session.FtpClient1FtpReady(s); };
    ftp.OnFtpCertificate = [this](TFtpClient *s, const TlsPeerInfo &peer) {
        return session.FtpClient1Certificate(s, peer);
    };
    ftp.OnSshHostKey = [this](TFtpClient *s, const SshHostKey &key) { return session.FtpClient1HostKey(s, key); };
    ftp.OnFtpQuit = [this](TFtpClient *s) { session.FtpClient1FtpQuit(s); };
    ftp.OnCheckFileSent = [this](TFtpClient *s, TDateTime time, bool error) {
        clock.FtpClient1CheckFileSent(s, time, error);
    };
    // Shared: the run's own questions (is an entry there?), else the listing walk.
    ftp.OnDirectoryChanged = [this](TFtpClient *s) {
        if (!sequencer.FtpClient1DirectoryChanged(s))
            walk.FtpClient1DirectoryChanged(s);
    };
    ftp.OnListingDone = [this](TFtpClient *s) {
        if (!sequencer.FtpClient1ListingDone(s))
            walk.FtpClient1ListingDone(s);
    };
    ftp.OnFileDeleted = [this](TFtpClient *s) { sequencer.FtpClient1FileDeleted(s); };
    ftp.OnDirectoryDeleted = [this](TFtpClient *s) { sequencer.FtpClient1FileDeleted(s); };
    ftp.OnDirectoryCreated = [this](TFtpClient *s) {
        if (!walk.FtpClient1DirectoryCreated(s))
            sequencer.FtpClient1DirectoryCreated(s);
    };
    ftp.OnFileStored = [this](TFtpClient *s) { sequencer.FtpClient1FileStored(s); };
    ftp.OnFileReceived = [this](TFtpClient *s) { sequencer.FtpClient1FileReceived(s); };
    // Shared: the walk's clock measurement, else the run's same-minute check.
    ftp.OnFileTimeDone = [this](TFtpClient *s) {
        if (!walk.FtpClient1FileTimeDone(s))
            sequencer.FtpClient1FileTimeDone(s);
    };
    // Shared: afterCommand 1 goes on with the uploads, 2 with the post-login steps.
    ftp.OnCommandIssued = [this](TFtpClient *s) { sequencer.FtpClient1CommandIssued(s); };
    ftp.OnFtpInfo = [this](TFtpClient *s, FtpInfo info, const std::string &text) {
        sequencer.display.FtpClient1FtpInfo(s, info, text);
    };
    ftp.OnFtpError = [this](TFtpClient *s, FtpError error, const std::string &addinfo) {
        errors.FtpClient1FtpError(s, error, addinfo);
    };
}

// The server, user and remote directory a cache file is saved for and must match to be loaded.
ListingCacheHeader Fernhop::CacheHeader() const
{
    return {sites.edits.server, sites.edits.userName, FormatRemotePath(session.RemoteDirEdit(), options)};
}

void Fernhop::WireWorkspace()
{
    ws.saveListingCache = [this] {
        // A partial listing must not stand for the server next time: the next connection then
        // lists the server again instead of trusting the cache.
        if (walk.Running() || walk.ListingFailed() || walk.ListingStopped() || walk.Incomplete()) {
            if (std::remove(ListingCachePath(ws.localTopDirectory, sites.CurrentCacheKey()).c_str()) == 0)
                ws.LogLine("FERNHOP: the remote listing was incomplete; its cached copy was dropped");
            return;
        }
        SaveListingCache(ws, sites.CurrentCacheKey(), CacheHeader());
    };
    ws.loadListingCache = [this] { return LoadListingCache(ws, sites.CurrentCacheKey(), CacheHeader()); };
}

void Fernhop::WireParts()
{
    auto usePasv = [this] { return sites.Current().UsePasv; };
    auto remoteDirectory = [this] { return session.RemoteDirEdit(); };
    auto normalise = [this] { session.NormaliseRemoteDirectory(); };
    auto multiSiteRun = [this] { return session.multiSiteRun; };

    walk.usePasv = usePasv;
    walk.remoteDirectoryText = remoteDirectory;
    walk.normaliseRemoteDirectory = normalise;
    walk.startCheckFile = [this] { session.sendCheckFile(); };
    walk.checkFileListed = [this](TDateTime serverTime) { clock.CheckFileListed(serverTime); };
    walk.fileTimeMeasured = [this](const std::string &path, TDateTime listed, TDateTime serverUtc) {
        clock.FileTimeMeasured(path, listed, serverUtc);
    };
    walk.exactTimesListed = [this] { clock.ExactTimesListed(); };
    walk.multiSiteRun = multiSiteRun;
    walk.clearMultiSiteRun = [this] { session.ListingRunEnded(); };
    walk.startTransferRun = [this] { sequencer.StartTransfer(); };
    // The run's extra connections list directories too, and then move its files.
    walk.pool = &sequencer.Pool();
    walk.createMissingTop = [this](const std::string &top) {
        return view.AskUser("The remote directory " + top + " does not exist or cannot be entered.",
                            "Create it?", 2) == PromptAnswer::Yes;
    };

    sequencer.normaliseRemoteDirectory = normalise;
    sequencer.remoteDirectoryText = remoteDirectory;
    sequencer.formatRemotePath = [this](const std::string &text) { return FormatRemotePath(text, options); };
    sequencer.usePasv = usePasv;
    sequencer.multiSiteRun = multiSiteRun;
    sequencer.stopMultiSiteRun = [this] { session.multiSiteRun = false; };
    sequencer.setExitAfterQuit = [this] { session.exitAfterQuit = true; };
    sequencer.continueAfterLogin = [this] { session.PostLoginSteps(); };
    // Stop ends a listing or a clock check at once; the Stop that follows for opListing then
    // finds nothing left to end.
    sequencer.setListingStopped = [this] { walk.StopListing(); };
    sequencer.endListingRun = [this] {
        if (walk.Running())
            walk.EndListingRun();
    };
    sequencer.display.exitAfterQuit = [this] { return session.exitAfterQuit; };
    errors.localFileOpenFailed = [this] { sequencer.LocalFileOpenFailed(); };

    // The check file goes where the listing will look for it: the formatted top directory.
    session.sendCheckFile = [this] {
        session.NormaliseRemoteDirectory();
        clock.SendCheckFile();
    };
    session.closeMainWindow = [this] { RequestClose(); };
    session.multiSiteSiteShown = [this] {
        if (offsetLabelsChanged)
            offsetLabelsChanged();
    };
    clock.remoteDirectoryText = remoteDirectory;
    clock.continueListing = [this] { walk.ContinueAfterCheckFile(); };
    clock.labelsChanged = [this] {
        if (offsetLabelsChanged)
            offsetLabelsChanged();
    };
}

// ---- start-up ----------------------------------------------------------------------------------

void Fernhop::Start(const std::string &commandLineSite)
{
    TFtpClient &ftp = ws.FtpClient1;
    ftp.SetWinsockStarted(true);
    ws.LogLine("Welcome to Fernhop v3.7b...");
    ws.LogLine(ftp.WinsockDescription());
    ws.LogLine(ftp.WinsockSystemStatus() + " Maximum sockets: " + std::to_string(ftp.WinsockMaxSockets()));
    // Posted, as the window's own start-up message: everything else exists by the time it runs.
    QMetaObject::invokeMethod(
        &context_, [this, commandLineSite] { LoadSettings(commandLineSite); }, Qt::QueuedConnection);
}

void Fernhop::ShowSiteDirectories()
{
    ws.localTopDirectory = sites.edits.localDir;
    view.SetText(TextSlot::localDirLabel, sites.edits.localDir);
    session.SetRemoteDirEdit(sites.edits.remoteDir);
}

void Fernhop::LoadSettings(const std::string &commandLineSite, bool startUpChoice)
{
    if (settingsLoaded_)
        return;
    settingsLoaded_ = true;
    ::LoadSettings(SettingsData{options, ws.ignore, ws.extensions, &settingsBaseline}, view);
    for (const std::string &message : sites.Load())
        view.Message(message);
    if (!commandLineSite.empty())
        sites.ChooseFromCommandLine(commandLineSite);

    if (offsetLabelsChanged)
        offsetLabelsChanged();
    ShowSiteDirectories();
    if (ws.localTopDirectory.empty())
        ws.LogLine("Please change to a local directory before connecting");
    if (session.RemoteDirEdit().empty())
        ws.LogLine("Please enter the top remote directory of your FTP server in the box under the right hand "
                   "window. eg. /www/users/html");
    view.SetText(TextSlot::directionCaption, sites.Current().Download ? "&Download" : "&Upload");
    session.UpdateWindowTitle();

    if (startUpChoice && !options.multiSite && !ws.localTopDirectory.empty())
        LoadLocalTree(ws);
    view.SetEnabled(Control::changeLocalBtn, true);
    const bool connectEnabled = ws.FtpClient1.WinsockStarted();
    if (connectEnabled)
        view.SetEnabled(Control::connectBtn, true);
    else
        ws.ShowStatus("Your TCP/IP Winsock has not started");
    if (startUpChoice)
        session.StartUpChoice(connectEnabled);
}

// ---- commands ----------------------------------------------------------------------------------

void Fernhop::CompareClick()
{
    session.CommitPendingRemoteDirEdit();
    // Marks must not change under a listing or a run, nor before a stopped command has ended.
    if (walk.Running() || sequencer.Running() || ws.FtpClient1.Busy()) {
        ws.ShowStatus("Please wait: the server has not finished the last command");
        return;
    }
    ws.run.currentOperation = opIdle;
    analyseButtonClick(ws);
}

void Fernhop::UpdateClick()
{
    session.CommitPendingRemoteDirEdit();
    sequencer.StartTransfer();
}

void Fernhop::NickNameComboChange(int comboItem)
{
    if (!::NickNameComboChange(ws, sites, comboItem).switched)
        return;
    session.SetRemoteDirEdit(sites.Current().RemoteDir);
    if (offsetLabelsChanged)
        offsetLabelsChanged();
}

void Fernhop::SetupDialogOpening()
{
    sites.siteChanged = false;
}

void Fernhop::SetupDialogClosed()
{
    session.UpdateWindowTitle();
    if (sites.siteChanged) {
        ShowSiteDirectories();
        // The old site's files must not stand for the new site's.
        if (ws.localTopDirectory.empty() || !LoadLocalTree(ws))
            ClearTree(ws, ws.localTree);
    }
    view.SetText(TextSlot::directionCaption, sites.Current().Download ? "&Download" : "&Upload");
}

void Fernhop::ExitClick()
{
    session.exitAfterQuit = true;
    session.multiSiteRun = false; // the window closes after this connection, not after the run
    if (ws.FtpClient1.Connected())
        ws.FtpClient1.Quit();
    else
        RequestClose();
}

// ---- closing -----------------------------------------------------------------------------------

bool Fernhop::FormCloseQuery()
{
    RunState &run = ws.run;
    session.multiSiteRun = false;
    // Stop winds down whatever runs: a transfer is aborted and ended, a listing ended, a
    // connection attempt dropped. It also raises every stop flag.
    if (run.currentOperation != opIdle || walk.Running() || sequencer.Running())
        sequencer.Stop();
    ws.stopRequested = true;
    ws.stopLoops = true;
    run.deletePhaseDone = run.createPhaseDone = run.transferPhaseDone = true;
    run.transferCanceled = true;
    run.currentOperation = opIdle;
    session.exitAfterQuit = true;
    if (run.promptOpen)
        return false;
    if (ws.FtpClient1.Connected()) {
        ws.LogResetFtpHint();
        ws.FtpClient1.Quit(); // the disconnection steps close the window
        return false;
    }
    return true;
}

bool Fernhop::FormClose()
{
    if (closed_)
        return true;
    closed_ = true;
    const bool saved = SaveAll();
    if (settingsLoaded_)
        sequencer.display.ShutdownDump();
    return saved;
}

bool Fernhop::SaveAll()
{
    // Settings never loaded must not overwrite the files with defaults.
    if (!settingsLoaded_)
        return false;
    bool saved = true;
    const std::string problem = SaveSettings(SettingsData{options, ws.ignore, ws.extensions, &settingsBaseline}, view);
    if (problem.empty()) {
        const std::string siteProblem = sites.Save(ws.debugTrace ? [this](const std::string &line) { ws.LogLine(line); }
                                                                 : std::function<void(const std::string &)>());
        if (!siteProblem.empty()) {
            view.Message(siteProblem);
            saved = false;
        }
    } else {
        view.Message(problem);
        saved = false;
    }
    return saved;
}

bool Fernhop::RequestClose()
{
    if (closed_)
        return true;
    if (!FormCloseQuery())
        return false;
    FormClose();
    view.CloseWindow();
    return true;
}
