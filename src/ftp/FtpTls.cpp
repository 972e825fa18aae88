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
    if (moreAfterLine_) {
        // Bytes sent in clear after the 234 would be read as the start of the first protected
        // reply: whoever sent them may be in the middle.
        RaiseInfo(fiSecurity, "The server sent more after agreeing to TLS, before the handshake; the session was "
                              "ended before the handshake and the login.");
        success_ = false;
        Disconnect(feTlsFailed);
        return;
    }
    SetReplyState(stTlsHandshake);
    OnTlsDone = [this](TAsyncSocket *) { ControlTlsDone(); };
    Trace("-> TLS handshake started");
    tlsHost_ = CertificateHost(TlsHostName.empty() ? FtpServer() : TlsHostName);
    if (!StartTls({tlsHost_, nullptr})) {
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
// after its own handshake and the check that it shows the control connection's certificate. A
// failed handshake or check fails the data connection.
void TFtpClient::SecureData(TAsyncSocket &socket, std::function<void(TAsyncSocket &)> then)
{
    if (!tlsData_) {
        then(socket);
        return;
    }
    Trace("-> Data connection TLS handshake started");
    socket.OnTlsDone = [this, then](TAsyncSocket *s) { DataTlsDone(*s, then); };
    if (!socket.StartTls({tlsHost_, ResumeTlsOnData ? GetTlsSession() : nullptr}))
        DataTlsDone(socket, then);
}

const char *TFtpClient::DataConnectContext() const
{
    switch (dataKind_) {
    case DataKind::upload: return "DataStorConnected";
    case DataKind::download: return "DataRetrConnected";
    case DataKind::listing: break;
    }
    return "DataListConnected";
}

void TFtpClient::DataTlsDone(TAsyncSocket &socket, const std::function<void(TAsyncSocket &)> &then)
{
    if (socket.LastError() != 0 || !socket.TlsReady()) {
        RaiseInfo(fiSecurity, "TLS on the data connection failed: " + socket.TlsError());
        DataConnectFailed(socket.LastError() != 0 ? socket.LastError() : WSAECONNABORTED, DataConnectContext());
        return;
    }
    const TlsPeerInfo peer = socket.TlsPeer();
    Trace("-> Data connection TLS: " + peer.version + (peer.resumed ? ", session resumed" : ", new session"));
    // The data connection must end at the server the control connection checked.
    if (peer.fingerprint.empty() || peer.fingerprint != serverFingerprint_) {
        RaiseInfo(fiSecurity, "The data connection showed another certificate than the server; it was closed.");
        socket.Close();
        DataConnectFailed(WSAECONNABORTED, DataConnectContext());
        return;
    }
    dataChecked_ = true;
    then(socket);
}

// Active mode: the server expects the data connection's handshake once it has answered the
// transfer command with 1xx (a server that connects at PORT time resets a handshake begun
// earlier), so the accepted connection waits for that reply.
void TFtpClient::SecureActiveData(std::function<void(TAsyncSocket &)> then)
{
    if (!tlsData_ || preliminarySeen_) {
        SecureData(AcceptedSocket, std::move(then));
        return;
    }
    activeTlsThen_ = std::move(then);
    activeTlsWaiting_ = true;
}

void TFtpClient::TransferPreliminaryReply()
{
    preliminarySeen_ = true;
    if (!activeTlsWaiting_)
        return;
    activeTlsWaiting_ = false;
    SecureData(AcceptedSocket, std::move(activeTlsThen_));
    activeTlsThen_ = nullptr;
}

// The data connection ended before it could be checked: whatever came on it is not the
// server's for sure, so the transfer failed.
void TFtpClient::DataEndedUnchecked()
{
    Trace("-> Data connection ended before its certificate was checked");
    success_ = false;
    if (dataKind_ == DataKind::listing)
        listingFailed_ = true;
    if (checkMode_)
        checkFailed_ = true;
}
