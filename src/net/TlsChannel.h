#pragma once
// TlsChannel: the TLS layer of one non-blocking TCP socket (OpenSSL on the socket's descriptor).
// It never waits: every call does what the socket allows now and says what it needs next
// (readable, writable), so the owning TAsyncSocket can keep its notice-driven style.
//
// A client checks the server's certificate against the system's CA store and the host name it
// was given (among the certificate's DNS names or addresses; a common name alone does not count,
// nor does a partial wildcard), but never refuses it itself: the outcome is in PeerInfo, and the FTP session decides
// (a certificate the user trusted by its fingerprint is as good as a verified one).
#include <memory>
#include <string>

struct ssl_st;
struct ssl_session_st;
struct ssl_ctx_st;

// A TLS session that later connections may resume (the FTP data connections resume the control
// connection's session; servers may insist on it).
using TlsSession = std::shared_ptr<ssl_session_st>;

struct TlsClientSetup {
    std::string host;    // the name (or address) the user gave: checked against the certificate
    TlsSession resume;   // the session to resume, if any
};

// Files of a server's certificate and key (PEM): the test servers' side of the socket tests.
struct TlsServerSetup {
    std::string certificateFile;
    std::string keyFile;
};

struct TlsPeerInfo {
    std::string version;         // "TLSv1.3"
    std::string cipher;          // "TLS_AES_256_GCM_SHA384"
    bool resumed = false;        // this connection resumed an earlier session
    bool hasCertificate = false;
    std::string fingerprint;     // SHA-256 of the certificate, 64 upper-case hex digits
    std::string subject;         // one-line forms, as openssl prints them
    std::string issuer;
    std::string validFrom;       // "Dec  7 16:00:00 2026 GMT"
    std::string validUntil;
    bool verified = false;       // the chain is trusted by the CA store and the host name matches
    std::string verifyProblem;   // why not, in OpenSSL's words ("self-signed certificate")
};

class TlsChannel {
public:
    enum class Result {
        done,      // the step is complete (or bytes moved)
        wantRead,  // call again once the socket is readable
        wantWrite, // call again once the socket is writable
        closed,    // the peer ended the TLS stream (close_notify or the connection's end)
        failed,    // a TLS or socket error; ErrorText says which
    };

    static std::unique_ptr<TlsChannel> Client(int fd, const TlsClientSetup &setup, std::string &error);
    static std::unique_ptr<TlsChannel> Server(int fd, const TlsServerSetup &setup, std::string &error);
    ~TlsChannel();
    TlsChannel(const TlsChannel &) = delete;
    TlsChannel &operator=(const TlsChannel &) = delete;

    Result Handshake();
    bool HandshakeDone() const { return handshakeDone_; }
    // Bytes moved go to `moved`; a result other than done moves none.
    Result Read(char *buffer, int length, int &moved);
    Result Write(const char *buffer, int length, int &moved);
    // The peer ended its stream with close_notify. A stream that ended otherwise (Result::closed
    // all the same, as many FTP servers end data connections so) may have been cut short by
    // anyone on the way.
    bool CloseReceived() const;
    // Plain bytes already decrypted and waiting inside the TLS layer.
    bool Pending() const;
    // Sends close_notify: done once it is out, wantWrite while the socket has no room for it.
    // The descriptor is the owner's to close.
    Result Shutdown();

    const std::string &ErrorText() const { return error_; }
    TlsPeerInfo PeerInfo() const;
    // The newest session the server handed out on this connection (TLS 1.3 sends it after the
    // handshake), else the handshake's own; empty before the handshake.
    TlsSession Session() const;

    // SHA-256 fingerprint in the form people compare: "AB:CD:...". NormalFingerprint accepts
    // that form or bare hex, either case, and gives 64 upper-case digits ("" if it is neither).
    static std::string ShownFingerprint(const std::string &normal);
    static std::string NormalFingerprint(const std::string &text);

private:
    TlsChannel() = default;
    // A channel of `context` over the socket `fd`; null (and `error` set) when OpenSSL refuses.
    static std::unique_ptr<TlsChannel> Attach(ssl_ctx_st *context, int fd, std::string &error);
    Result Outcome(int rc, const char *step);
    static int NewSession(ssl_st *ssl, ssl_session_st *session);

    ssl_st *ssl_ = nullptr;
    bool handshakeDone_ = false;
    bool endedWithoutClose_ = false;
    TlsSession newest_;
    std::string error_;
};
