// TAsyncSocket: the TLS half. Readiness drives the handshake first; after it, a readable socket
// is read through TLS into a small buffer of plain bytes, so that a notice is posted only for
// plain data (not for a record that carried none) and the peer's close is seen after its data.
#include "net/AsyncSocket.h"

#include "net/WinsockErrors.h"

#include <QSocketNotifier>

#include <cstring>

namespace {
constexpr int kTlsChunk = 16 * 1024; // one TLS record's worth of plain bytes
}

bool TAsyncSocket::StartTls(const TlsClientSetup &setup)
{
    std::string error;
    auto channel = socket_ >= 0 ? TlsChannel::Client(socket_, setup, error) : nullptr;
    if (!channel && error.empty())
        error = "TLS needs a connected socket";
    if (!channel) {
        tlsError_ = error;
        lastError_ = WSAENOTCONN;
        return false;
    }
    return AdoptTls(std::move(channel));
}

bool TAsyncSocket::StartTlsServer(const TlsServerSetup &setup)
{
    std::string error;
    auto channel = socket_ >= 0 ? TlsChannel::Server(socket_, setup, error) : nullptr;
    if (!channel) {
        tlsError_ = error.empty() ? "TLS needs a connected socket" : error;
        lastError_ = WSAENOTCONN;
        return false;
    }
    return AdoptTls(std::move(channel));
}

bool TAsyncSocket::AdoptTls(std::unique_ptr<TlsChannel> channel)
{
    if (phase_ != Phase::connected || peerClosed_) {
        tlsError_ = "TLS needs a connected socket";
        lastError_ = WSAENOTCONN;
        return false;
    }
    tls_ = std::move(channel);
    tlsPlain_.clear();
    tlsPlainAt_ = 0;
    tlsError_.clear();
    lastError_ = 0;
    DriveHandshake();
    return true;
}

void TAsyncSocket::DriveHandshake()
{
    switch (tls_->Handshake()) {
    case TlsChannel::Result::done:
        PostNotice(fdTls, 0);
        WatchReadable(true); // what follows the handshake (a session ticket, data) is read now
        if (selectMask_ & fdWrite)
            PostNotice(fdWrite, 0);
        return;
    case TlsChannel::Result::wantRead: WatchReadable(true); return;
    case TlsChannel::Result::wantWrite: WatchWritable(true); return;
    case TlsChannel::Result::closed:
    case TlsChannel::Result::failed:
        tlsError_ = tls_->ErrorText();
        peerClosed_ = true;
        WatchReadable(false);
        WatchWritable(false);
        PostNotice(fdTls, WSAECONNABORTED);
        return;
    }
}

void TAsyncSocket::TlsFailed(const std::string &why)
{
    tlsError_ = why;
    peerClosed_ = true;
    WatchWritable(false);
    if (selectMask_ & fdClose)
        PostNotice(fdClose, WSAECONNRESET);
}

// The socket is readable: the handshake goes on, or the next plain bytes are fetched and
// announced (only when none wait still: Receive announces those itself).
void TAsyncSocket::TlsReadable()
{
    if (!tls_->HandshakeDone()) {
        DriveHandshake();
        return;
    }
    if (tlsPlainAt_ < tlsPlain_.size()) {
        if (selectMask_ & fdRead)
            PostNotice(fdRead, 0);
        return;
    }
    char chunk[kTlsChunk];
    int got = 0;
    switch (tls_->Read(chunk, kTlsChunk, got)) {
    case TlsChannel::Result::done:
        tlsPlain_.assign(chunk, size_t(got));
        tlsPlainAt_ = 0;
        if (selectMask_ & fdRead)
            PostNotice(fdRead, 0);
        return;
    case TlsChannel::Result::wantRead: WatchReadable(true); return;
    case TlsChannel::Result::wantWrite: WatchWritable(true); return;
    case TlsChannel::Result::closed:
        peerClosed_ = true;
        WatchWritable(false);
        if (selectMask_ & fdClose)
            PostNotice(fdClose, 0);
        return;
    case TlsChannel::Result::failed: TlsFailed(tls_->ErrorText()); return;
    }
}

int TAsyncSocket::TlsReceive(char *buffer, int length)
{
    lastError_ = 0;
    if (!tls_->HandshakeDone() || peerClosed_)
        return 0;
    int n = 0;
    if (tlsPlainAt_ < tlsPlain_.size()) {
        n = int(std::min(size_t(length), tlsPlain_.size() - tlsPlainAt_));
        std::memcpy(buffer, tlsPlain_.data() + tlsPlainAt_, size_t(n));
        tlsPlainAt_ += size_t(n);
        if (tlsPlainAt_ == tlsPlain_.size()) {
            tlsPlain_.clear();
            tlsPlainAt_ = 0;
        }
    } else {
        switch (tls_->Read(buffer, length, n)) {
        case TlsChannel::Result::done: break;
        case TlsChannel::Result::wantRead: break;
        case TlsChannel::Result::wantWrite: WatchWritable(true); break;
        case TlsChannel::Result::closed:
            // Seen here first: the readiness path announces it.
            break;
        case TlsChannel::Result::failed:
            tlsError_ = tls_->ErrorText();
            lastError_ = WSAECONNRESET;
            return 0;
        }
    }
    AfterTlsReceive();
    return n;
}

// As a plain socket's read notice comes back after a receive while data waits, so here: plain
// bytes still buffered are announced again, else the socket is watched.
void TAsyncSocket::AfterTlsReceive()
{
    if (phase_ != Phase::connected || peerClosed_)
        return;
    if ((tlsPlainAt_ < tlsPlain_.size() || tls_->Pending()) && (selectMask_ & fdRead))
        PostNotice(fdRead, 0);
    else
        WatchReadable(true);
}

int TAsyncSocket::TlsSend(const char *buffer, int length)
{
    lastError_ = 0;
    if (length <= 0 || !tls_->HandshakeDone())
        return 0;
    if (peerClosed_) {
        lastError_ = WSAECONNRESET;
        return 0;
    }
    int sent = 0;
    switch (tls_->Write(buffer, length, sent)) {
    case TlsChannel::Result::done: return sent;
    case TlsChannel::Result::wantWrite: WatchWritable(true); return 0;
    case TlsChannel::Result::wantRead: WatchReadable(true); return 0;
    case TlsChannel::Result::closed:
    case TlsChannel::Result::failed:
        tlsError_ = tls_->ErrorText().empty() ? "the TLS connection closed" : tls_->ErrorText();
        lastError_ = WSAECONNRESET;
        return 0;
    }
    return 0;
}
