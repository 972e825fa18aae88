// TFtpClient: the life of a session. Connecting, the end of a session (Disconnect, the server's
// close, the socket error check), Reset, and the completion (1028) and quit (1026) messages,
// which are always posted so that the owner's handlers run from the event loop.
#include "ftp/Ftp.h"

#include "ftp/FtpErrors.h"
#include "ftp/SftpEngine.h"
#include "net/WinsockErrors.h"

#include <chrono>

namespace {
int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

void TFtpClient::Connect()
{
    if (busy_) {
        RaiseInfo(fiBusy, "");
        return;
    }
    OnTimeOut = [this](TAsyncSocket *) { Disconnect(feConnectionTimeout); };
    lastErrorCode_ = feNone;
    success_ = true;
    if (!StartWinsock()) {
        ReportError(feWinsockNotInitialised);
        return;
    }
    if (FtpServer().empty()) {
        std::string server;
        AskFor(needServer, server);
        if (server.empty()) {
            ReportError(feNoServer);
            return;
        }
        SetFtpServer(server);
    }
    if (UseSftp) {
        if (!sftp_)
            sftp_ = std::make_unique<SftpEngine>(*this);
        sftp_->Connect();
        return;
    }
    sftp_.reset();
    if (Port == 0)
        Port = 21;
    multiLine_ = false;
    multiLineCode_.clear();
    // What the last session learnt of its server does not hold for this one.
    hiddenRefused_ = false;
    hiddenConfirmed_ = false;
    mdtmRefused_ = false;
    mlsdRefused_ = false;
    epsvRefused_ = false;
    typeInForce_ = 0;
    dataCommandWaits_ = false;
    features_.clear();
    SetReplyState(stGreeting);

    OnConnected = [this](TAsyncSocket *) { ControlConnected(); };
    OnDataAvailable = [this](TAsyncSocket *) { ReadControl(); };
    OnClosed = [this](TAsyncSocket *) { ControlClosed(); };
    OnNextAddress = [this](TAsyncSocket *) { TryingNextAddress(); };
    StartConnection();
}

void TFtpClient::StartConnection()
{
    CreateSocket();
    if (SocketErrorCheck())
        return;
    // A known address (given as numbers, or found by an earlier lookup) is used without a lookup.
    if (!Address.empty()) {
        SetAddress(Address);
        SetPort(Port);
        ConnectSocket();
        SocketErrorCheck();
    } else {
        RaiseInfo(fiResolving, HostName);
        ResolveHost(HostName);
        SocketErrorCheck();
    }
}

void TFtpClient::HostResolved()
{
    if (SocketErrorCheck()) // a failed lookup ends here with feAddressResolution
        return;
    UseResolvedAddress();
    SetPort(Port);
    Address = GetAddressString();
    RaiseInfo(fiConnecting, Address);
    if (AddressesLeft() > 0) // the trace names every address tried
        Trace("-> Connecting to " + Address + " port " + std::to_string(Port));
    ConnectSocket();
    SocketErrorCheck();
}

// The server's name gave more than one address and the last one tried failed: the socket is
// on to the next.
void TFtpClient::TryingNextAddress()
{
    Trace("-> No connection to " + Address + ": " + WinsockErrorName(LastError()));
    Address = GetAddressString();
    RaiseInfo(fiConnecting, Address);
    Trace("-> Connecting to " + Address + " port " + std::to_string(Port));
}

void TFtpClient::ControlConnected()
{
    if (LastError() != 0) {
        Trace("-> No connection to " + Address + ": " + WinsockErrorName(LastError()));
        SocketErrorCheck();
        return;
    }
    SetReplyState(stGreeting);
    RaiseInfo(fiConnected, Address);
    connected_ = true;
    receiveCarry_.clear();
    inHandler_ = false;
    quitSent_ = false;
    loggedIn_ = false;
    tlsData_ = false;
    serverFingerprint_.clear();
    ForgetAbort();
}

void TFtpClient::ControlClosed()
{
    replyTimer_.stop();
    RaiseInfo(fiNotConnected, "Disconnected");
    if (OperationRunning()) {
        // Cut off in the middle: whatever the operation got so far, it did not succeed.
        uint16_t number = LastError();
        FtpError code = number != 0 ? FtpErrorFromWinsock(number) : feConnectionAborted;
        if (number != 0 && IsInternalWinsockError(number))
            socketErrorNumber_ = number;
        lastErrorCode_ = code;
        RaiseError(code);
        FailRunningOperation();
    } else if (replyState_ <= stInitialCwd && !quitSent_) {
        success_ = false; // a login that did not finish
    }
    ForgetAbort(); // a completion held for the ABOR's reply is the one posted here
    PostCompletion();
    PostQuit();
    connected_ = false;
}

// The QUIT's reply did not come within QuitReplyWaitMs: the session ends as the server's close
// would end it. A later session (its own QUIT not sent yet) is left alone.
void TFtpClient::QuitWaitOver()
{
    if (!connected_ || closing_ || !quitSent_ || replyState_ != stQuit)
        return;
    Trace("-> Not waiting any longer for the reply to QUIT");
    CloseDataSockets();
    Close();
    ControlClosed();
}

// An operation has started and its completion has not been posted yet (a QUIT is no operation
// that could fail: the server's close is its end).
bool TFtpClient::OperationRunning() const
{
    return busy_ && !completionPosted_ && !quitSent_;
}

// The session ends under the running operation: its completion reports a failure, and nothing
// of it stays open.
void TFtpClient::FailRunningOperation()
{
    success_ = false;
    CloseDataSockets();
    CloseLocalFile();
    if (pending_ == peCheckFileSent) {
        checkFinished_ = true;
        checkFailed_ = true;
    }
}

void TFtpClient::NoteActivity() { lastActivityMs_ = NowMs(); }

// Runs every quarter second once logged in. Only waiting counts: an idle session may stay quiet
// for as long as its owner likes.
void TFtpClient::CheckReplyTimeOut()
{
    if (ReplyTimeOutSeconds <= 0 || !loggedIn_ || !connected_ || closing_)
        return;
    bool waiting = commandReplyOwed_ || abortReplyOwed_ || aheadOwed_ || aheadDropsOwed_ > 0 || OperationRunning();
    if (!waiting) {
        NoteActivity();
        return;
    }
    if (NowMs() - lastActivityMs_ >= int64_t(ReplyTimeOutSeconds) * 1000)
        ReplyTimedOut();
}

// A server that stopped answering ends the session as a lost connection does: the error, the
// running operation's completion as a failure, then the quit.
void TFtpClient::ReplyTimedOut()
{
    if (sftp_)
        sftp_->Drop();
    replyTimer_.stop();
    replyTimeOutText_ = "Server did not answer " + lastCommand_ + " for " + std::to_string(ReplyTimeOutSeconds) +
                        (ReplyTimeOutSeconds == 1 ? " second" : " seconds");
    Trace("-> " + replyTimeOutText_);
    CloseDataSockets();
    Close();
    connected_ = false;
    loggedIn_ = false;
    lastErrorCode_ = feReplyTimeOut;
    RaiseError(feReplyTimeOut);
    FailRunningOperation();
    ForgetAbort();
    PostCompletion();
    PostQuit();
}

// After socket calls on the control connection. A Winsock error ends the session: OnFtpError
// with the mapped code, and Closing stays latched until Reset.
bool TFtpClient::SocketErrorCheck()
{
    if (closing_)
        return false;
    uint16_t number = LastError();
    if (number == 0) {
        lastErrorCode_ = feNone;
        return false;
    }
    if (IsInternalWinsockError(number))
        socketErrorNumber_ = number;
    Disconnect(FtpErrorFromWinsock(number));
    closing_ = true;
    CloseDataSockets();
    Close();
    PostQuit();
    return true;
}

void TFtpClient::Disconnect(FtpError code)
{
    if (closing_)
        return;
    if (sftp_)
        sftp_->Drop();
    replyTimer_.stop();
    CloseDataSockets();
    Close();
    connected_ = false;
    success_ = false;
    lastErrorCode_ = code;
    RaiseError(code);
    if (ForgetAbort())
        PostCompletion(); // the aborted operation still ends with its completion, before the quit
    PostQuit();
}

void TFtpClient::Reset()
{
    if (sftp_)
        sftp_->Drop();
    replyTimer_.stop();
    loggedIn_ = false;
    CloseDataSockets();
    Close();
    connected_ = false;
    success_ = false;
    CloseLocalFile();
    aborting_ = false;
    ForgetAbort();
    busy_ = false;
    closing_ = false;
    lastErrorCode_ = feNone;
}

void TFtpClient::CloseDataSockets()
{
    DataSocket.Close();
    AcceptedSocket.Close();
}

void TFtpClient::PostCompletion()
{
    completionPosted_ = true;
    PostMessage(kMsgFtpReady);
}

void TFtpClient::PostQuit()
{
    // One end of a session posts one quit: a fatal socket error both disconnects and shuts
    // down, and the owner must not run its end-of-session steps twice.
    if (quitPending_)
        return;
    quitPending_ = true;
    PostMessage(kMsgFtpQuit);
}

void TFtpClient::HandleMessage(TMessage &msg)
{
    if (msg.Msg == kMsgFtpReady)
        ProcessCompletion();
    else if (msg.Msg == kMsgFtpQuit)
        ProcessQuit();
}

void TFtpClient::ProcessCompletion()
{
    if (abortReplyOwed_ || aheadOwed_) {
        // The ABOR's (or the passive command's sent ahead) reply is still to come: an owner that
        // started its next command now would get that reply for the command's. The completion
        // is posted again once it has come.
        completionHeld_ = true;
        return;
    }
    busy_ = false;
    if (aborting_)
        success_ = false; // whatever the server answered, an aborted transfer did not arrive whole
    TFtpNotifyEvent ready = OnFtpReady;
    if (ready)
        ready(this);
    if (aborting_) {
        CloseDataSockets();
        aborting_ = false;
    }
    RaisePendingEvent();
    RaiseInfo(fiReady, "");
}

void TFtpClient::RaisePendingEvent()
{
    if (pending_ == peCheckFileSent) {
        if (!checkFinished_)
            return; // stays pending until the check file's outcome is known
        pending_ = peNone;
        TFtpCheckFileSentEvent handler = OnCheckFileSent;
        if (handler)
            handler(this, Now(), checkFailed_);
        return;
    }
    // Cleared before raising, so that the handler may start the next operation.
    TPendingEvent event = pending_;
    pending_ = peNone;
    TFtpNotifyEvent handler;
    switch (event) {
    case peNone: return;
    case peLoggedIn: handler = OnLoggedIn; break;
    case peDirectoryChanged: handler = OnDirectoryChanged; break;
    case peDirectoryCreated: handler = OnDirectoryCreated; break;
    case peDirectoryDeleted: handler = OnDirectoryDeleted; break;
    case peFileDeleted: handler = OnFileDeleted; break;
    case peFileReceived: handler = OnFileReceived; break;
    case peFileStored: handler = OnFileStored; break;
    case peListingDone: handler = OnListingDone; break;
    case peCommandIssued: handler = OnCommandIssued; break;
    case peFileTimeDone: handler = OnFileTimeDone; break;
    case peCheckFileSent: return;
    }
    if (handler)
        handler(this);
}

void TFtpClient::ProcessQuit()
{
    busy_ = false;
    quitPending_ = false;
    TFtpNotifyEvent handler = OnFtpQuit;
    if (handler)
        handler(this);
}
