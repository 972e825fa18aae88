#include "net/TlsCloser.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {
constexpr int kPeerCloseWaitMs = 10000; // a peer that never closes does not keep the descriptor
int waiting = 0;
} // namespace

void TlsCloser::Hand(int fd, std::unique_ptr<TlsChannel> channel)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || !channel || !channel->HandshakeDone()) {
        channel.reset();
        ::close(fd);
        return;
    }
    // Owned by the application: a closer still waiting at exit goes with it.
    new TlsCloser(fd, std::move(channel), app);
}

int TlsCloser::Waiting()
{
    return waiting;
}

TlsCloser::TlsCloser(int fd, std::unique_ptr<TlsChannel> channel, QObject *parent)
    : QObject(parent), fd_(fd), channel_(std::move(channel))
{
    ++waiting;
    QTimer::singleShot(kPeerCloseWaitMs, this, [this] { Finish(); });
    SendCloseNotify();
}

TlsCloser::~TlsCloser()
{
    readable_.reset();
    writable_.reset();
    channel_.reset();
    if (fd_ >= 0)
        ::close(fd_);
    --waiting;
}

void TlsCloser::SendCloseNotify()
{
    switch (channel_->Shutdown()) {
    case TlsChannel::Result::wantWrite:
        if (!writable_) {
            writable_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
            connect(writable_.get(), &QSocketNotifier::activated, this, [this] { SendCloseNotify(); });
        }
        return;
    case TlsChannel::Result::wantRead: // a renegotiation-like state: drain, the peer ends it
    case TlsChannel::Result::done:
    case TlsChannel::Result::closed:
    case TlsChannel::Result::failed:
        break;
    }
    writable_.reset();
    ::shutdown(fd_, SHUT_WR);
    readable_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(readable_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
    Drain();
}

// Whatever the peer still sends is of no use now; its end (or an error) ends the wait.
void TlsCloser::Drain()
{
    char sink[16 * 1024];
    for (;;) {
        const ssize_t n = ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT);
        if (n > 0)
            continue;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        Finish();
        return;
    }
}

void TlsCloser::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    readable_.reset();
    writable_.reset();
    deleteLater();
}
