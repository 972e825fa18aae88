// TFtpClient: the data operations. Each checks its local side first (names given, the local
// file opened or created), then sends the first command of its chain; the state table
// (FtpDataStates.cpp) and the data connection (FtpDataConnection.cpp, FtpUpload.cpp) do the
// rest. Also Abort and CloseLocalFile.
#include "ftp/Ftp.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

bool UsablePath(const std::string &path) { return !path.empty() && path.find('\0') == std::string::npos; }

} // namespace

void TFtpClient::GetListing()
{
    if (BeginOperation(false, true, peListingDone))
        SendInState("PWD", stListPwd);
}

void TFtpClient::GetListingPasv()
{
    if (BeginOperation(false, true, peListingDone))
        SendInState("PWD", stListPasvPwd);
}

void TFtpClient::GetFile() { StartDownload(stGetType); }
void TFtpClient::GetFilePasv() { StartDownload(stGetPasvType); }

void TFtpClient::StartDownload(int typeState)
{
    if (!BeginOperation(true, false, peNone))
        return;
    pending_ = peFileReceived;
    if (RemoteFile.empty()) {
        ReportError(feFileNotFound);
        PostCompletion();
        return;
    }
    CloseLocalFile();
    if (UsablePath(LocalFile))
        localFile_ = ::open(LocalFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (localFile_ < 0) {
        ReportError(feFileOpen);
        PostCompletion();
        return;
    }
    ClearCompletionFlags();
    SendInState(TypeCommand(), typeState);
}

void TFtpClient::PutFile() { StartUpload(stPutType); }
void TFtpClient::PutFilePasv() { StartUpload(stPutPasvType); }

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
    if (UsablePath(LocalFile))
        localFile_ = ::open(LocalFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (localFile_ < 0) {
        ReportError(feLocalFileOpen);
        PostCompletion();
        return;
    }
    Trace("-> File open: " + LocalFile);
    checkMode_ = false;
    SendInState(TypeCommand(), typeState);
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
    if (!BeginCheckFile(remoteDirectory))
        return;
    checkFailed_ = false;
    SendInState("TYPE I", stPutType);
}

void TFtpClient::SendCheckFilePasv(const std::string &remoteDirectory)
{
    if (BeginCheckFile(remoteDirectory))
        SendInState("PASV", stCheckPasv);
}

// Interrupts the running transfer: Telnet IP, the synch mark as urgent data, ABOR, the mark
// again. The transfer's own states take the 426 and 226 that follow, and the completion closes
// the data connection and reports the transfer as failed. Once until that completion, also when
// the data connection is made meanwhile; nothing to do when no operation runs (an Abort then
// would have no completion to end it and would spoil the next transfer).
void TFtpClient::Abort()
{
    if (aborting_ || !connected_ || !busy_)
        return;
    aborting_ = true;
    SendControlBytes("\xff\xf4", false);
    SendControlBytes("\xff\xf2", true);
    SendLine("ABOR");
    SendControlBytes("\xff\xf2", false);
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
