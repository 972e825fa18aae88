#include "transfer/SessionController.h"

#include "base/Text.h"
#include "site/LocalScan.h"
#include "site/TreeEntries.h"
#include "transfer/CertificateCheck.h"
#include "transfer/FtpErrorHandler.h"
#include "transfer/HostKeyCheck.h"
#include "transfer/RemotePath.h"
#include "transfer/SiteSwitch.h"

#include <algorithm>
#include <sys/stat.h>

namespace {

bool IsDirectory(const std::string &path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The tree a node belongs to, found through its top-level ancestor.
SiteTree *TreeOf(Workspace &ws, SiteNode *node)
{
    SiteNode *top = node;
    while (top->Parent())
        top = top->Parent();
    for (SiteTree *tree : {&ws.localTree, &ws.remoteTree})
        if (top->Row() < tree->TopCount() && tree->Top(top->Row()) == top)
            return tree;
    return nullptr;
}

uint16_t PortOf(int port, bool useSftp = false)
{
    return port > 0 && port <= 65535 ? uint16_t(port) : uint16_t(DefaultPort(useSftp));
}

} // namespace

SessionController::SessionController(Workspace &workspace, SiteList &sites, ListingWalk &walk,
                                     TransferSequencer &sequencer)
    : ws_(workspace), sites_(sites), walk_(walk), sequencer_(sequencer)
{
    timer1_.setInterval(1000);
    QObject::connect(&timer1_, &QTimer::timeout, &context_, [this] { Timer1Timer(); });
    timer1_.start();
    // A run's extra connections log in as FtpClient1 did, and take only the certificate it took.
    TransferPool &pool = sequencer_.Pool();
    pool.setUpClient = [this](TFtpClient &client) { SetUpClient(client); };
    pool.afterLoginCommand = [this] { return sites_.Current().AfterLoginCommand; };
    pool.trustCertificate = [this](const TlsPeerInfo &peer) {
        return !acceptedFingerprint_.empty() && peer.fingerprint == acceptedFingerprint_;
    };
    pool.trustHostKey = [this](const SshHostKey &key) {
        return !acceptedHostKey_.empty() && key.fingerprint == acceptedHostKey_;
    };
    pool.keyPassphrase = [this]() -> std::optional<std::string> {
        if (!keyPassphraseHeld_)
            return std::nullopt;
        return keyPassphrase_;
    };
}

// ---- the remote directory box ------------------------------------------------------------------

void SessionController::SetRemoteDirEdit(const std::string &text)
{
    remoteDirEdited_ = false;
    remoteDirEdit_ = text;
    ws_.view.SetText(TextSlot::remoteDirEdit, text);
}

void SessionController::NormaliseRemoteDirectory()
{
    if (multiSiteRun)
        sites_.ChooseRow(multiSiteIndex);
    SetRemoteDirEdit(Cut255(FormatRemotePath(remoteDirEdit_, ws_.options)));
    const std::string problem = sites_.StoreRemoteDirectory(remoteDirEdit_);
    if (!problem.empty())
        ws_.view.Message(problem);
}

void SessionController::RemoteDirEditCommit()
{
    remoteDirEdited_ = false;
    NormaliseRemoteDirectory();
    ws_.ShowStatus("Remote Directory Path Updated");
}

void SessionController::UpdateWindowTitle()
{
    const bool selected = sites_.NickNameItemOfRow(sites_.CurrentRow()) >= 0;
    ws_.view.SetText(TextSlot::windowTitle, MainWindowTitle(selected ? sites_.Current().NickName : std::string()));
}

// ---- connecting --------------------------------------------------------------------------------

// A multi-site run shows its site as a site switch would, with a fresh local tree. False when
// the local tree could not be read whole: an upload compared against a missing or half-read
// local tree would delete the server's files.
bool SessionController::ShowMultiSiteSite()
{
    sites_.ChooseRow(multiSiteIndex);
    const TmultFTP &site = sites_.Current();
    ws_.localTopDirectory = site.LocalDir;
    ws_.view.SetText(TextSlot::localDirLabel, site.LocalDir);
    SetRemoteDirEdit(site.RemoteDir);
    ws_.view.SetText(TextSlot::directionCaption, site.Download ? "&Download" : "&Upload");
    if (selectNickNameItem)
        selectNickNameItem(sites_.NickNameItemOfRow(sites_.CurrentRow()));
    UpdateWindowTitle();
    if (multiSiteSiteShown)
        multiSiteSiteShown();
    if (site.LocalDir.empty())
        return true; // the check below reports it
    ws_.stopLoops = false;
    return LoadLocalTree(ws_) && !ws_.stopLoops;
}

std::string SessionController::ChecksBeforeConnecting()
{
    if (multiSiteRun && !ShowMultiSiteSite())
        return "the local directory could not be read";
    MainView &view = ws_.view;
    const std::string &localDir = ws_.localTopDirectory;
    auto refuse = [&](const std::string &status, const std::string &message) {
        ws_.ShowStatus(status);
        view.Message(message);
        return status;
    };
    if (localDir.empty())
        return refuse("No local directory to change to", "Please press 'change' to select a local directory");
    if (!IsDirectory(localDir)) {
        // The local tree cannot stand for a directory that is gone.
        return refuse("Could not change to local directory: " + localDir,
                      "Please press 'change' to select a local directory");
    }
    if (sites_.edits.server.empty())
        return refuse("No FTP server name", "Please enter a FTP server name under the configuration menu");
    if (sites_.edits.userName.empty())
        return refuse("No username details", "Please enter your username under the configuration menu");
    loginPassword = sites_.edits.password;
    return {};
}

void SessionController::ResetCompareState()
{
    ws_.run.ftpErrorSeen = false;
    ws_.ShowStatus("");
    ws_.view.ShowProgressPanel(false);
    ws_.view.SetEnabled(Control::updateBtn, false);
    ws_.view.SetEnabled(Control::compareBtn, false);
    walk_.ClearListingFlags();
    ws_.run.transferCanceled = false;
}

bool SessionController::Connect()
{
    // A session that is still ending would end the new one with its late quit.
    TFtpClient &client = ws_.FtpClient1;
    if (client.Connected() || client.Busy() || client.QuitPending()) {
        ws_.ShowStatus("Please wait: the last connection is still closing");
        return false;
    }
    if (multiSiteRun)
        sites_.ChooseRow(multiSiteIndex);
    if (siteVisitStarting)
        siteVisitStarting(sites_.Current().NickName);
    if (const std::string problem = ChecksBeforeConnecting(); !problem.empty()) {
        if (siteChecksFailed)
            siteChecksFailed(problem);
        ws_.MainButtonsOn();
        if (multiSiteRun)
            MoveOnToNextSite();
        return false;
    }
    ws_.stopRequested = false;
    ws_.stopLoops = false;
    ws_.remoteListing = false;
    ResetCompareState();
    ws_.AllButtonsOff();
    ClearTree(ws_, ws_.remoteTree);
    ws_.remoteHiddenUnlisted = false; // a cached tree is taken as it was saved
    ws_.view.ClearLog();
    if (!sites_.Current().Download && !ws_.options.forceRerfesh) {
        ws_.ShowStatus("Loading Cached FTP File List");
        if (ws_.loadListingCache)
            ws_.loadListingCache();
    }

    acceptedFingerprint_.clear();
    acceptedHostKey_.clear();
    keyPassphrase_.clear();
    keyPassphraseHeld_ = false;
    SetUpClient(ws_.FtpClient1);

    quitHandled = false;
    quitWanted_ = false;
    reconnecting_ = false;
    reconnectTries_ = 0;
    remainAtLastLoss_ = -1;
    ws_.run.currentOperation = opConnecting;
    connectCountdown = ws_.options.connectTimeOut;
    ws_.FtpClient1.Connect();
    ws_.view.SetEnabled(Control::stopBtn, true);
    return true;
}

void SessionController::SetUpClient(TFtpClient &ftp)
{
    const ProxyOptions &proxy = ws_.options.proxy;
    const bool sftp = sites_.edits.useSftp;
    // The WinGate proxy speaks FTP: an SFTP site is reached directly.
    if (proxy.active && !sftp) {
        // WinGate takes the real server from the user name.
        ftp.SetFtpServer(proxy.server);
        ftp.UserName = sites_.edits.userName + "@" + sites_.edits.server;
        ftp.SetFtpPort(PortOf(proxy.port));
    } else {
        ftp.SetFtpServer(sites_.edits.server);
        ftp.UserName = sites_.edits.userName;
        ftp.SetFtpPort(PortOf(sites_.edits.port, sftp));
    }
    ftp.UseSftp = sftp;
    // Commands sent ahead of their turn could confuse the proxy's relaying.
    ftp.PassiveAhead = !proxy.active;
    ftp.SshKeyFile = sftp ? sites_.edits.keyFile : std::string();
    // Through the proxy too, the certificate must name the server the user means.
    ftp.TlsHostName = sites_.edits.server;
    ftp.UserPassword = loginPassword;
    ftp.InitialDirectory.clear();
    ftp.ReplyTimeOutSeconds = std::max(0, ws_.options.replyTimeOut);
    // The ticked box counts before it is stored with Replace: the password never goes in clear
    // against what the user set.
    ftp.RequireTls = requireTls || sites_.edits.requireTls || sites_.Current().RequireTls;
}

// The server's certificate over TLS: CheckCertificate decides, the log says how; "always trust"
// stores the fingerprint with the site.
bool SessionController::FtpClient1Certificate(TFtpClient *, const TlsPeerInfo &peer)
{
    const TmultFTP &site = sites_.Current();
    // The connect countdown waits while the user compares the fingerprint, as for the password.
    loginPromptOpen_ = true;
    const CertificateVerdict verdict =
        CheckCertificate(peer, sites_.edits.server, site.NickName, site.TrustedCert, trustedFingerprints, ws_.view);
    loginPromptOpen_ = false;
    ws_.LogLine(verdict.logLine);
    certificateRefusal = verdict.accepted ? std::string() : verdict.logLine;
    acceptedFingerprint_ = verdict.accepted ? peer.fingerprint : std::string();
    if (verdict.storeFingerprint) {
        if (std::string problem = sites_.SetTrustedCertificate(peer.fingerprint); !problem.empty())
            ws_.LogLine("The certificate is trusted for this session only: " + problem);
    }
    return verdict.accepted;
}

// An SFTP server's host key that known_hosts does not name: CheckHostKey decides, the log says
// how; "Always Trust" stores the fingerprint with the site. A reconnect in the middle of a run
// takes the key this session took without asking again.
bool SessionController::FtpClient1HostKey(TFtpClient *, const SshHostKey &key)
{
    if (reconnecting_ && !acceptedHostKey_.empty() && key.fingerprint == acceptedHostKey_)
        return true;
    const TmultFTP &site = sites_.Current();
    const int port = PortOf(sites_.edits.port, true);
    const std::string host = sites_.edits.server + (port == 22 ? std::string() : ":" + std::to_string(port));
    loginPromptOpen_ = true; // the connect countdown waits while the user compares the fingerprint
    const HostKeyVerdict verdict = CheckHostKey(key, host, site.NickName, site.TrustedHostKey, trustedHostKeys, ws_.view);
    loginPromptOpen_ = false;
    ws_.LogLine(verdict.logLine);
    hostKeyRefusal = verdict.accepted ? std::string() : verdict.logLine;
    acceptedHostKey_ = verdict.accepted ? key.fingerprint : std::string();
    if (verdict.storeKey) {
        if (std::string problem = sites_.SetTrustedHostKey(key.fingerprint); !problem.empty())
            ws_.LogLine("The host key is trusted for this session only: " + problem);
    }
    return verdict.accepted;
}

void SessionController::CommitPendingRemoteDirEdit()
{
    if (remoteDirEdited_)
        RemoteDirEditCommit();
}

void SessionController::ConnectButtonClick()
{
    CommitPendingRemoteDirEdit();
    if (connected)
        Disconnect();
    else
        Connect();
}

void SessionController::Timer1Timer()
{
    RunState &run = ws_.run;
    // Between reconnect attempts nothing is connecting: the pause has its own timer.
    const bool reconnectPause = reconnecting_ && quitHandled;
    if (run.currentOperation == opConnecting && !loginPromptOpen_ && !reconnectPause) {
        if (connectCountdown <= 0) {
            ws_.LogLine("Timeout connecting to: " + SiteServer());
            DisconnectionSteps();
        } else {
            --connectCountdown;
            ws_.ShowStatus(std::string("Connecting ") + (ws_.options.proxy.active ? "via WinGate " : "") +
                           "to: " + SiteServer() + "  Timeout: " + std::to_string(connectCountdown));
        }
    }
    if (run.promptOpen && run.transferNode) {
        SiteNode *node = run.transferNode;
        node->icon = node->icon == iconAlert ? iconFailed : iconAlert;
        if (SiteTree *tree = TreeOf(ws_, node))
            tree->NotifyChanged(node);
    }
}

void SessionController::AskKeyPassphrase(TFtpClient *Sender, std::string &value)
{
    const std::string &keyFile = Sender->SshKeyFile;
    if (reconnecting_ && keyPassphraseHeld_) {
        value = keyPassphrase_;
        return;
    }
    if (!askPassphrase) {
        // No answer and no abandoned login: the client goes on without the key.
        ws_.LogLine("FERNHOP: the key file " + keyFile +
                    " is encrypted; it is skipped (--ask-passphrase reads its passphrase from the terminal)");
        return;
    }
    ws_.ShowStatus("Key file passphrase needed");
    std::string text;
    loginPromptOpen_ = true;
    const bool answered = ws_.view.MaskedInputQuery(
        "Fernhop SSH Key", "Please enter the passphrase of the key file " + keyFile + ":", text);
    loginPromptOpen_ = false;
    if (!answered) {
        ws_.ShowStatus("Login canceled");
        Sender->AbandonLogin();
        return;
    }
    keyPassphrase_ = text;
    keyPassphraseHeld_ = true;
    value = text;
}

void SessionController::FtpClient1FtpNeedInfo(TFtpClient *Sender, TFtpInfoNeeded need, std::string &value)
{
    if (need == needPassphrase) {
        AskKeyPassphrase(Sender, value);
        return;
    }
    const bool password = need == needPassword;
    ws_.ShowStatus(password ? "No password details" : "Need more information");
    std::string text = value;
    loginPromptOpen_ = true;
    const bool answered =
        password ? ws_.view.MaskedInputQuery("Fernhop FTP Login", "Please enter the login password:", text)
                 : ws_.view.MaskedInputQuery("Information Required", "Please enter the additional information:", text);
    loginPromptOpen_ = false;
    if (!answered && need != needServer) {
        // A cancelled prompt is no answer: the login ends instead of sending what was typed.
        ws_.ShowStatus("Login canceled");
        Sender->AbandonLogin();
        return;
    }
    if (password)
        loginPassword = text;
    value = text;
}

void SessionController::FtpClient1LoggedIn(TFtpClient *Sender)
{
    connected = true;
    ws_.run.currentOperation = opAfterLogin; // the connect countdown is over
    ws_.ShowStatus("Connected");
    MainView &view = ws_.view;
    view.SetText(TextSlot::statusPanel0, SiteServer());
    view.SetText(TextSlot::statusPanel1, Sender->SystemType());
    view.SetText(TextSlot::connectCaption, "Dis&connect");
    view.SetEnabled(Control::nickNameCombo, false);
    ws_.PlayEventSound(SoundEvent::Connect);
    const std::string &command = sites_.Current().AfterLoginCommand;
    if (command.empty()) {
        PostLoginSteps();
        return;
    }
    // Its completion, refused or not, comes back through continueAfterLogin.
    ws_.run.afterCommand = 2;
    Sender->SendCommand(command);
}

void SessionController::PostLoginSteps()
{
    if (!connected)
        return;
    if (reconnecting_) {
        // The trees and their marks are as the lost session left them: the run goes on.
        reconnecting_ = false;
        ws_.run.currentOperation = resumeOperation_;
        ws_.LogLine("FERNHOP: reconnected; the run goes on");
        ws_.ShowStatus("Reconnected");
        sequencer_.ResumeAfterReconnect();
        return;
    }
    walk_.StartRemoteRefresh();
}

void SessionController::RefreshRemoteButtonClick()
{
    CommitPendingRemoteDirEdit();
    if (!connected) {
        ws_.ShowStatus("Not Connected to Remote Site");
        return;
    }
    // A refresh clears the remote tree: never under a scan, a listing or a run.
    if (ws_.localLoading || walk_.Running() || sequencer_.Running() || ws_.run.currentOperation != opIdle)
        return;
    // After Stop the stopped command may still await its reply, which the refresh would take
    // for its own first one: it starts once the client is free.
    if (ws_.FtpClient1.Busy()) {
        ws_.ShowStatus("Waiting for the server to answer the stopped command");
        refreshWaiting_ = true;
        return;
    }
    refreshWaiting_ = false;
    ws_.AllButtonsOff();
    ResetCompareState();
    walk_.RefreshRemoteTree();
}
