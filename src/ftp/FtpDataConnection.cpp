// TFtpClient: the data connection. The active listener and its PORT argument, the passive
// connect, accepting, the listing and download readers, and the rule that a transfer completes
// once both halves are over: the control half (the final reply) and the data half (the data
// connection's end), in either order.
#include "ftp/Ftp.h"

#include "ftp/FtpReplyFields.h"
#include "net/WinsockErrors.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>

namespace {
constexpr int kReceiveChunk = 16384;
// A download is read in large pieces: each read is also a write to the file, and with 16 KiB
// pieces those calls cost more than the copying itself.
constexpr int kDownloadChunk = 256 * 1024;
// Bytes of a download read per read notice, while data is waiting: a notice's round trip through
// the event loop costs more than a read, and 1 MiB still returns to the loop at once.
constexpr int64_t kDownloadBytesPerNotice = 1 << 20;
// A listing line longer than this is no directory entry; it is skipped instead of held.
constexpr size_t kMaxListingLine = 64 * 1024;
// One listing holds at most this much; past it the server is taken to send without end.
constexpr size_t kMaxListingLines = 1000000;
constexpr int64_t kMaxListingBytes = int64_t(256) << 20;
} // namespace

// ---- the two halves ------------------------------------------------------------------------

void TFtpClient::ClearCompletionFlags()
{
    dataSideFinished_ = false;
    controlSideFinished_ = false;
    completionPosted_ = false;
    sendingStarted_ = false;
    sendWhenSecure_ = false;
    dataClosed_ = false;
}

void TFtpClient::ControlDone()
{
    controlSideFinished_ = true;
    if (dataSideFinished_)
        BothHalvesDone();
}

void TFtpClient::DataDone()
{
    if (!controlSideFinished_)
        SendPassiveAhead();
    if (!DataUsable() && !aborting_ && !dataSideFinished_)
        DataEndedUnchecked();
    dataSideFinished_ = true;
    if (controlSideFinished_)
        BothHalvesDone();
}

// A "LIST -a" that came back empty is listed once more with plain LIST until the server has
// shown that it takes -a as an option (a listing with lines): a server that took "-a" for a name
// would list nothing for every directory, and an empty listing means "delete everything here".
// A plain listing that then has lines shows just that, and the session lists plainly from then.
void TFtpClient::BothHalvesDone()
{
    if (dataKind_ == DataKind::listing && !listingFailed_ && !aborting_ && !completionPosted_) {
        if (listingRetry_ == PlainRetry::afterRefusal) {
            hiddenRefused_ = true;
        } else if (listingRetry_ == PlainRetry::afterEmpty) {
            if (!listing_.empty())
                hiddenRefused_ = true;
        } else if (ListCommand() == "LIST -a") {
            if (!listing_.empty()) {
                hiddenConfirmed_ = true;
            } else if (!hiddenConfirmed_) {
                ListAgainPlain(PlainRetry::afterEmpty);
                return;
            }
        }
    }
    PostTransferCompletion();
}

// A refusal and an Abort can both end the same transfer; its owner hears of the end once.
void TFtpClient::PostTransferCompletion()
{
    if (completionPosted_)
        return;
    completionPosted_ = true;
    if (dataKind_ == DataKind::listing && listingFailed_)
        success_ = false; // also when the data connection was only made after the failure reply
    if (SetStoredFileTime())
        return; // the completion follows MFMT's reply
    PostCompletion();
}

bool TFtpClient::SetStoredFileTime()
{
    if (dataKind_ != DataKind::upload || checkMode_ || !success_ || aborting_ || UploadFileTime == 0 ||
        !HasFeature("MFMT"))
        return false;
    SendInState("MFMT " + FactTimeText(UploadTimeUtc()) + " " + RemoteFile, stMfmt);
    return true;
}

// UploadFileTime as UTC. A local time in the hour repeated when summer time ends stands for two
// instants; when it is the file's own time, the file's instant says which.
TDateTime TFtpClient::UploadTimeUtc() const
{
    constexpr double kUnixEpochDays = 25569.0; // 1 January 1970 as a day count
    if (uploadFileInstant_ && std::fabs(UnixToLocalDateTime(*uploadFileInstant_) - UploadFileTime) * 86400.0 < 1.0)
        return kUnixEpochDays + double(*uploadFileInstant_) / 86400.0;
    return LocalToUtcDateTime(UploadFileTime);
}

// ---- making the connection -----------------------------------------------------------------

// A new data connection: nothing of the last one's check counts for it.
void TFtpClient::ForgetDataCheck()
{
    dataChecked_ = false;
    preliminarySeen_ = false;
    activeTlsWaiting_ = false;
    activeTlsThen_ = nullptr;
}

// Active mode: listen on the address the control connection uses, then tell the server where:
// PORT on IPv4 (what every server knows), EPRT on IPv6 (PORT cannot carry the address).
void TFtpClient::OpenListener(DataKind kind, int portState)
{
    passive_ = false;
    aheadReply_.reset(); // PORT closes the server's passive port
    aheadDropTimer_.stop();
    listingCarry_.clear();
    skippingLongLine_ = false;
    listingLineEnd_ = LineEnd::unknown;
    std::string localAddress = GetLocalAddress();
    CloseDataSockets();
    ForgetDataCheck();
    AttachDataHandlers(kind, false);
    DataSocket.SetAddress(localAddress);
    DataSocket.SetPort(0);
    DataSocket.CreateSocket();
    if (DataSocket.LastError() == 0)
        DataSocket.Listen();
    std::string address = DataSocket.GetLocalAddress();
    uint16_t port = DataSocket.GetLocalPort();
    if (DataSocket.LastError() != 0) {
        DataConnectFailed(DataSocket.LastError(), kind == DataKind::upload ? "DataStorConnected" : "DataListConnected");
        return;
    }
    if (AddressIsIpv6())
        SendInState("EPRT " + EprtArgument(address, port), portState);
    else
        SendInState("PORT " + PortArgument(address, port), portState);
}

// Passive mode. The data connection goes to the server the control connection talks to: the
// address in the reply only says which port. A server must not send the client to another
// host, and servers behind NAT often announce an address nobody outside can reach.
bool TFtpClient::ConnectPassive(const std::string &reply, DataKind kind)
{
    std::optional<PasvAddress> announced;
    if (epsvSent_) {
        // EPSV names only the port: the address is the control connection's.
        if (std::optional<uint16_t> port = ParseEpsvReply(reply))
            announced = PasvAddress{GetAddressString(), *port};
    } else {
        announced = ParsePasvReply(reply);
    }
    if (!announced) {
        Trace(std::string(epsvSent_ ? "-> EPSV" : "-> PASV") + " reply not understood: " + reply);
        Disconnect(feProtocolError);
        return false;
    }
    std::string server = GetAddressString();
    if (announced->address != server)
        Trace("-> PASV announced " + announced->address + ", connecting to " + server + " instead");
    passive_ = true;
    CloseDataSockets();
    ForgetDataCheck();
    listingCarry_.clear();
    skippingLongLine_ = false;
    listingLineEnd_ = LineEnd::unknown;
    DataSocket.SetAddress(server);
    DataSocket.SetPort(announced->port);
    DataSocket.CreateSocket();
    AttachDataHandlers(kind, true);
    if (DataSocket.LastError() == 0)
        DataSocket.ConnectSocket();
    if (DataSocket.LastError() != 0) {
        DataConnectFailed(DataSocket.LastError(), kind == DataKind::upload ? "DataStorConnected" : "DataListConnected");
        return false;
    }
    return true;
}

void TFtpClient::AttachDataHandlers(DataKind kind, bool passive)
{
    for (TAsyncSocket *socket : {&DataSocket, &AcceptedSocket}) {
        socket->OnDataAvailable = nullptr;
        socket->OnClosed = nullptr;
        socket->OnConnected = nullptr;
        socket->OnAccepted = nullptr;
        socket->OnSendReady = nullptr;
        socket->OnTimeOut = nullptr;
    }
    dataKind_ = kind;
    TAsyncSocket &carrier = passive ? DataSocket : AcceptedSocket;
    switch (kind) {
    case DataKind::listing:
        carrier.OnDataAvailable = [this](TAsyncSocket *s) { ListingReader(*s); };
        carrier.OnClosed = [this](TAsyncSocket *s) { ListingEnd(*s); };
        break;
    case DataKind::download:
        carrier.OnDataAvailable = [this](TAsyncSocket *s) { FileReader(*s); };
        carrier.OnClosed = [this](TAsyncSocket *s) { DownloadEnd(*s); };
        break;
    case DataKind::upload: carrier.OnClosed = [this](TAsyncSocket *s) { DownloadEnd(*s); }; break;
    }
    auto made = [this](TAsyncSocket &s) { DataConnectionMade(s); };
    // An upload starts on the STOR's 1xx (passive) or once STOR is out (active), and not before
    // its TLS handshake is done and its certificate checked.
    auto sendable = [this](TAsyncSocket &s) {
        if (sendWhenSecure_ || (!passive_ && replyState_ == stStor))
            StartSending(s);
    };
    if (!passive) {
        if (kind == DataKind::upload) {
            DataSocket.OnAccepted = [this, sendable](TAsyncSocket *) {
                if (AcceptFromServer("DataStorConnected"))
                    SecureActiveData(sendable);
            };
        } else {
            DataSocket.OnAccepted = [this, made](TAsyncSocket *) {
                if (AcceptFromServer(DataConnectContext()))
                    SecureActiveData(made);
            };
        }
    } else if (kind != DataKind::upload) {
        DataSocket.OnConnected = [this, made](TAsyncSocket *s) {
            if (s->LastError() != 0)
                DataConnectionMade(*s);
            else
                SecureData(*s, made);
        };
    } else if (tlsData_) {
        DataSocket.OnConnected = [this, sendable](TAsyncSocket *s) {
            if (s->LastError() == 0)
                SecureData(*s, sendable);
        };
    }
}

void TFtpClient::DataConnectFailed(uint16_t number, const char *context)
{
    socketErrorNumber_ = number;
    Trace("-> Data socket connect error: " + std::to_string(number));
    if (dataFromAhead_) {
        Trace("-> The passive port given ahead could not be reached: each transfer asks for its own from now on");
        aheadRefusedBy_ = ServerKey();
    }
    dataErrorContext_ = context;
    if (!aborting_)
        Disconnect(feDataError);
}

// Active mode: takes the offered connection into AcceptedSocket. Only the server may connect:
// a connection from any other address is closed and the listener waits on. True when the
// server's connection is in AcceptedSocket and the listener is closed.
bool TFtpClient::AcceptFromServer(const char *context)
{
    dataClosed_ = false;
    AcceptedSocket.Accept(DataSocket);
    uint16_t error = AcceptedSocket.LastError();
    if (error == WSAEWOULDBLOCK)
        return false; // the offer was withdrawn; the listener stays armed
    if (error != 0) {
        DataConnectFailed(error, context);
        return false;
    }
    if (!AcceptedSocket.SameHostAs(*this)) {
        Trace("-> Data connection from " + AcceptedSocket.GetAddressString() + " refused: not the server");
        AcceptedSocket.Close();
        return false;
    }
    DataSocket.Close();
    return true;
}

// The data connection of a listing or download is up (accepted, or the passive connect done).
void TFtpClient::DataConnectionMade(TAsyncSocket &socket)
{
    if (socket.LastError() != 0) {
        DataConnectFailed(socket.LastError(), "DataListConnected");
        return;
    }
    bytesTransferred_ = 0;
    success_ = true;
    listingCarry_.clear();
    skippingLongLine_ = false;
    listingLineEnd_ = LineEnd::unknown;
    Trace("-> Data socket connected");
}

// ---- listing -------------------------------------------------------------------------------

void TFtpClient::ListingReader(TAsyncSocket &socket)
{
    if (!DataUsable())
        return; // not a byte before the certificate check
    char buffer[kReceiveChunk];
    int n = socket.Receive(buffer, kReceiveChunk);
    if (socket.LastError() != 0) {
        DataReadFailed(socket, "DataDoListing");
        return;
    }
    if (n <= 0 || listingFailed_)
        return;
    NoteActivity();
    // A zero byte stays in its line: the parser skips that line, and the lines after it count.
    bytesTransferred_ += n;
    StoreListingText(std::string(buffer, size_t(n)));
    if (listing_.size() > kMaxListingLines || bytesTransferred_ > kMaxListingBytes)
        ListingTooLong(socket);
}

// A listing past the caps fails: what came is dropped and the data connection closed; the
// server's reply to LIST then completes the failure.
void TFtpClient::ListingTooLong(TAsyncSocket &socket)
{
    Trace("-> Listing cut off: more than " + std::to_string(kMaxListingLines) + " lines or " +
          std::to_string(kMaxListingBytes >> 20) + " MiB");
    listingFailed_ = true;
    success_ = false;
    std::vector<std::string>().swap(listing_);
    listingCarry_.clear();
    skippingLongLine_ = false;
    listingLineEnd_ = LineEnd::unknown;
    if (dataClosed_)
        return; // the listing's end is being handled
    dataClosed_ = true;
    socket.Close();
    DataDone();
}

// Lines end with CR LF; a server that ends them with a bare LF (its first line end shows which)
// is read by LF, a CR before it dropped. Reading a CR LF listing by CR LF only keeps a lone LF
// inside a name from splitting its line.
void TFtpClient::StoreListingText(const std::string &text)
{
    std::string all = listingCarry_ + text;
    if (listingLineEnd_ == LineEnd::unknown) {
        const size_t lf = all.find('\n');
        if (lf != std::string::npos)
            listingLineEnd_ = lf > 0 && all[lf - 1] == '\r' ? LineEnd::crlf : LineEnd::lf;
    }
    const std::string_view ending = listingLineEnd_ == LineEnd::lf ? "\n" : "\r\n";
    size_t start = 0;
    size_t end;
    while ((end = all.find(ending, start)) != std::string::npos) {
        std::string line = all.substr(start, end - start);
        start = end + ending.size();
        if (listingLineEnd_ == LineEnd::lf && !line.empty() && line.back() == '\r')
            line.pop_back();
        if (skippingLongLine_) {
            skippingLongLine_ = false; // the end of the overlong line
            continue;
        }
        RaiseInfo(fiProgress, line);
        listing_.push_back(line);
        RaiseInfo(fiListingLine, line);
    }
    listingCarry_ = all.substr(start);
    if (listingCarry_.size() > kMaxListingLine) {
        // Keep a final CR so that a CR LF split across reads still ends the skipped line.
        bool endsInCr = listingCarry_.back() == '\r';
        listingCarry_ = endsInCr ? "\r" : "";
        if (!skippingLongLine_)
            Trace("-> Listing line too long, skipped");
        skippingLongLine_ = true;
    }
}

void TFtpClient::ListingEnd(TAsyncSocket &socket)
{
    dataClosed_ = true;
    if (socket.OnDataAvailable)
        ListingReader(socket);
    if (socket.TlsActive() && !socket.TlsCloseReceived() && !listingFailed_) {
        // A listing has no size to check it by: ended without the server's TLS close, it may
        // have been cut short on the way, and its missing names would read as deleted.
        Trace("-> Listing data ended without the server's TLS close: the listing may be cut short");
        listingFailed_ = true;
        success_ = false;
    }
    socket.Close();
    RaiseInfo(fiListingReady, "Listing ready");
    RaiseInfo(fiTransferDone, "Transfer done");
    DataDone();
}

// ---- download ------------------------------------------------------------------------------

void TFtpClient::FileReader(TAsyncSocket &socket)
{
    if (!DataUsable())
        return; // not a byte before the certificate check
    const std::unique_ptr<char[]> piece(new char[kDownloadChunk]);
    char *buffer = piece.get();
    for (int64_t got = 0; got < kDownloadBytesPerNotice && socket.HasSocket();) {
        int n = socket.Receive(buffer, kDownloadChunk);
        if (socket.LastError() != 0) {
            DataReadFailed(socket, "DataRetrFile");
            return;
        }
        if (n <= 0)
            return; // nothing more waiting
        NoteActivity();
        got += n;
        bytesTransferred_ += n;
        Trace("-> Data Socket Received: " + std::to_string(n) + "   - Total Bytes Received: " +
              std::to_string(bytesTransferred_));
        RaiseInfo(fiProgress, "");
        if (localFile_ >= 0)
            WriteDownloadBlock(buffer, n);
    }
}

// After a write error the file is closed; the rest of the download is received but not written.
void TFtpClient::WriteDownloadBlock(const char *data, int n)
{
    int written = 0;
    while (written < n) {
        ssize_t w = ::write(localFile_, data + written, size_t(n - written));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        written += int(w);
    }
    if (written < n) {
        Trace("-> File write error: " + std::to_string(n) + "<>" + std::to_string(written));
        ReportError(feFileWrite);
        CloseLocalFile();
    }
}

void TFtpClient::DownloadEnd(TAsyncSocket &socket)
{
    Trace("-> Data socket CLOSED");
    dataClosed_ = true;
    if (socket.OnDataAvailable)
        FileReader(socket);
    // A download has its size to be checked by (the run compares it with the listed or announced
    // one); the missing close is only noted.
    if (socket.TlsActive() && !socket.TlsCloseReceived() && dataKind_ == DataKind::download)
        Trace("-> Data ended without the server's TLS close");
    socket.Close();
    Trace("-> Data socket DISCONNECTED");
    CloseLocalFile();
    Trace("-> File CLOSED");
    RaiseInfo(fiTransferDone, "Transfer done");
    if (passive_)
        checkFinished_ = true;
    DataDone();
}

void TFtpClient::DataReadFailed(TAsyncSocket &socket, const char *context)
{
    socketErrorNumber_ = socket.LastError();
    dataErrorContext_ = context;
    if (!aborting_ && !dataClosed_)
        Disconnect(feDataError);
}
