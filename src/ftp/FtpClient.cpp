// TFtpClient: construction, the common preamble of the operations, the simple operations and
// the reporting helpers.
#include "ftp/Ftp.h"

#include "base/Text.h"
#include "ftp/SftpEngine.h"

TFtpClient::TFtpClient(QObject *owner) : TAsyncSocket(owner)
{
    Port = 21;
    OnMessage = [this](TMessage &msg) { HandleMessage(msg); };
    replyTimer_.setInterval(250);
    QObject::connect(&replyTimer_, &QTimer::timeout, this, [this] { CheckReplyTimeOut(); });
    aheadDropTimer_.setSingleShot(true);
    aheadDropTimer_.setInterval(1000);
    QObject::connect(&aheadDropTimer_, &QTimer::timeout, this, [this] { DropUnusedPassive(); });
    DataSocket.StartWinsock();
    AcceptedSocket.StartWinsock();
}

TFtpClient::~TFtpClient()
{
    CloseDataSockets();
    Close();
    CloseLocalFile();
}

void TFtpClient::SetWinsockStarted(bool on)
{
    if (on)
        StartWinsock();
    else
        UnloadWinsock();
}

// The preamble every command operation runs. Success and the pending event change before the
// checks, so a call refused as "not connected" or "busy" still changes them.
bool TFtpClient::BeginOperation(bool setsSuccess, bool setsPending, TPendingEvent pending)
{
    if (setsSuccess)
        success_ = true;
    if (setsPending)
        pending_ = pending;
    if (!connected_) {
        RaiseInfo(fiNotConnected, "");
        return false;
    }
    if (busy_) {
        RaiseInfo(fiBusy, "");
        return false;
    }
    lastErrorCode_ = feNone;
    busy_ = true;
    completionPosted_ = false;
    return true;
}

void TFtpClient::StartSimpleCommand(const std::string &command, TPendingEvent pending)
{
    if (BeginOperation(true, true, pending))
        SendInState(command, stSimpleCommand);
}

void TFtpClient::ChangeDirectory(const std::string &directory)
{
    if (sftp_) {
        sftp_->ChangeDirectory(directory);
        return;
    }
    if (!BeginOperation(true, true, peDirectoryChanged))
        return;
    InitialDirectory = directory;
    SendInState("CWD " + directory, stSimpleCommand);
}

void TFtpClient::MakeDirectory(const std::string &directory)
{
    if (sftp_) {
        sftp_->MakeDirectory(directory);
        return;
    }
    StartSimpleCommand("MKD " + directory, peDirectoryCreated);
}

void TFtpClient::RemoveDirectory(const std::string &directory)
{
    if (sftp_) {
        sftp_->RemoveDirectory(directory);
        return;
    }
    StartSimpleCommand("RMD " + directory, peDirectoryDeleted);
}

void TFtpClient::DeleteFile(const std::string &name)
{
    if (sftp_) {
        sftp_->DeleteFile(name);
        return;
    }
    StartSimpleCommand("DELE " + name, peFileDeleted);
}

void TFtpClient::SendCommand(const std::string &line)
{
    if (sftp_) {
        sftp_->SendCommand(line);
        return;
    }
    if (!BeginOperation(true, true, peCommandIssued))
        return;
    // A type set (or the session reset) behind the transfers' back: the next transfer says its own.
    const std::string verb = UpperAZ(line.substr(0, line.find(' ')));
    if (verb == "TYPE" || verb == "REIN")
        typeInForce_ = 0;
    SendInState(line, stRawCommand);
}

void TFtpClient::GetFileTime(const std::string &remotePath)
{
    if (sftp_) {
        sftp_->GetFileTime(remotePath);
        return;
    }
    if (!BeginOperation(true, true, peFileTimeDone))
        return;
    remoteFileTime_ = 0;
    if (remotePath.empty() || ContainsLineBreak(remotePath)) {
        // A line break would smuggle a second command to the server.
        Trace("-> MDTM not sent: the path is empty or holds a line break");
        ReportError(feFileNotFound);
        PostCompletion();
        return;
    }
    SendInState("MDTM " + remotePath, stMdtm);
}

void TFtpClient::KeepAlive()
{
    if (sftp_) {
        sftp_->KeepAlive();
        return;
    }
    // Called by long local loops at any moment: a NOOP sent during the login or after QUIT
    // would break that chain, and one sent while busy would take over the running operation's
    // completion, so it does nothing then. (A finished transfer may leave its own state number
    // behind, so "idle" is not the test.)
    bool loginOrQuitRunning = replyState_ <= stInitialCwd || replyState_ == stQuit;
    if (!connected_ || busy_ || closing_ || loginOrQuitRunning)
        return;
    if (BeginOperation(false, true, peNone))
        SendInState("NOOP", stNoop);
}

void TFtpClient::Quit()
{
    if (sftp_) {
        sftp_->Quit();
        return;
    }
    if (!BeginOperation(false, false, peNone))
        return;
    SendInState("QUIT", stQuit);
    if (QuitReplyWaitMs >= 0)
        QTimer::singleShot(QuitReplyWaitMs, this, [this] { QuitWaitOver(); });
}

void TFtpClient::RaiseInfo(FtpInfo info, const std::string &addinfo)
{
    TFtpInfoEvent handler = OnFtpInfo;
    if (handler)
        handler(this, info, addinfo);
}

void TFtpClient::RaiseError(FtpError code)
{
    TFtpErrorEvent handler = OnFtpError;
    if (handler)
        handler(this, code, "Error");
}

void TFtpClient::ReportError(FtpError code)
{
    success_ = false;
    lastErrorCode_ = code;
    RaiseError(code);
}

void TFtpClient::FailCommand()
{
    RaiseInfo(fiCommandFailed, "");
    success_ = false;
}

bool TFtpClient::AskFor(TFtpInfoNeeded need, std::string &value)
{
    loginAbandoned_ = false;
    TFtpInfoNeededEvent handler = OnFtpNeedInfo;
    if (handler)
        handler(this, need, value);
    return !loginAbandoned_;
}
