#include "net/AsyncSocket.h"

#include "net/HostLookup.h"
#include "net/TlsCloser.h"
#include "net/WinsockErrors.h"

#include <QSocketNotifier>
#include <QTimerEvent>

#include <cerrno>
#include <climits>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

TAsyncSocket::TAsyncSocket(QObject *owner) : QObject(owner) {}

TAsyncSocket::~TAsyncSocket()
{
    CancelLookup();
    KillTimeOut();
    ReleaseHandle();
    if (winsockStarted_)
        StopWinsock();
    libraryLoaded_ = false;
}

// ---- socket library ------------------------------------------------------------------------

bool TAsyncSocket::LoadWinsock(const std::string &)
{
    libraryLoaded_ = true; // the sockets are part of the C library here
    return true;
}

bool TAsyncSocket::StartWinsock()
{
    if (winsockStarted_)
        return true;
    if (!libraryLoaded_ && !LoadWinsock(""))
        return false;
    utsname system;
    std::string kernel = ::uname(&system) == 0 ? std::string(system.release) : std::string();
    winsockDescription_ = kernel.empty() ? "Linux BSD sockets" : "Linux BSD sockets, kernel " + kernel;
    winsockSystemStatus_ = "Running";
    rlimit files;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0)
        winsockMaxSockets_ = files.rlim_cur == RLIM_INFINITY || files.rlim_cur > rlim_t(INT_MAX)
                                 ? INT_MAX
                                 : int(files.rlim_cur);
    winsockStarted_ = true;
    return true;
}

void TAsyncSocket::StopWinsock() { winsockStarted_ = false; }

void TAsyncSocket::UnloadWinsock()
{
    StopWinsock();
    libraryLoaded_ = false;
}

// ---- socket operations ---------------------------------------------------------------------

void TAsyncSocket::CreateSocket()
{
    if (socket_ >= 0)
        return;
    int fd = ::socket(addressRecord_.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        lastError_ = WinsockErrorFromErrno(errno);
        return;
    }
    AdoptHandle(fd, Phase::created);
    socketFamily_ = addressRecord_.Family();
    lastError_ = 0;
}

void TAsyncSocket::Listen()
{
    if (socket_ < 0) {
        lastError_ = WSAENOTSOCK;
        return;
    }
    if (!MatchAddressFamily())
        return;
    if (::bind(socket_, addressRecord_.Record(), addressRecord_.RecordLength()) != 0) {
        lastError_ = WinsockErrorFromErrno(errno);
        return;
    }
    selectMask_ = fdAccept;
    int rc = ::listen(socket_, 2);
    lastError_ = rc == 0 ? 0 : WinsockErrorFromErrno(errno);
    if (rc == 0) {
        phase_ = Phase::listening;
        WatchReadable(true);
    }
}

void TAsyncSocket::Accept(TAsyncSocket &listener)
{
    if (listener.socket_ < 0) {
        lastError_ = WSAENOTSOCK;
        return;
    }
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    int fd = ::accept4(listener.socket_, reinterpret_cast<sockaddr *>(&peer), &length,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    int err = errno;
    if (listener.phase_ == Phase::listening)
        listener.WatchReadable(true); // accept re-enables the accept notice
    if (fd < 0) {
        lastError_ = WinsockErrorFromErrno(err);
        return;
    }
    ReleaseHandle();
    AdoptHandle(fd, Phase::connected);
    addressRecord_ = TSocketAddress::FromRecord(peer);
    socketFamily_ = addressRecord_.Family();
    nextAddresses_.clear();
    lastError_ = 0;
    socketConnected_ = true;
    selectMask_ = fdRead | fdWrite | fdClose;
    WatchReadable(true);
    WatchWritable(true); // as Winsock does, a writable socket announces itself once
}

void TAsyncSocket::Close()
{
    CancelLookup();
    KillTimeOut();
    nextAddresses_.clear();
    if (socket_ < 0)
        return;
    const int fd = socket_;
    readNotifier_.reset();
    writeNotifier_.reset();
    lastError_ = 0;
    if (tls_ && phase_ == Phase::connected && !peerClosed_) {
        // The peer may still be reading what we sent: the closer ends the connection cleanly.
        TlsCloser::Hand(fd, std::move(tls_));
    } else {
        tls_.reset();
        if (::close(fd) != 0)
            lastError_ = WinsockErrorFromErrno(errno);
    }
    socket_ = -1;
    ++generation_;
    phase_ = Phase::none;
    socketConnected_ = false;
}

int TAsyncSocket::Send(const void *buffer, int length)
{
    if (tls_)
        return TlsSend(static_cast<const char *>(buffer), length);
    return SendWithFlags(buffer, length, 0);
}

int TAsyncSocket::SendUrgent(const void *buffer, int length)
{
    if (tls_) {
        lastError_ = WSAEOPNOTSUPP; // a byte outside the TLS records would break the stream
        return 0;
    }
    return SendWithFlags(buffer, length, MSG_OOB);
}

int TAsyncSocket::SendWithFlags(const void *buffer, int length, int flags)
{
    if (socket_ < 0) {
        lastError_ = WSAENOTSOCK;
        return 0;
    }
    if (length <= 0)
        return 0;
    ssize_t sent = ::send(socket_, buffer, size_t(length), flags | MSG_NOSIGNAL);
    if (sent > 0) {
        lastError_ = 0;
        return int(sent);
    }
    if (sent == 0)
        return 0;
    int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK) {
        lastError_ = 0;
        if (phase_ == Phase::connected)
            WatchWritable(true); // a send notice follows when there is room again
        return 0;
    }
    lastError_ = WinsockErrorFromErrno(err);
    return 0;
}

int TAsyncSocket::Receive(void *buffer, int length)
{
    if (socket_ < 0) {
        lastError_ = WSAENOTSOCK;
        return 0;
    }
    if (length <= 0)
        return 0;
    if (tls_)
        return TlsReceive(static_cast<char *>(buffer), length);
    ssize_t got = ::recv(socket_, buffer, size_t(length), 0);
    int err = errno;
    if (phase_ == Phase::connected && !peerClosed_)
        WatchReadable(true); // a receive re-enables the read notice
    if (got > 0) {
        lastError_ = 0;
        return int(got);
    }
    if (got == 0) {
        endOfStream_ = true;
        return 0;
    }
    lastError_ = (err == EAGAIN || err == EWOULDBLOCK) ? 0 : WinsockErrorFromErrno(err);
    return 0;
}

std::string TAsyncSocket::GetLocalAddress()
{
    if (socket_ < 0)
        return "";
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    int rc = ::getsockname(socket_, reinterpret_cast<sockaddr *>(&local), &length);
    lastError_ = rc == 0 ? 0 : WinsockErrorFromErrno(errno);
    if (rc != 0)
        return TSocketAddress().Text();
    return TSocketAddress::FromRecord(local).Text();
}

uint16_t TAsyncSocket::GetLocalPort()
{
    if (socket_ < 0)
        return 0;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    int rc = ::getsockname(socket_, reinterpret_cast<sockaddr *>(&local), &length);
    lastError_ = rc == 0 ? 0 : WinsockErrorFromErrno(errno);
    return rc == 0 ? TSocketAddress::FromRecord(local).Port() : 0;
}

// ---- time-out ------------------------------------------------------------------------------

void TAsyncSocket::StartTimeOut(int seconds)
{
    KillTimeOut();
    if (seconds == 0)
        return;
    countdown_ = seconds;
    timerId_ = startTimer(1000);
}

void TAsyncSocket::KillTimeOut()
{
    if (timerId_ != 0)
        killTimer(timerId_);
    timerId_ = 0;
}

void TAsyncSocket::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != timerId_ || timerId_ == 0) {
        QObject::timerEvent(event);
        return;
    }
    if (--countdown_ > 0)
        return;
    if (phase_ == Phase::connecting && !nextAddresses_.empty()) {
        TryNextAddress(WSAETIMEDOUT);
        return;
    }
    Close();
    Raise(OnTimeOut);
}

// ---- messages ------------------------------------------------------------------------------

void TAsyncSocket::PostMessage(unsigned msg, uintptr_t wParam, intptr_t lParam)
{
    PostMessageTo(this, msg, wParam, lParam);
}

bool TAsyncSocket::event(QEvent *event)
{
    if (IsMessageEvent(event)) {
        if (auto *posted = dynamic_cast<TPostedMessage *>(event)) {
            WindowProc(posted->message, posted->tag);
            return true;
        }
    }
    return QObject::event(event);
}

void TAsyncSocket::WindowProc(TMessage &msg, uint64_t tag)
{
    if (msg.Msg > kMsgSocketNotice) {
        TMessageEvent handler = OnMessage;
        if (handler)
            handler(msg);
        return;
    }
    if (msg.Msg == kMsgLookupDone)
        LookupDone(msg, tag);
    else if (msg.Msg == kMsgSocketNotice)
        SocketNotice(msg, tag);
}

void TAsyncSocket::LookupDone(const TMessage &msg, uint64_t handle)
{
    if (lookupHandle_ == 0 || handle != lookupHandle_)
        return; // cancelled by Close
    KillTimeOut();
    lastError_ = uint16_t(ErrorOf(msg.LParam));
    if (lastError_ == 0 && lookup_)
        resolved_ = lookup_->Addresses();
    lookupHandle_ = 0;
    lookup_.reset();
    HostResolved();
}

void TAsyncSocket::HostResolved() { Raise(OnResolved); }

void TAsyncSocket::SocketNotice(const TMessage &msg, uint64_t generation)
{
    if (generation != generation_ || socket_ < 0)
        return; // the handle it belongs to was closed meanwhile
    KillTimeOut();
    lastError_ = uint16_t(ErrorOf(msg.LParam));
    switch (NoticeOf(msg.LParam)) {
    case fdRead: Raise(OnDataAvailable); break;
    case fdWrite: Raise(OnSendReady); break;
    case fdAccept: Raise(OnAccepted); break;
    case fdConnect:
        if (lastError_ != 0 && !nextAddresses_.empty()) {
            TryNextAddress(lastError_);
            break;
        }
        if (lastError_ != 0)
            lastError_ = NoteFailure(lastError_); // an earlier address may have said more
        socketConnected_ = lastError_ == 0;
        Raise(OnConnected);
        break;
    case fdTls: Raise(OnTlsDone); break;
    case fdClose:
        Raise(OnClosed);
        // The handler may have closed (or even replaced) the socket itself.
        if (generation == generation_) {
            ReleaseHandle();
            socketConnected_ = false;
        }
        break;
    default: break;
    }
}

void TAsyncSocket::Raise(const TSocketEvent &handler)
{
    TSocketEvent copy = handler; // the handler may reassign the event while it runs
    if (copy)
        copy(this);
}

// ---- readiness -> notices ------------------------------------------------------------------

void TAsyncSocket::AdoptHandle(int fd, Phase phase)
{
    socket_ = fd;
    phase_ = phase;
    peerClosed_ = false;
    endOfStream_ = false;
    tls_.reset();
    tlsPlain_.clear();
    tlsPlainAt_ = 0;
    tlsError_.clear();
    selectMask_ = 0;
    ++generation_;
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    readNotifier_->setEnabled(false);
    QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] { ReadinessRead(); });
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] { ReadinessWrite(); });
}

void TAsyncSocket::ReleaseHandle()
{
    if (socket_ < 0)
        return;
    tls_.reset();
    readNotifier_.reset();
    writeNotifier_.reset();
    ::close(socket_);
    socket_ = -1;
    ++generation_;
    phase_ = Phase::none;
    socketConnected_ = false;
}

void TAsyncSocket::WatchReadable(bool on)
{
    if (readNotifier_)
        readNotifier_->setEnabled(on);
}

void TAsyncSocket::WatchWritable(bool on)
{
    if (writeNotifier_)
        writeNotifier_->setEnabled(on);
}

void TAsyncSocket::PostNotice(int notice, int error)
{
    PostMessageTo(this, kMsgSocketNotice, uintptr_t(socket_), MakeNoticeParam(notice, error), generation_);
}

void TAsyncSocket::ReadinessRead()
{
    WatchReadable(false); // until Receive or Accept asks for more, as with Winsock
    if (phase_ == Phase::listening) {
        if (selectMask_ & fdAccept)
            PostNotice(fdAccept, 0);
        return;
    }
    if (phase_ != Phase::connected || peerClosed_)
        return;
    if (tls_) {
        TlsReadable();
        return;
    }
    // Peek to tell data from end of stream, so that data is always announced before the close.
    char probe;
    ssize_t got = ::recv(socket_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got > 0) {
        if (selectMask_ & fdRead)
            PostNotice(fdRead, 0);
        return;
    }
    int err = got == 0 ? 0 : errno;
    if (got < 0 && (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)) {
        WatchReadable(true);
        return;
    }
    peerClosed_ = true;
    WatchWritable(false);
    if (selectMask_ & fdClose)
        PostNotice(fdClose, WinsockErrorFromErrno(err));
}

void TAsyncSocket::ReadinessWrite()
{
    WatchWritable(false);
    if (phase_ == Phase::connecting) {
        int soError = 0;
        socklen_t length = sizeof soError;
        if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &soError, &length) != 0)
            soError = errno;
        uint16_t error = WinsockErrorFromErrno(soError);
        phase_ = error == 0 ? Phase::connected : Phase::created;
        if (selectMask_ & fdConnect)
            PostNotice(fdConnect, error);
        if (error == 0) {
            if (selectMask_ & fdWrite)
                PostNotice(fdWrite, 0);
            WatchReadable(true);
        }
        return;
    }
    if (tls_ && !tls_->HandshakeDone()) {
        if (phase_ == Phase::connected && !peerClosed_)
            DriveHandshake();
        return;
    }
    if (phase_ == Phase::connected && !peerClosed_ && (selectMask_ & fdWrite))
        PostNotice(fdWrite, 0);
}

void TAsyncSocket::CancelLookup()
{
    if (lookup_)
        lookup_->Cancel();
    lookup_.reset();
    lookupHandle_ = 0;
}
