#include "net/TlsChannel.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <sys/socket.h>

namespace {

// ---- the socket BIO: send with MSG_NOSIGNAL, so that a peer gone away never raises SIGPIPE ----

int BioWrite(BIO *bio, const char *data, size_t length, size_t *written)
{
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do
        n = ::send(int(BIO_get_fd(bio, nullptr)), data, length, MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    if (n >= 0) {
        *written = size_t(n);
        return 1;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK)
        BIO_set_retry_write(bio);
    return 0;
}

int BioRead(BIO *bio, char *data, size_t length, size_t *got)
{
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do
        n = ::recv(int(BIO_get_fd(bio, nullptr)), data, length, 0);
    while (n < 0 && errno == EINTR);
    if (n > 0) {
        *got = size_t(n);
        return 1;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        BIO_set_retry_read(bio);
    return 0; // n == 0: the end of the stream
}

long BioControl(BIO *bio, int command, long number, void *pointer)
{
    switch (command) {
    case BIO_C_SET_FD:
        BIO_set_data(bio, reinterpret_cast<void *>(intptr_t(*static_cast<int *>(pointer))));
        BIO_set_init(bio, 1);
        return 1;
    case BIO_C_GET_FD:
        if (pointer)
            *static_cast<int *>(pointer) = int(intptr_t(BIO_get_data(bio)));
        return long(intptr_t(BIO_get_data(bio)));
    case BIO_CTRL_FLUSH:
    case BIO_CTRL_DUP: return 1;
    default: (void)number; return 0;
    }
}

BIO_METHOD *SocketMethod()
{
    static BIO_METHOD *method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR,
                                     "fernhop socket");
        BIO_meth_set_write_ex(m, BioWrite);
        BIO_meth_set_read_ex(m, BioRead);
        BIO_meth_set_ctrl(m, BioControl);
        return m;
    }();
    return method;
}

BIO *SocketBio(int fd)
{
    BIO *bio = BIO_new(SocketMethod());
    if (bio)
        BIO_set_fd(bio, fd, BIO_NOCLOSE);
    return bio;
}

// ---- contexts --------------------------------------------------------------------------------

std::string OpenSslErrors()
{
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        if (!text.empty())
            text += "; ";
        text += line;
    }
    return text;
}

int ChannelIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

void CommonOptions(SSL_CTX *context)
{
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

// Under TLS 1.2 only forward-secret key exchanges with authenticated encryption: a recorded
// session must not be readable once the server's key leaks. TLS 1.3's suites all are.
constexpr const char *kTls12Ciphers = "ECDHE+AESGCM:ECDHE+CHACHA20:DHE+AESGCM:DHE+CHACHA20:!aNULL:!eNULL";

SSL_CTX *ClientContext(int (*newSession)(SSL *, SSL_SESSION *), std::string &error)
{
    static std::mutex guard;
    static SSL_CTX *context = nullptr;
    const std::lock_guard<std::mutex> lock(guard);
    if (context)
        return context;
    SSL_CTX *made = SSL_CTX_new(TLS_client_method());
    if (!made) {
        error = OpenSslErrors();
        return nullptr;
    }
    CommonOptions(made);
    SSL_CTX_set_cipher_list(made, kTls12Ciphers);
    SSL_CTX_set_default_verify_paths(made);
    SSL_CTX_set_verify(made, SSL_VERIFY_NONE, nullptr); // the session decides, see PeerInfo
    // Sessions are kept by the connection that got them, for its data connections only.
    SSL_CTX_set_session_cache_mode(made, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(made, newSession);
    context = made;
    return context;
}

// One context per certificate, kept, so that its session cache lets clients resume.
SSL_CTX *ServerContext(const TlsServerSetup &setup, std::string &error)
{
    static std::mutex guard;
    // Kept for the life of the process and never destroyed: a context still in use by a
    // connection must outlive the static destructors.
    static auto &contexts = *new std::map<std::string, SSL_CTX *>;
    const std::lock_guard<std::mutex> lock(guard);
    const std::string key = setup.certificateFile + "\n" + setup.keyFile;
    if (auto found = contexts.find(key); found != contexts.end())
        return found->second;
    SSL_CTX *made = SSL_CTX_new(TLS_server_method());
    if (!made || SSL_CTX_use_certificate_chain_file(made, setup.certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(made, setup.keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = OpenSslErrors();
        SSL_CTX_free(made);
        return nullptr;
    }
    CommonOptions(made);
    // The test servers end connections as some FTP servers do, without close_notify.
    SSL_CTX_set_options(made, SSL_OP_IGNORE_UNEXPECTED_EOF);
    static const unsigned char id[] = "fernhop";
    SSL_CTX_set_session_id_context(made, id, sizeof id - 1);
    contexts[key] = made;
    return made;
}

bool IsAddress(const std::string &host)
{
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string NameText(const X509_NAME *name)
{
    BIO *out = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(out, name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    const long size = BIO_get_mem_data(out, &data);
    std::string text(data, size_t(size > 0 ? size : 0));
    BIO_free(out);
    return text;
}

std::string TimeText(const ASN1_TIME *time)
{
    BIO *out = BIO_new(BIO_s_mem());
    ASN1_TIME_print(out, time);
    char *data = nullptr;
    const long size = BIO_get_mem_data(out, &data);
    std::string text(data, size_t(size > 0 ? size : 0));
    BIO_free(out);
    return text;
}

void FreeSession(SSL_SESSION *session) { SSL_SESSION_free(session); }

} // namespace

// ---- life -------------------------------------------------------------------------------------

std::unique_ptr<TlsChannel> TlsChannel::Attach(SSL_CTX *context, int fd, std::string &error)
{
    std::unique_ptr<TlsChannel> channel(new TlsChannel);
    channel->ssl_ = SSL_new(context);
    BIO *bio = channel->ssl_ ? SocketBio(fd) : nullptr;
    if (!bio) {
        error = OpenSslErrors();
        return nullptr;
    }
    SSL_set_bio(channel->ssl_, bio, bio);
    SSL_set_ex_data(channel->ssl_, ChannelIndex(), channel.get());
    return channel;
}

std::unique_ptr<TlsChannel> TlsChannel::Client(int fd, const TlsClientSetup &setup, std::string &error)
{
    SSL_CTX *context = ClientContext(&TlsChannel::NewSession, error);
    std::unique_ptr<TlsChannel> channel = context ? Attach(context, fd, error) : nullptr;
    if (!channel)
        return nullptr;
    SSL_set_connect_state(channel->ssl_);
    if (!setup.host.empty()) {
        if (IsAddress(setup.host)) {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(channel->ssl_), setup.host.c_str());
        } else {
            SSL_set_tlsext_host_name(channel->ssl_, setup.host.c_str());
            SSL_set1_host(channel->ssl_, setup.host.c_str());
            // The name must be among the certificate's DNS names: a common name alone is the
            // old way browsers gave up, and "w*.example.com" matches no name of ours.
            SSL_set_hostflags(channel->ssl_,
                              X509_CHECK_FLAG_NEVER_CHECK_SUBJECT | X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        }
    }
    if (setup.resume) {
        // A TLS 1.3 session is spent once a connection has resumed it; every data connection of
        // an FTP session resumes the control connection's session, so each gets a copy.
        if (SSL_SESSION *copy = SSL_SESSION_dup(setup.resume.get())) {
            SSL_set_session(channel->ssl_, copy);
            SSL_SESSION_free(copy);
        }
    }
    return channel;
}

std::unique_ptr<TlsChannel> TlsChannel::Server(int fd, const TlsServerSetup &setup, std::string &error)
{
    SSL_CTX *context = ServerContext(setup, error);
    std::unique_ptr<TlsChannel> channel = context ? Attach(context, fd, error) : nullptr;
    if (!channel)
        return nullptr;
    SSL_set_accept_state(channel->ssl_);
    return channel;
}

TlsChannel::~TlsChannel()
{
    SSL_free(ssl_);
}

int TlsChannel::NewSession(SSL *ssl, SSL_SESSION *session)
{
    auto *channel = static_cast<TlsChannel *>(SSL_get_ex_data(ssl, ChannelIndex()));
    if (!channel)
        return 0;
    channel->newest_ = TlsSession(session, FreeSession);
    return 1; // the reference is ours now
}

// ---- steps ------------------------------------------------------------------------------------

TlsChannel::Result TlsChannel::Outcome(int rc, const char *step)
{
    switch (SSL_get_error(ssl_, rc)) {
    case SSL_ERROR_WANT_READ: return Result::wantRead;
    case SSL_ERROR_WANT_WRITE: return Result::wantWrite;
    case SSL_ERROR_ZERO_RETURN: return Result::closed; // close_notify
    case SSL_ERROR_SYSCALL: {
        const int number = errno;
        std::string queued = OpenSslErrors();
        if (queued.empty() && number == 0 && handshakeDone_) {
            endedWithoutClose_ = true;
            return Result::closed;
        }
        if (queued.empty())
            queued = number == 0 ? "the connection closed" : std::strerror(number);
        error_ = std::string(step) + ": " + queued;
        return Result::failed;
    }
    default: {
        const unsigned long first = ERR_peek_error();
        if (handshakeDone_ && ERR_GET_LIB(first) == ERR_LIB_SSL &&
            ERR_GET_REASON(first) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
            // The connection ended without close_notify: an end, but one an attacker can forge
            // by cutting the stream, so the owner is told (EndedWithoutClose).
            ERR_clear_error();
            endedWithoutClose_ = true;
            return Result::closed;
        }
        std::string queued = OpenSslErrors();
        error_ = std::string(step) + ": " + (queued.empty() ? "TLS error" : queued);
        return Result::failed;
    }
    }
}

TlsChannel::Result TlsChannel::Handshake()
{
    if (handshakeDone_)
        return Result::done;
    ERR_clear_error();
    errno = 0;
    const int rc = SSL_do_handshake(ssl_);
    if (rc == 1) {
        handshakeDone_ = true;
        return Result::done;
    }
    return Outcome(rc, "TLS handshake");
}

TlsChannel::Result TlsChannel::Read(char *buffer, int length, int &moved)
{
    moved = 0;
    if (length <= 0)
        return Result::done;
    ERR_clear_error();
    errno = 0;
    size_t got = 0;
    const int rc = SSL_read_ex(ssl_, buffer, size_t(length), &got);
    if (rc == 1) {
        moved = int(got);
        return Result::done;
    }
    return Outcome(rc, "TLS read");
}

TlsChannel::Result TlsChannel::Write(const char *buffer, int length, int &moved)
{
    moved = 0;
    if (length <= 0)
        return Result::done;
    ERR_clear_error();
    errno = 0;
    size_t sent = 0;
    const int rc = SSL_write_ex(ssl_, buffer, size_t(length), &sent);
    if (rc == 1) {
        moved = int(sent);
        return Result::done;
    }
    return Outcome(rc, "TLS write");
}

bool TlsChannel::CloseReceived() const
{
    return !endedWithoutClose_ && (SSL_get_shutdown(ssl_) & SSL_RECEIVED_SHUTDOWN) != 0;
}

bool TlsChannel::Pending() const
{
    return SSL_pending(ssl_) > 0;
}

TlsChannel::Result TlsChannel::Shutdown()
{
    if (!handshakeDone_ || !error_.empty())
        return Result::failed;
    ERR_clear_error();
    errno = 0;
    const int rc = SSL_shutdown(ssl_);
    if (rc >= 0) // 0: our close_notify is out, the peer's not yet seen; 1: both
        return Result::done;
    const Result result = Outcome(rc, "TLS close");
    ERR_clear_error();
    return result;
}

// ---- what the peer showed ---------------------------------------------------------------------

TlsPeerInfo TlsChannel::PeerInfo() const
{
    TlsPeerInfo info;
    if (!handshakeDone_)
        return info;
    info.version = SSL_get_version(ssl_);
    info.cipher = SSL_get_cipher_name(ssl_);
    info.resumed = SSL_session_reused(ssl_) == 1;
    X509 *certificate = SSL_get1_peer_certificate(ssl_);
    if (!certificate)
        return info;
    info.hasCertificate = true;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &size) == 1) {
        static const char hex[] = "0123456789ABCDEF";
        for (unsigned int i = 0; i < size; ++i) {
            info.fingerprint += hex[digest[i] >> 4];
            info.fingerprint += hex[digest[i] & 15];
        }
    }
    info.subject = NameText(X509_get_subject_name(certificate));
    info.issuer = NameText(X509_get_issuer_name(certificate));
    info.validFrom = TimeText(X509_get0_notBefore(certificate));
    info.validUntil = TimeText(X509_get0_notAfter(certificate));
    X509_free(certificate);
    const long result = SSL_get_verify_result(ssl_);
    info.verified = result == X509_V_OK;
    if (!info.verified)
        info.verifyProblem = X509_verify_cert_error_string(result);
    return info;
}

TlsSession TlsChannel::Session() const
{
    if (newest_)
        return newest_;
    SSL_SESSION *session = handshakeDone_ ? SSL_get1_session(ssl_) : nullptr;
    return session ? TlsSession(session, FreeSession) : TlsSession();
}

std::string TlsChannel::ShownFingerprint(const std::string &normal)
{
    std::string shown;
    for (size_t i = 0; i < normal.size(); i += 2) {
        if (i)
            shown += ':';
        shown += normal.substr(i, 2);
    }
    return shown;
}

std::string TlsChannel::NormalFingerprint(const std::string &text)
{
    std::string digits;
    for (char c : text) {
        if (c == ':')
            continue;
        if (c >= 'a' && c <= 'f')
            c = char(c - 32);
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return {};
        digits += c;
    }
    return digits.size() == 64 ? digits : std::string();
}
