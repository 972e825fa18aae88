#pragma once
// TAsyncSocket: one TCP socket in the message-driven style. Every socket is non-blocking; every
// completion (lookup done, connected, data arrived, room to send, connection offered, peer closed)
// arrives later as a posted message on the GUI thread and is turned into an event. Readiness is
// watched with QSocketNotifier; a notice is posted only when it is selected and, as with Winsock,
// a read or accept notice is not repeated until Receive or Accept has been called.
#include "net/PostedMessage.h"
#include "net/SocketAddress.h"
#include "net/TlsChannel.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class HostLookup;
class QSocketNotifier;

// Notice codes (low word of a socket notice), the Winsock FD_* values.
enum TSocketNotice : int {
    fdRead = 1,
    fdWrite = 2,
    fdOob = 4,
    fdAccept = 8,
    fdConnect = 16,
    fdClose = 32,
    fdTls = 64, // the TLS handshake ended (LastError 0: it succeeded)
};

class TAsyncSocket : public QObject {
public:
    using TSocketEvent = std::function<void(TAsyncSocket *Sender)>;
    using TMessageEvent = std::function<void(TMessage &message)>;

    explicit TAsyncSocket(QObject *owner = nullptr);
    ~TAsyncSocket() override;
    TAsyncSocket(const TAsyncSocket &) = delete;
    TAsyncSocket &operator=(const TAsyncSocket &) = delete;

    // Socket library life cycle. There is nothing to load on this platform; both succeed and
    // describe the platform's sockets.
    bool LoadWinsock(const std::string &libraryName);
    bool StartWinsock();
    void StopWinsock();
    void UnloadWinsock();
    bool LibraryLoaded() const { return libraryLoaded_; }
    bool WinsockStarted() const { return winsockStarted_; }
    const std::string &WinsockDescription() const { return winsockDescription_; }
    const std::string &WinsockSystemStatus() const { return winsockSystemStatus_; }
    int WinsockMaxSockets() const { return winsockMaxSockets_; }

    // The peer. A numeric address (dotted IPv4, IPv6 text with or without brackets) goes to
    // Address without its brackets, anything else to HostName (looked up by name); an empty text
    // leaves both alone.
    void SetHost(const std::string &text);
    const std::string &Host() const { return host_; }
    std::string Address;  // numeric address of the peer ("10.0.0.1", "::1")
    std::string HostName; // host name still to be looked up
    uint16_t Port = 0;

    // Address record (the address used by ConnectSocket, Listen and Accept), IPv4 or IPv6.
    void SetAddress(const std::string &numeric); // an invalid text gives 255.255.255.255
    void SetPort(uint16_t port);
    // The first address of the last successful lookup; ConnectSocket then tries the others in
    // turn when it cannot connect to one (OnNextAddress tells of each new attempt).
    void UseResolvedAddress();
    std::string GetAddressString() const;
    size_t AddressesLeft() const { return nextAddresses_.size(); } // to try after this one
    bool AddressIsIpv6() const { return addressRecord_.IsIpv6(); }
    // The two address records name the same host (ports aside; IPv4-mapped IPv6 equals IPv4).
    bool SameHostAs(const TAsyncSocket &other) const { return addressRecord_.SameHost(other.addressRecord_); }

    void CreateSocket(); // of the address record's family (ConnectSocket and Listen adapt it)
    void ResolveHost(const std::string &name);
    void ConnectSocket();
    void Listen();
    void Accept(TAsyncSocket &listener);
    void Close(); // no notice arrives for the closed socket afterwards; a second Close is harmless

    // Result: bytes moved. 0 with LastError 0 means "try again later" (would block); 0 with
    // LastError unchanged after a Receive means the peer closed; otherwise LastError says why.
    int Send(const void *buffer, int length);
    int SendUrgent(const void *buffer, int length);
    int Receive(void *buffer, int length);

    // TLS over the connected socket: the handshake starts at once and OnTlsDone reports its end
    // (LastError 0 and TlsReady: done; else TlsError says why). Until then nothing is sent or
    // received; afterwards Send and Receive carry plain bytes through TLS and the notices keep
    // their meaning. False (with TlsError) when TLS could not be set up at all.
    bool StartTls(const TlsClientSetup &setup);
    bool StartTlsServer(const TlsServerSetup &setup);
    bool TlsActive() const { return tls_ != nullptr; }
    bool TlsReady() const { return tls_ && tls_->HandshakeDone(); }
    const std::string &TlsError() const { return tlsError_; }
    // The peer ended the TLS stream with its close_notify; false after an end that could have
    // been a cut (the connection's end alone, a reset).
    bool TlsCloseReceived() const { return tls_ && tls_->CloseReceived(); }
    TlsPeerInfo TlsPeer() const { return tls_ ? tls_->PeerInfo() : TlsPeerInfo(); }
    TlsSession GetTlsSession() const { return tls_ ? tls_->Session() : TlsSession(); }

    std::string GetLocalAddress();
    uint16_t GetLocalPort();
    void StartTimeOut(int seconds);

    uint16_t LastError() const { return lastError_; } // Winsock number, 0 = none
    bool SocketConnected() const { return socketConnected_; }
    bool HasSocket() const { return socket_ >= 0; }
    // A Receive has met the end of the stream (the close notice follows).
    bool EndOfStream() const { return endOfStream_; }
    // The descriptor, for a library that must be told it (libssh2 reads and writes through
    // Send and Receive all the same); -1 when there is none.
    int Handle() const { return socket_; }

    // Seconds allowed for a connection; 0 = no limit. While other addresses of the lookup are
    // left to try, an attempt gets this or, with no limit, kNextAddressSeconds.
    int TimeOutConnect = 0;
    static constexpr int kNextAddressSeconds = 10;
    int TimeOutArp = 0;     // seconds allowed for a name lookup; 0 = no limit

    TMessageEvent OnMessage; // every message above 1025 (the owner's own messages)
    TSocketEvent OnResolved;
    TSocketEvent OnConnected;
    TSocketEvent OnClosed;
    TSocketEvent OnTimeOut;
    TSocketEvent OnDataAvailable;
    TSocketEvent OnSendReady;
    TSocketEvent OnAccepted;
    TSocketEvent OnTlsDone;
    // A connect failed and the next address of the lookup is being tried: LastError says why the
    // last attempt failed, GetAddressString names the address now tried.
    TSocketEvent OnNextAddress;

protected:
    // Called when a lookup ends, also when it failed (LastError holds the lookup error).
    virtual void HostResolved();
    void SetLastError(uint16_t number) { lastError_ = number; }
    void PostMessage(unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0);

    bool event(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    enum class Phase { none, created, connecting, listening, connected };

    void WindowProc(TMessage &msg, uint64_t tag);
    void LookupDone(const TMessage &msg, uint64_t handle);
    void SocketNotice(const TMessage &msg, uint64_t generation);
    void Raise(const TSocketEvent &handler);

    void WatchReadable(bool on);
    void WatchWritable(bool on);
    void ReadinessRead();
    void ReadinessWrite();
    void PostNotice(int notice, int error);
    bool MatchAddressFamily();
    void BeginConnect();
    uint16_t NoteFailure(uint16_t error);
    void TakeNextAddress();
    void TryNextAddress(uint16_t failure);
    void AdoptHandle(int fd, Phase phase);
    void ReleaseHandle(); // closes the handle quietly: no LastError, no notice
    void CancelLookup();
    void KillTimeOut();
    int SendWithFlags(const void *buffer, int length, int flags);
    bool AdoptTls(std::unique_ptr<TlsChannel> channel);
    void DriveHandshake();
    void TlsReadable();
    void TlsFailed(const std::string &why);
    int TlsReceive(char *buffer, int length);
    int TlsSend(const char *buffer, int length);
    void AfterTlsReceive();

    int socket_ = -1;
    Phase phase_ = Phase::none;
    int selectMask_ = 0;
    bool peerClosed_ = false;      // end of stream or a reset was seen; stop watching reads
    bool endOfStream_ = false;     // a Receive returned the end of the stream
    uint64_t generation_ = 1;      // tags notices so that those of a closed handle are dropped
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    TSocketAddress addressRecord_;
    int socketFamily_ = AF_INET;
    std::vector<TSocketAddress> nextAddresses_; // still to try should this connect fail
    uint16_t telling_ = 0;                      // the most telling failure of this connect so far
    bool socketConnected_ = false;

    bool libraryLoaded_ = false;
    bool winsockStarted_ = false;
    std::string winsockDescription_;
    std::string winsockSystemStatus_;
    int winsockMaxSockets_ = 0;

    std::unique_ptr<HostLookup> lookup_;
    uint64_t lookupHandle_ = 0; // 0 when no lookup is pending
    uint64_t lastLookupHandle_ = 0;
    std::vector<TSocketAddress> resolved_;

    int countdown_ = 0;
    int timerId_ = 0;

    std::string host_;
    uint16_t lastError_ = 0;

    // TLS: the channel, and plain bytes it gave that Receive has not taken yet.
    std::unique_ptr<TlsChannel> tls_;
    std::string tlsPlain_;
    size_t tlsPlainAt_ = 0;
    std::string tlsError_;
};
