// TFtpClient: sending an upload, the file in 2048-byte blocks or the check file's text. The
// sending runs inside the notice or reply handler that starts it and serves the event loop
// while it runs, so replies, Stop and timers keep working during a long upload.
//
// Each 2048-byte block is counted and traced on its own, but the file is read and the socket
// gets the blocks 32 at a time: with one call per 2 KB block the calls themselves cost a fifth
// of the throughput. Serving the event loop after every block would cost more than
// the sending, so the loop is served while the socket has no room (waiting for it), and
// otherwise once every few milliseconds.
#include "ftp/Ftp.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {
constexpr int kBlockSize = 2048;
// Blocks handed to the socket in one send: per-call costs dominate with 2 KB sends.
constexpr int kBlocksPerSend = 32;
// How long an upload may keep the event loop waiting; well below what a user notices.
constexpr int64_t kLoopServiceIntervalMs = 5;
const char kCheckText[] = "Fernhop date/time check file\r\n";
constexpr int kCheckTextLength = sizeof kCheckText - 1; // 30 bytes

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

// Passive mode: the first 1xx reply to STOR starts the sending on the data connection.
void TFtpClient::StartPassiveSending()
{
    if (checkMode_ && !sendingStarted_)
        success_ = true;
    StartSending(DataSocket);
}

// Once per transfer. An active-mode server may connect as soon as it has the PORT command; the
// sending then waits until STOR has gone out (state 31 starts it). Over TLS it waits for the
// data connection's handshake too.
void TFtpClient::StartSending(TAsyncSocket &socket)
{
    if (sendingStarted_)
        return;
    if (!DataUsable()) {
        // The STOR's 1xx can come before the connection's handshake has even begun, or before
        // its certificate was checked: nothing goes out until then; the check starts the
        // sending.
        sendWhenSecure_ = true;
        return;
    }
    sendingStarted_ = true;
    if (checkMode_)
        SendCheckText(socket, !passive_);
    else
        SendFileData(socket);
}

void TFtpClient::SendCheckText(TAsyncSocket &socket, bool active)
{
    if (active)
        bytesTransferred_ = 0;
    const char *context = active ? "DataStorConnectedCheckFile" : "DataStorConnectedPASVCheckFile";
    QTimer waker; // wakes a wait for room in the socket now and then
    waker.start(50);
    if (!SendData(socket, kCheckText, kCheckTextLength, context)) {
        success_ = false;
        if (active)
            checkFailed_ = true;
        return;
    }
    socket.Close();
    if (active) {
        Trace("-> Data Socket Disconnected");
        Trace("-> Transfer complete. File Closed.");
        RaiseInfo(fiTransferDone, "Transfer done");
    }
    DataDone();
}

void TFtpClient::SendFileData(TAsyncSocket &socket)
{
    bytesTransferred_ = 0;
    struct stat info {};
    int64_t size = localFile_ >= 0 && ::fstat(localFile_, &info) == 0 ? int64_t(info.st_size) : 0;
    RaiseInfo(fiFileSize, std::to_string(size));
    Trace("-> Data Socket Connected. FileSize: " + std::to_string(size));

    const int64_t blocks = size / kBlockSize + (size % kBlockSize != 0 ? 1 : 0);
    const int lastBlockSize = size % kBlockSize != 0 ? int(size % kBlockSize) : kBlockSize;
    // The file is read a staging area at a time (a read call per 2 KB block costs more than
    // the copy); the blocks in it are still counted and traced one by one.
    char staged[kBlocksPerSend * kBlockSize];
    QTimer waker;
    waker.start(50);
    lastLoopServiceMs_ = NowMs();
    for (int64_t i = 0; i < blocks;) {
        if (aborting_) {
            success_ = false;
            break;
        }
        if (localFile_ < 0 || !socket.HasSocket()) {
            // Ended meanwhile (the server closed the data connection, refused the upload, or
            // the session ended); whoever ended it has finished this half.
            success_ = false;
            return;
        }
        const int64_t batch = std::min<int64_t>(kBlocksPerSend, blocks - i);
        const int wanted = int((batch - 1) * kBlockSize) + (i + batch == blocks ? lastBlockSize : kBlockSize);
        int stagedBytes = 0;
        ssize_t n = 0;
        while (stagedBytes < wanted) {
            n = ::read(localFile_, staged + stagedBytes, size_t(wanted - stagedBytes));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // an error, or the file was cut short meanwhile
            stagedBytes += int(n);
        }
        if (n < 0) {
            // The server is told by the data connection's end; its reply then completes the
            // transfer, as a failure.
            ReportError(feFileRead);
            CloseLocalFile();
            socket.Close();
            success_ = false;
            Trace("-> File Read Error");
            DataDone();
            return;
        }
        // Only what was read goes out: a file cut short meanwhile sends less, never stale bytes.
        for (int offset = 0; offset < stagedBytes; offset += kBlockSize) {
            const int block = std::min(kBlockSize, stagedBytes - offset);
            bytesTransferred_ += block;
            if (block == kBlockSize)
                Trace("-> Disk Read: 2048 - Total Read: " + std::to_string(bytesTransferred_));
            else
                Trace("-> Disk Read: " + std::to_string(block) + "  - Total Read: " + std::to_string(bytesTransferred_));
            RaiseInfo(fiProgress, "");
        }
        if (stagedBytes > 0 && !SendData(socket, staged, stagedBytes, "DataStorConnected")) {
            CloseLocalFile();
            success_ = false;
            return;
        }
        i += batch;
    }
    socket.Close();
    Trace("-> Data Socket Disconnected");
    CloseLocalFile();
    Trace("-> Transfer complete. File Closed.");
    RaiseInfo(fiTransferDone, "Transfer done");
    DataDone();
}

// Sends all of `data`, serving the event loop meanwhile. False when the sending stopped: the
// session is closing, the data connection was closed meanwhile (a refusal, the server's close
// or an Abort's completion already took care of the transfer), or a send failed.
bool TFtpClient::SendData(TAsyncSocket &socket, const char *data, int length, const char *context)
{
    int sent = 0;
    bool stalled = false;
    while (sent < length) {
        ServeEventLoop(stalled);
        if (closing_ || !socket.HasSocket())
            return false;
        int n = socket.Send(data + sent, length - sent);
        if (socket.LastError() != 0) {
            socketErrorNumber_ = socket.LastError();
            dataErrorContext_ = context;
            if (!aborting_)
                Disconnect(feDataError);
            return false;
        }
        sent += n;
        stalled = n == 0;
        if (n > 0)
            NoteActivity();
    }
    return true;
}

void TFtpClient::ServeEventLoop(bool stalled)
{
    int64_t now = NowMs();
    if (stalled) {
        // The socket's send notice (or the waker) ends the wait.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    } else if (now - lastLoopServiceMs_ >= kLoopServiceIntervalMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    } else {
        return;
    }
    lastLoopServiceMs_ = NowMs();
}
