#pragma once
// The session controller takes the main window from not connected to logged in with a fresh
// remote tree and back: the checks before connecting, FtpClient1's properties from the site (or
// the WinGate proxy), the connect time-out on a one-second timer, the login prompts, the
// post-login steps, the end of a connection, and the multi-site run that visits every site
// marked for it. It also holds the remote directory box text, the one remote top directory the
// walk, the runs and the clock check use.
#include "config/SiteList.h"
#include "transfer/ListingWalk.h"
#include "transfer/TransferSequencer.h"
#include "transfer/Workspace.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class SessionController {
public:
    SessionController(Workspace &workspace, SiteList &sites, ListingWalk &walk, TransferSequencer &sequencer);
    SessionController(const SessionController &) = delete;
    SessionController &operator=(const SessionController &) = delete;

    // ---- hooks the owner fills ----
    // Closes the main window (the owner saves the settings first); called when the session ends
    // with exitAfterQuit set.
    std::function<void()> closeMainWindow;
    // A multi-site run made another site current: the nickname combo shows this item (-1: none).
    std::function<void(int comboItem)> selectNickNameItem;
    // A multi-site run made its next site current and shows it.
    std::function<void()> multiSiteSiteShown;
    // The check file measures the clock offset: stores it in the remote top directory.
    std::function<void()> sendCheckFile;
    // A connection attempt begins for the current site (also each site of a multi-site run).
    std::function<void(const std::string &nickName)> siteVisitStarting;
    // That site failed the checks before connecting; `problem` is the status shown.
    std::function<void(const std::string &problem)> siteChecksFailed;
    // The session is ending (the disconnection steps begin): the walk and the run still show
    // how far they got.
    std::function<void()> sessionEnding;

    // ---- session state ----
    bool connected = false;           // logged in
    std::string loginPassword;        // the site's password, or what the password prompt gave
    int connectCountdown = 0;         // seconds left for the connection attempt
    bool quitHandled = false;         // the disconnection steps ran for this connection
    bool multiSiteRun = false;
    int multiSiteIndex = -1;          // row of the site list being visited
    bool exitAfterQuit = false;       // close the main window once the session has ended

    // ---- TLS ----
    // Every site of this run over explicit TLS, whatever its own setting (batch --tls).
    bool requireTls = false;
    // Certificate fingerprints trusted for this run only (batch --trust-cert).
    std::vector<std::string> trustedFingerprints;
    // Why the last certificate was refused (its log line), for a front end that shows no log.
    std::string certificateRefusal;

    // ---- SFTP ----
    // Host key fingerprints trusted for this run only (batch --trust-host-key).
    std::vector<std::string> trustedHostKeys;
    // Why the last host key was refused (its log line), for a front end that shows no log.
    std::string hostKeyRefusal;
    // An encrypted key file's passphrase is asked for (batch mode only with --ask-passphrase);
    // otherwise that key is skipped and the log says so.
    bool askPassphrase = true;

    // ---- reconnecting after a session lost in the middle of a run ----
    // Unattended runs reconnect by themselves after these pauses (milliseconds, the last one
    // repeats); the window asks "Reconnect and continue?" instead.
    bool reconnectAutomatically = false;
    std::vector<int> reconnectPausesMs = {2000, 5000, 15000};
    bool Reconnecting() const { return reconnecting_; }

    // ---- the remote directory box ----
    const std::string &RemoteDirEdit() const { return remoteDirEdit_; }
    // Sets the text and shows it in the box.
    void SetRemoteDirEdit(const std::string &text);
    // The user typed: the text is held as it is, not shown back.
    void RemoteDirEditChanged(const std::string &text)
    {
        remoteDirEdit_ = text;
        remoteDirEdited_ = true;
    }
    // Enter in the box or leaving it: formatted, stored in the site, "Remote Directory Path Updated".
    void RemoteDirEditCommit();
    // A typed directory not yet committed (a keyboard shortcut leaves the focus in the box) is
    // committed before anything reads the site's directory or its listing cache.
    void CommitPendingRemoteDirEdit();
    bool RemoteDirEditPending() const { return remoteDirEdited_; }
    // Formats the box text, writes it back and stores it in the current site (as "&Replace").
    void NormaliseRemoteDirectory();

    // ---- commands ----
    void ConnectButtonClick(); // Connect, or Disconnect while connected
    // Checks the site and starts a connection attempt; false when a check failed.
    bool Connect();
    void Disconnect();
    void RefreshRemoteButtonClick();
    // "Start &Multi-Site Transfer", and start-up with the multiSite option.
    void StartMultiSiteRun();
    // After the settings are loaded: a multi-site run, an automatic connect, or the buttons on.
    void StartUpChoice(bool connectEnabled);
    // "&Reset FTP": ends a session that does not answer.
    void ResetFtpClick();
    // The title from the current site's nickname, when it has a combo item.
    void UpdateWindowTitle();
    // The once-a-second tick of Timer1: connect time-out, and the blinking entry icon while a
    // deletion prompt is open. Tests may call it directly.
    void Timer1Timer();
    QTimer &Timer1() { return timer1_; }

    // ---- FtpClient1 events ----
    void FtpClient1LoggedIn(TFtpClient *Sender);
    void FtpClient1FtpNeedInfo(TFtpClient *Sender, TFtpInfoNeeded need, std::string &value);
    bool FtpClient1Certificate(TFtpClient *Sender, const TlsPeerInfo &peer);
    bool FtpClient1HostKey(TFtpClient *Sender, const SshHostKey &key);
    void FtpClient1FtpReady(TFtpClient *Sender);
    void FtpClient1FtpQuit(TFtpClient *Sender);

    // ---- steps the other parts call back into ----
    // After login (and its after-login command): the cached tree or a listing.
    void PostLoginSteps();
    // The listing walk's end of a refresh that was stopped or failed: Stop ends a multi-site
    // run; a failed site is quit and the run goes on with the next one.
    void ListingRunEnded();
    // Runs once per connection: save the cache, the disconnected look, the next site, the exit.
    void DisconnectionSteps();
    void ResetCompareState();
    void DisconnectedLook();
    // Ends a multi-site run early (a site failed its checks, its listing failed, or there was no
    // site to visit). With `exit` on the program closes, so an unattended run never stalls.
    void EndMultiSiteRunEarly();

private:
    // The problem that keeps the current site from connecting, shown already; empty when none.
    std::string ChecksBeforeConnecting();
    bool ShowMultiSiteSite();
    bool FindNextMultiSite();
    void ConnectNextSiteLater();
    // A multi-site run is done with its site: the next one, or the end of the run.
    void MoveOnToNextSite();
    void CloseMainWindow();
    std::string SiteServer() const { return sites_.edits.server; }
    // A client's server, port, user, password and TLS from the site (or the WinGate proxy):
    // FtpClient1's, and those of a run's extra connections.
    void SetUpClient(TFtpClient &ftp);
    // The session went while a run was under way: whether to reconnect and go on with it.
    bool ReconnectWanted();
    void BeginReconnect();
    void Reconnect();

    Workspace &ws_;
    SiteList &sites_;
    ListingWalk &walk_;
    TransferSequencer &sequencer_;
    std::string acceptedFingerprint_; // the certificate this session's connection took
    std::string acceptedHostKey_;     // the host key this session's connection took
    // The passphrase typed for the site's key file, held in memory only while this session's
    // extra connections and reconnects need it; a new connection asks again.
    std::string keyPassphrase_;
    bool keyPassphraseHeld_ = false;
    // The passphrase prompt: the window's dialog, the batch terminal, or the key skipped.
    void AskKeyPassphrase(TFtpClient *Sender, std::string &value);
    std::string remoteDirEdit_;
    bool remoteDirEdited_ = false; // typed since the last commit
    bool loginPromptOpen_ = false; // the countdown waits while the user types
    bool quitWanted_ = false;      // Disconnect came while a command was in flight
    bool refreshWaiting_ = false;  // Refresh came while a stopped command was still in flight
    bool reconnecting_ = false;    // the run waits for a new session to go on
    int reconnectTries_ = 0;       // reconnects since the run last got on
    int remainAtLastLoss_ = -1;    // the run's steps left when the session was last lost
    SiteNode *nodeAtLastLoss_ = nullptr; // compared only, never followed
    TOperation resumeOperation_ = opIdle;
    QTimer timer1_;
    QObject context_; // owns the posted next-site connect
};
