// TFtpClient: the data operations. Each checks its local side first (names given, the local
// file opened or created), then sends the first command of its chain; the state table
// (FtpDataStates.cpp) and the data connection (FtpDataConnection.cpp, FtpUpload.cpp) do the
// rest. Also Abort and CloseLocalFile.
#include "ftp/Ftp.h"
#include "ftp/LocalFiles.h"
#include "ftp/SftpEngine.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

void TFtpClient::GetListing()
{
    if (sftp_) {
        sftp_->GetListing();
        return;
    }
    if (!BeginOperation(false, true, peListingDone))
        return;
    listingRetry_ = PlainRetry::none;
    listingFailed_ = false;
    bytesTransferred_ = 0;
    SendInState("PWD", stListPwd);
}

// No PWD first, as the active listing has: its reply would go unused, and on a long link each
// directory of a listing walk would pay its round trip.
void TFtpClient::GetListingPasv()
{
    if (sftp_) {
        sftp_->GetListing();
        return;
    }
    if (!BeginOperation(false, true, peListingDone))
        return;
    listingRetry_ = PlainRetry::none;
    listingFailed_ = false;
    bytesTransferred_ = 0;
    ClearCompletionFlags();
    SendPassive(stListPasv);
}

void TFtpClient::GetFile() { sftp_ ? sftp_->GetFile() : StartDownload(stGetType); }
void TFtpClient::GetFilePasv() { sftp_ ? sftp_->GetFile() : StartDownload(stGetPasvType); }

void TFtpClient::StartDownload(int typeState)
{
    if (!BeginOperation(true, false, peNone))
        return;
    pending_ = peFileReceived;
    announcedSize_ = -1;
    bytesTransferred_ = 0; // the count of this transfer, not the last one's
    if (RemoteFile.empty()) {
        ReportError(feFileNotFound);
        PostCompletion();
        return;
    }
    CloseLocalFile();
    localFile_ = OpenEmptied(LocalFile);
    if (localFile_ < 0) {
        ReportError(feFileOpen);
        PostCompletion();
        return;
    }
    ClearCompletionFlags();
    SendType(TransferType(), typeState);
}

void TFtpClient::PutFile() { sftp_ ? sftp_->PutFile() : StartUpload(stPutType); }
void TFtpClient::PutFilePasv() { sftp_ ? sftp_->PutFile() : StartUpload(stPutPasvType); }

// The preamble of an upload or a check file. A call that is refused because there is no
// session still completes, so that the owner's run goes on (or ends) from its event.
bool TFtpClient::BeginUpload(TPendingEvent pending)
{
    if (BeginOperation(true, true, pending))
        return true;
    if (!connected_) {
        success_ = false; // the completion must not report the refused call as a success
        PostCompletion();
    }
    return false;
}

void TFtpClient::StartUpload(int typeState)
{
    if (!BeginUpload(peFileStored))
        return;
    fileTimeSet_ = false;
    bytesTransferred_ = 0; // the count of this transfer, not the last one's
    if (RemoteFile.empty()) {
        ReportError(feFileNotFound);
        PostCompletion();
        return;
    }
    if (LocalFile.empty()) {
        ReportError(feFileOpen);
        PostCompletion();
        return;
    }
    CloseLocalFile();
    localFile_ = OpenRegularFile(LocalFile, O_RDONLY);
    if (localFile_ < 0) {
        ReportError(feLocalFileOpen);
        PostCompletion();
        return;
    }
    Trace("-> File open: " + LocalFile);
    struct stat info {};
    uploadFileInstant_ = ::fstat(localFile_, &info) == 0 ? std::optional<std::time_t>(info.st_mtime) : std::nullopt;
    checkMode_ = false;
    SendType(TransferType(), typeState);
}

bool TFtpClient::BeginCheckFile(const std::string &remoteDirectory)
{
    if (!BeginOperation(true, true, peCheckFileSent)) {
        if (!connected_) {
            // Completes as a failed check, so that the owner hears of it.
            success_ = false;
            checkFinished_ = true;
            checkFailed_ = true;
            PostCompletion();
        }
        return false;
    }
    RemoteFile = remoteDirectory;
    checkMode_ = true;
    checkFinished_ = false;
    return true;
}

void TFtpClient::SendCheckFile(const std::string &remoteDirectory)
{
    if (sftp_) {
        sftp_->SendCheckFile();
        return;
    }
    if (!BeginCheckFile(remoteDirectory))
        return;
    checkFailed_ = false;
    SendType('I', stPutType);
}

void TFtpClient::SendCheckFilePasv(const std::string &remoteDirectory)
{
    if (sftp_) {
        sftp_->SendCheckFile();
        return;
    }
    if (BeginCheckFile(remoteDirectory))
        SendPassive(stCheckPasv);
}

// Interrupts the running transfer: Telnet IP, the synch mark as urgent data, then ABOR. The
// transfer's own states take the reply of the interrupted command (426, or 226 when it had just
// finished), and the ABOR's reply ends the abort; the completion, a failure, waits for both.
// Once until that completion, also when the data connection is made meanwhile; nothing to do
// when no operation runs (an Abort then would have no completion to end it) or when a QUIT is
// out (the server's close ends that).
//
// No second synch mark follows the ABOR line as normal data: servers read it as the start of
// the next command line and refuse that command.
void TFtpClient::Abort()
{
    if (sftp_) {
        sftp_->Abort();
        return;
    }
    // Once MFMT is out the upload has arrived: its completion follows the reply. So has a
    // download or listing once the passive command went ahead: its data has all come.
    if (aborting_ || !connected_ || !busy_ || replyState_ == stQuit || replyState_ == stMfmt || aheadOwed_)
        return;
    aborting_ = true;
    replyDueBeforeAbort_ = commandReplyOwed_;
    abortReplyOwed_ = true;
    if (!TlsActive()) {
        // Over TLS the Telnet signals cannot go (urgent data would break the TLS stream): the
        // ABOR line alone, which servers read after the transfer, or when its data stops.
        SendControlBytes("\xff\xf4", false);
        SendControlBytes("\xff\xf2", true);
    }
    SendLine("ABOR");
    if (closing_ || !connected_)
        ForgetAbort(); // the session ended on the way: no reply will come
}

// Sorts out the final replies (not 1xx) while an ABOR is answered: the interrupted command's
// reply goes to its state as usual, the one after it is the ABOR's. True when `line` was the
// ABOR's reply and has been dealt with.
bool TFtpClient::TakeAbortReply(const std::string &line)
{
    if (line[0] == '1')
        return false; // preliminary: the same command's final reply still follows
    if (abortReplyOwed_ && !replyDueBeforeAbort_) {
        AbortAnswered(line);
        return true;
    }
    if (abortReplyOwed_ && line.compare(0, 3, "225") == 0) {
        // "No transfer in progress" answers only ABOR: the server dropped the transfer before it
        // began (pyftpdlib, when its data connection was not up yet) and will send no reply of
        // its own for it.
        replyDueBeforeAbort_ = false;
        commandReplyOwed_ = false;
        AbortAnswered(line);
        return true;
    }
    replyDueBeforeAbort_ = false;
    commandReplyOwed_ = false; // the state's handler may send the next command
    return false;
}

// The server is through with the interrupted operation (225, 226, or whatever it answered).
void TFtpClient::AbortAnswered(const std::string &line)
{
    abortReplyOwed_ = false;
    Trace("-> ABOR answered: " + line);
    // A transfer still open (a download whose 426 was passed over, one whose data connection has
    // not closed yet) ends here; unless a command that went out after the ABOR is still to be
    // answered, whose own state then ends it.
    if (busy_ && !completionPosted_ && !commandReplyOwed_)
        EndAbortedTransfer();
    if (completionHeld_) {
        completionHeld_ = false;
        PostCompletion();
    }
}

// Ends an interrupted transfer as a failure: both halves are over, whatever is still open closes,
// and no reply is expected any more.
void TFtpClient::EndAbortedTransfer()
{
    SetReplyState(stIdle);
    CloseDataSockets();
    CloseLocalFile();
    success_ = false;
    if (checkMode_) {
        checkFinished_ = true;
        checkFailed_ = true;
    }
    dataSideFinished_ = true;
    controlSideFinished_ = true;
    PostTransferCompletion();
}

// The session ended: no ABOR reply will come. True when a completion was waiting for one.
bool TFtpClient::ForgetAbort()
{
    bool held = completionHeld_;
    ForgetPassiveAhead();
    abortReplyOwed_ = false;
    replyDueBeforeAbort_ = false;
    commandReplyOwed_ = false;
    completionHeld_ = false;
    return held;
}

void TFtpClient::SendControlBytes(const std::string &bytes, bool urgent)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (closing_ || !HasSocket())
            return;
        const char *rest = bytes.data() + sent;
        int length = int(bytes.size() - sent);
        int n = urgent ? SendUrgent(rest, length) : Send(rest, length);
        if (SocketErrorCheck())
            return;
        sent += size_t(n);
        if (n == 0) // no room: wait for the socket's send notice
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void TFtpClient::CloseLocalFile()
{
    if (localFile_ < 0)
        return;
    ::close(localFile_);
    localFile_ = -1;
}
