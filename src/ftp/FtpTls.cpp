// TFtpClient: explicit TLS. After the greeting: AUTH TLS, the handshake on the control
// connection, the certificate decision, PBSZ 0 and PROT P; only then the login. Any refusal on
// the way ends the session before a credential is sent. Data connections get a handshake of
// their own that resumes the control connection's session, as servers may insist.
#include "ftp/Ftp.h"

#include "net/WinsockErrors.h"

namespace {
// The name the certificate must carry: an IPv6 literal typed in brackets is checked (and kept out
// of the server name indication) as the address it is.
std::string CertificateHost(const std::string &server)
{
    if (server.size() > 2 && server.front() == '[' && server.back() == ']')
        return server.substr(1, server.size() - 2);
    return server;
}
} // namespace

// 4: AUTH TLS. 234 starts the handshake; anything else means the server offers no TLS.
void TFtpClient::AuthReply(const std::string &line)
{
    if (line.compare(0, 3, "234") != 0) {
        TlsRefused("The server refused AUTH TLS (" + line + "); nothing more was sent, no user name or password.");
        return;
    }
    SetReplyState(stTlsHandshake);
    OnTlsDone = [this](TAsyncSocket *) { ControlTlsDone(); };
    Trace("-> TLS handshake started");
    if (!StartTls({CertificateHost(FtpServer()), nullptr})) {
        RaiseInfo(fiSecurity, "TLS could not be started: " + TlsError());
        Disconnect(feTlsFailed);
    }
}

void TFtpClient::ControlTlsDone()
{
    if (LastError() != 0 || !TlsReady()) {
        RaiseInfo(fiSecurity, "The TLS handshake with the server failed: " + TlsError());
        Disconnect(feTlsFailed);
        return;
    }
    const TlsPeerInfo peer = TlsPeer();
    Trace("-> TLS handshake done");
    RaiseInfo(fiSecurity, "TLS: " + peer.version + ", cipher " + peer.cipher);
    const bool accepted = OnFtpCertificate ? OnFtpCertificate(this, peer) : peer.verified;
    if (closing_ || !connected_)
        return; // the decision took long enough for the session to end meanwhile
    if (!accepted) {
        TlsRefused("The server's certificate was not accepted; the login was not sent.");
        return;
    }
    serverFingerprint_ = peer.fingerprint;
    SendInState("PBSZ 0", stPbsz);
}

// 53 PBSZ, 54 PROT: both must be accepted, or the data would go in clear.
void TFtpClient::ProtectionReply(const std::string &line)
{
    if (line[0] != '2') {
        TlsRefused("The server refused " + std::string(replyState_ == stPbsz ? "PBSZ 0" : "PROT P") + " (" + line +
                   "); without it the files would travel in clear. Nothing more was sent.");
        return;
    }
    if (replyState_ == stPbsz) {
        SendInState("PROT P", stProt);
        return;
    }
    tlsData_ = true;
    SendUser();
}

// The session cannot be secured: said in the log, reported, and ended with QUIT (the server's
// close ends the session), as a refused login is.
void TFtpClient::TlsRefused(const std::string &why)
{
    RaiseInfo(fiSecurity, why);
    success_ = false;
    lastErrorCode_ = feTlsFailed;
    RaiseError(feTlsFailed);
    SendInState("QUIT", stQuit);
}

// Runs `then` once the data connection is ready for the transfer: at once without PROT P, else
// after its own handshake. A failed handshake fails the data connection.
void TFtpClient::SecureData(TAsyncSocket &socket, std::function<void(TAsyncSocket &)> then)
{
    if (!tlsData_) {
        then(socket);
        return;
    }
    Trace("-> Data connection TLS handshake started");
    socket.OnTlsDone = [this, then](TAsyncSocket *s) { DataTlsDone(*s, then); };
    if (!socket.StartTls({CertificateHost(FtpServer()), ResumeTlsOnData ? GetTlsSession() : nullptr}))
        DataTlsDone(socket, then);
}

void TFtpClient::DataTlsDone(TAsyncSocket &socket, const std::function<void(TAsyncSocket &)> &then)
{
    const char *context = dataKind_ == DataKind::upload ? "DataStorConnected" : "DataListConnected";
    if (socket.LastError() != 0 || !socket.TlsReady()) {
        RaiseInfo(fiSecurity, "TLS on the data connection failed: " + socket.TlsError());
        DataConnectFailed(socket.LastError() != 0 ? socket.LastError() : WSAECONNABORTED, context);
        return;
    }
    const TlsPeerInfo peer = socket.TlsPeer();
    Trace("-> Data connection TLS: " + peer.version + (peer.resumed ? ", session resumed" : ", new session"));
    // The data connection must end at the server the control connection checked.
    if (peer.fingerprint != serverFingerprint_) {
        RaiseInfo(fiSecurity, "The data connection showed another certificate than the server; it was closed.");
        socket.Close();
        DataConnectFailed(WSAECONNABORTED, context);
        return;
    }
    then(socket);
}
