#pragma once
// TlsCloser: the end of a TLS connection after its owner is done with it. A TLS peer that reads
// an upload must get the close_notify and every byte before the connection ends; closing the
// descriptor while bytes of the peer's wait unread (TLS 1.3 session tickets, its own
// close_notify) makes the kernel answer with a reset, and the peer then drops the end of the
// upload it has not read yet ("426 Failure reading network stream"). So the closer sends
// close_notify, half-closes, and reads until the peer closes, within a time limit, and only then
// closes the descriptor. The socket that handed it over is free at once.
#include "net/TlsChannel.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

class TlsCloser : public QObject {
public:
    // Takes the descriptor and its channel; without an application (nothing to drive the wait)
    // the descriptor is closed at once.
    static void Hand(int fd, std::unique_ptr<TlsChannel> channel);
    // Closers still waiting for their peers (tests).
    static int Waiting();

    ~TlsCloser() override;

private:
    TlsCloser(int fd, std::unique_ptr<TlsChannel> channel, QObject *parent);
    void SendCloseNotify();
    void Drain();
    void Finish();

    int fd_;
    std::unique_ptr<TlsChannel> channel_;
    std::unique_ptr<QSocketNotifier> readable_;
    std::unique_ptr<QSocketNotifier> writable_;
    bool finished_ = false;
};
