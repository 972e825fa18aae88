#pragma once
// TFtpClient: the FTP protocol engine. The inherited socket is the control connection. Every
// operation returns at once: it sends the first command of its chain and records a reply state;
// each complete reply line then drives the chain on (FtpStateTable.cpp) until the operation's
// completion is posted and raised as events from the event loop, never from inside the call.
//
// Use: assign the events, set FtpServer, FtpPort, UserName, UserPassword (and InitialDirectory),
// call Connect; OnLoggedIn follows (then read Success). One operation at a time: each one ends
// with OnFtpReady and its own event. A session ends with OnFtpQuit, after which the owner calls
// Reset. Failures arrive as OnFtpError codes (FtpErrors.h).
#include "base/DateTime.h"
#include "ftp/FtpErrors.h"
#include "ftp/FtpTypes.h"
#include "net/AsyncSocket.h"

#include <QTimer>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TFtpClient;
class SftpEngine;

using TFtpNotifyEvent = std::function<void(TFtpClient *Sender)>;
using TFtpInfoEvent = std::function<void(TFtpClient *Sender, FtpInfo info, const std::string &addinfo)>;
using TFtpErrorEvent = std::function<void(TFtpClient *Sender, FtpError error, const std::string &addinfo)>;
using TFtpInfoNeededEvent = std::function<void(TFtpClient *Sender, TFtpInfoNeeded need, std::string &value)>;
using TFtpCheckFileSentEvent = std::function<void(TFtpClient *Sender, TDateTime time, bool error)>;
// The control connection's TLS handshake is done: true goes on with the login.
using TFtpCertificateEvent = std::function<bool(TFtpClient *Sender, const TlsPeerInfo &peer)>;
// SFTP: the server's host key is in no known_hosts entry: true goes on with the login.
using TSshHostKeyEvent = std::function<bool(TFtpClient *Sender, const SshHostKey &key)>;

constexpr unsigned kMsgFtpQuit = WM_USER + 2;  // 1026
constexpr unsigned kMsgFtpReady = WM_USER + 4; // 1028: completion

class TFtpClient : public TAsyncSocket {
public:
    explicit TFtpClient(QObject *owner = nullptr);
    ~TFtpClient() override;

    // ---- properties ------------------------------------------------------------------------
    // The server as a name or a numeric address ("10.0.0.1", "::1", "[::1]"; never looked up).
    void SetFtpServer(const std::string &server) { SetHost(server); }
    const std::string &FtpServer() const { return Host(); }
    void SetFtpPort(uint16_t port) { Port = port; } // 0 becomes 21 at Connect
    uint16_t FtpPort() const { return Port; }
    std::string UserName;    // asked for through OnFtpNeedInfo when empty
    std::string UserPassword;
    std::string UserAccount;
    std::string LocalFile;
    std::string RemoteFile;
    TTransferType TransferMode = BinaryTransfer;
    std::string InitialDirectory; // entered after login; also set by ChangeDirectory
    TFtpServerType ServerType = ftpDefault;
    std::string Version() const { return "Fernhop Ftp 4.0"; }
    void SetWinsockStarted(bool on); // true starts the socket library, false unloads it
    // Trace mode: every change of the reply state is reported as fiTrace "-> Reply state a -> b".
    bool TraceMode = false;
    // Listings ask for hidden names too ("LIST -a"). A server that refuses the option gets a
    // plain LIST, for that listing and the rest of the session (see HiddenListed).
    bool ListHidden = true;
    // Listings are machine listings (MLSD) where the server offers them (FEAT names MLST): exact
    // UTC times, hidden names included. A server that refuses MLSD gets LIST for the session.
    bool UseMlsd = true;
    // Passive transfers one after another: a listing's or download's data having all come, the
    // next transfer's EPSV (or PASV) goes out before the transfer's final reply, a round trip
    // sooner. Only for an owner that goes on with passive transfers (an unused port is dropped
    // with ABOR after a second), and not sent again to a server that refused it.
    bool PassiveAhead = false;
    // Logins from now on skip SYST and FEAT and take `other`'s answers: another connection of the
    // same run to the same server and user, which saves two round trips a login.
    void TakeServerAnswers(const TFtpClient &other);
    // PutFile: the local file's time (PC clock). Where the server offers MFMT, the stored file
    // is given it after the upload, so that later listings show exactly this time. 0: not set.
    TDateTime UploadFileTime = 0;
    // Seconds a logged-in session waits for the reply to a command, or for a running transfer's
    // data to move, before it ends with feReplyTimeOut (as a lost connection ends); 0 waits for
    // ever.
    int ReplyTimeOutSeconds = 0;
    // Quit: how long (ms) the reply to QUIT and the server's close are waited for before the
    // session ends by itself; -1 waits as for any reply. Quit only runs on an idle session, whose
    // every command has been answered, so nothing is lost by not waiting.
    int QuitReplyWaitMs = -1;
    // Explicit TLS: after the greeting AUTH TLS, the handshake (OnFtpCertificate decides on the
    // certificate), PBSZ 0 and PROT P, and only then USER; every data connection is TLS too and
    // resumes the control connection's session. Any refusal ends the session with feTlsFailed
    // before a credential is sent.
    bool RequireTls = false;
    // Off only to see how a server treats a data connection that starts a TLS session of its own.
    bool ResumeTlsOnData = true;
    // The name the server's certificate must carry; empty: the server connected to. Through a
    // proxy it is the real server's name, not the proxy's.
    std::string TlsHostName;
    // SFTP over SSH instead of FTP (port 0 becomes 22); RequireTls and the data connection
    // options do not apply. Listings come back as machine listings (MLSD lines).
    bool UseSftp = false;
    // SFTP: an OpenSSH private key file, tried after the agent's keys; empty: none. Its
    // passphrase is asked through OnFtpNeedInfo(needPassphrase) and never kept.
    std::string SshKeyFile;
    // SFTP: the known hosts file; empty: ~/.ssh/known_hosts.
    std::string KnownHostsFile;

    // ---- state read by the owner -----------------------------------------------------------
    bool Success() const { return success_; }
    bool Connected() const { return connected_; }
    bool LoggedIn() const { return connected_ && loggedIn_; }
    bool Busy() const { return busy_; }
    // Latched by a fatal socket error: nothing is sent or read until Reset (or the owner) clears it.
    bool Closing() const { return closing_; }
    void SetClosing(bool on) { closing_ = on; }
    // A quit message is queued; a second one is not posted while this is set.
    bool QuitPending() const { return quitPending_; }
    void ClearQuitPending() { quitPending_ = false; }
    FtpError LastErrorCode() const { return lastErrorCode_; }
    uint16_t SocketErrorNumber() const { return socketErrorNumber_; }
    const std::string &DataErrorContext() const { return dataErrorContext_; }
    int64_t BytesTransferred() const { return bytesTransferred_; }
    const std::vector<std::string> &Listing() const { return listing_; }
    const std::string &SystemType() const { return systemType_; }
    int ReplyState() const { return replyState_; }
    // The size a 150 reply to RETR announced ("(1234 bytes)"), -1 when it named none: a download
    // that ends with fewer bytes than this was cut short.
    int64_t AnnouncedSize() const { return announcedSize_; }
    // Whether this session's listings show hidden names: false with ListHidden off, or once the
    // server refused "LIST -a" (or took "-a" for a name) and plain LIST took its place.
    bool HiddenListed() const { return MlsdInUse() || (ListHidden && !hiddenRefused_); }
    // This session's listings are machine listings; ListedWithMlsd: the last listing was one
    // (its lines are MLSD lines, not LIST lines).
    bool MlsdInUse() const { return (UseMlsd || UseSftp) && HasFeature("MLST") && !mlsdRefused_; }
    bool ListedWithMlsd() const { return listedWithMlsd_; }
    // The last upload's file was given UploadFileTime on the server (MFMT answered 2xx).
    bool FileTimeSet() const { return fileTimeSet_; }
    // GetFileTime's answer: the server's time of the file (UTC, to the second).
    TDateTime RemoteFileTime() const { return remoteFileTime_; }
    // The message of the last feReplyTimeOut: "Server did not answer RETR a.bin for 120 seconds".
    const std::string &ReplyTimeOutText() const { return replyTimeOutText_; }
    // The server refused MDTM as a command (500 or 502) in this session.
    bool MdtmRefused() const { return mdtmRefused_; }
    // The control connection runs over TLS, and so do the data connections.
    bool Secured() const { return tlsData_; }
    // What the server's answer to FEAT (sent once after login) offered this session, one
    // feature a line as the server wrote it ("MDTM", "MLST type*;size*;modify*;"); empty for a
    // server without FEAT.
    const std::vector<std::string> &Features() const { return features_; }
    // Whether a feature of that name (its first word, any letter case) was offered.
    bool HasFeature(const std::string &name) const;

    // ---- events ----------------------------------------------------------------------------
    TFtpInfoEvent OnFtpInfo;
    TFtpErrorEvent OnFtpError; // addinfo is always "Error"
    TFtpInfoNeededEvent OnFtpNeedInfo;
    TFtpNotifyEvent OnFtpReady; // every completion, before the operation's own event
    TFtpNotifyEvent OnLoggedIn;
    TFtpNotifyEvent OnDirectoryChanged;
    TFtpNotifyEvent OnDirectoryCreated;
    TFtpNotifyEvent OnDirectoryDeleted;
    TFtpNotifyEvent OnFileDeleted;
    TFtpNotifyEvent OnFileReceived;
    TFtpNotifyEvent OnFileStored;
    TFtpNotifyEvent OnListingDone;
    TFtpNotifyEvent OnCommandIssued;
    TFtpNotifyEvent OnFileTimeDone; // GetFileTime's completion
    TFtpCheckFileSentEvent OnCheckFileSent;
    // Without a handler only a certificate the CA store trusts for the server's name is taken.
    TFtpCertificateEvent OnFtpCertificate;
    // SFTP: a host key that no known_hosts entry names. Without a handler it is refused; a key
    // that differs from a known_hosts entry is refused without asking. No credential is offered
    // before the host key is accepted.
    TSshHostKeyEvent OnSshHostKey;
    TFtpNotifyEvent OnFtpQuit;

    // ---- operations ------------------------------------------------------------------------
    void Connect();
    void ChangeDirectory(const std::string &directory);
    void MakeDirectory(const std::string &directory);
    void RemoveDirectory(const std::string &directory);
    void DeleteFile(const std::string &name);
    void SendCommand(const std::string &line); // the line as given, e.g. "SITE CHMOD 755 a.html"
    // MDTM for one file: OnFileTimeDone with Success and RemoteFileTime. A path holding CR or LF
    // is never sent: the operation fails with feFileNotFound.
    void GetFileTime(const std::string &remotePath);
    // NOOP to keep an idle session alive. Does nothing at all unless logged in and not busy, so
    // it may be called at any moment.
    void KeepAlive();
    // Data operations: the plain names use active mode (PORT), the ...Pasv names passive mode.
    // LocalFile and RemoteFile name the file; a listing lands in Listing.
    void GetListing();
    void GetListingPasv();
    void GetFile();
    void GetFilePasv();
    void PutFile();
    void PutFilePasv();
    // Uploads a small check file into remoteDirectory; OnCheckFileSent reports the outcome.
    void SendCheckFile(const std::string &remoteDirectory);
    void SendCheckFilePasv(const std::string &remoteDirectory);
    // Interrupts the running transfer (once until the next completion). The completion comes
    // only once the server has answered the ABOR too, so the next operation gets its own replies.
    void Abort();
    // Closes the local file of a transfer; safe to call when none is open.
    void CloseLocalFile();
    void Quit();
    void Disconnect(FtpError code); // ends the session at once with OnFtpError(code), OnFtpQuit
    void Reset();                   // back to unconnected, no event
    // Called from OnFtpNeedInfo when there is no answer (the prompt was cancelled): the login
    // ends with QUIT instead of sending the credential asked for.
    void AbandonLogin() { loginAbandoned_ = true; }

protected:
    void HostResolved() override;

private:
    // Carries out the operations over SFTP (UseSftp) and reports through this client's state.
    friend class SftpEngine;
    std::unique_ptr<SftpEngine> sftp_;

    // Reply states, numbered as in the state table; 100 (and any number without a row) ignores
    // replies.
    enum ReplyStateNumber : int {
        stGreeting = 0,
        stUser = 1,
        stPass = 2,
        stAcct = 3,
        stFeat = 4,
        stSyst = 5,
        stInitialCwd = 6,
        // Data connection rows: listing 7-16, download 20-27, upload and check file 30-38.
        stListPwd = 7,
        stListType = 8,
        stListPort = 10,
        stList = 12,
        // 15 was the PWD before a passive listing; its number stays free.
        stListPasv = 16,
        stGetType = 20,
        stGetPort = 21,
        stRetr = 22,
        stGetPasvType = 25,
        stGetPasv = 26,
        stRetrPasv = 27,
        stPutType = 30,
        stPutPort = 31,
        stStor = 32,
        stPutPasvType = 35,
        stPutPasv = 36,
        stStorPasv = 37,
        stCheckPasv = 38,
        stSimpleCommand = 50, // CWD, MKD, RMD, DELE
        stRawCommand = 51,
        stMdtm = 52,
        stMfmt = 53,
        stPbsz = 54,
        stProt = 55,
        stAuth = 56,
        stTlsHandshake = 57, // the control connection's handshake runs; no reply is due
        stQuit = 60,
        stNoop = 90,
        stIdle = 100,
    };

    enum TPendingEvent : int {
        peNone,
        peLoggedIn,
        peDirectoryChanged,
        peDirectoryCreated,
        peDirectoryDeleted,
        peFileDeleted,
        peFileReceived,
        peFileStored,
        peListingDone,
        peCommandIssued,
        peCheckFileSent,
        peFileTimeDone,
    };

    // FtpClient.cpp: preamble, simple operations, reporting
    bool BeginOperation(bool setsSuccess, bool setsPending, TPendingEvent pending);
    void StartSimpleCommand(const std::string &command, TPendingEvent pending);
    void RaiseInfo(FtpInfo info, const std::string &addinfo);
    void RaiseError(FtpError code);
    void ReportError(FtpError code); // non-fatal: Success false and OnFtpError, nothing closed
    void FailCommand();              // fiCommandFailed and Success false
    bool AskFor(TFtpInfoNeeded need, std::string &value); // false: the login was abandoned

    // FtpSession.cpp: connection life, errors, completion and quit messages
    void StartConnection(); // the socket, the lookup when needed, the connect
    void ControlConnected();
    void TryingNextAddress();
    void ControlClosed();
    void QuitWaitOver();
    bool OperationRunning() const;
    void FailRunningOperation();
    void NoteActivity(); // a command went out, a reply line came in, or data moved
    void CheckReplyTimeOut();
    void ReplyTimedOut();
    bool SocketErrorCheck(); // true when an error ended the session
    void CloseDataSockets();
    void PostCompletion();
    void PostQuit();
    void HandleMessage(TMessage &msg);
    void ProcessCompletion();
    void RaisePendingEvent();
    void ProcessQuit();

    // FtpReplyReader.cpp: the wire
    void SendLine(const std::string &text);
    void SendInState(const std::string &command, int state);
    void ReadControl();
    void HandleReplyLine(const std::string &line);

    // FtpStateTable.cpp: the reply dispatcher and one function per state or group of states
    void SetReplyState(int state);
    void DispatchReply(const std::string &line);
    void GreetingReply(char replyClass);
    void SendUser();
    void LoginReply(char replyClass);
    void LoginRefused();
    void SendSyst();
    void SystReply(const std::string &line);
    void FeatReply(const std::string &line);
    void AfterFeatures();
    void LoginComplete();
    void InitialCwdReply(char replyClass);
    void SimpleCommandReply(char replyClass);
    void RawCommandReply(char replyClass);
    void MdtmReply(const std::string &line);
    void MfmtReply(const std::string &line);
    bool SetStoredFileTime(); // MFMT after an upload; false when there is nothing to set
    TDateTime UploadTimeUtc() const;
    void QuitReply(char replyClass);
    void NoopReply();

    // FtpTls.cpp: AUTH TLS, the handshakes, PBSZ and PROT
    void AuthReply(const std::string &line);
    void ControlTlsDone();
    void ProtectionReply(const std::string &line);
    void TlsRefused(const std::string &why);
    void SecureData(TAsyncSocket &socket, std::function<void(TAsyncSocket &)> then);
    void DataTlsDone(TAsyncSocket &socket, const std::function<void(TAsyncSocket &)> &then);
    void SecureActiveData(std::function<void(TAsyncSocket &)> then);
    void TransferPreliminaryReply();
    void DataEndedUnchecked();
    void ForgetDataCheck();
    bool DataUsable() const { return !tlsData_ || dataChecked_; }
    const char *DataConnectContext() const;

    // ---- data side ---------------------------------------------------------------------------
    enum class DataKind { listing, download, upload };
    // Why a listing is a plain LIST after a "LIST -a": none, the option was refused, or the
    // listing came back empty and the server might have taken "-a" for a name.
    // mlsdRefused: the server refused MLSD, and the listing is made again with LIST.
    enum class PlainRetry { none, afterRefusal, afterEmpty, mlsdRefused };

    // FtpDataStates.cpp: the state table rows 7-38
    void ListPwdReply(const std::string &line);
    void DataSetupReply(const std::string &line);
    // TYPE A or I, unless the server has it already; then the step after it (typeState's row).
    void SendType(char type, int typeState);
    void TypeInForce(int typeState);
    void ListReply(const std::string &line);
    void ListAgainPlain(PlainRetry reason);
    std::string ListCommand() const;
    void SendListCommand();
    // EPSV where the server offers it (and has not refused it this session), else PASV.
    void SendPassive(int state);
    bool EpsvRefusedNow(const std::string &line);
    // FtpPassiveAhead.cpp: the next transfer's passive command sent before this one's end
    void SendPassiveAhead();
    bool TakePassiveAheadReply(const std::string &line);
    bool UsePassiveAhead(int state);
    void DropUnusedPassive();
    void ForgetPassiveAhead();
    std::string ServerKey() const { return FtpServer() + ":" + std::to_string(Port); }
    void RetrReply(const std::string &line);
    void EndFailedTransfer();
    void ActiveStorReply(char replyClass);
    void PassiveStorReply(const std::string &line);
    void SendDataCommand(const std::function<void()> &send);
    bool RetryOnceConnected(const std::string &line);
    std::string StorCommand() const;
    void SendStor(int state);

    // FtpDataConnection.cpp: listener, PASV connect, accept, readers and the two halves
    void ClearCompletionFlags();
    void ControlDone();
    void DataDone();
    void BothHalvesDone();
    void PostTransferCompletion();
    void OpenListener(DataKind kind, int portState);
    bool ConnectPassive(const std::string &reply, DataKind kind);
    void AttachDataHandlers(DataKind kind, bool passive);
    void DataConnectFailed(uint16_t number, const char *context);
    bool AcceptFromServer(const char *context);
    void DataConnectionMade(TAsyncSocket &socket);
    void ListingReader(TAsyncSocket &socket);
    void StoreListingText(const std::string &text);
    void ListingEnd(TAsyncSocket &socket);
    void ListingTooLong(TAsyncSocket &socket);
    void FileReader(TAsyncSocket &socket);
    void WriteDownloadBlock(const char *data, int n);
    void DownloadEnd(TAsyncSocket &socket);
    void DataReadFailed(TAsyncSocket &socket, const char *context);
    void Trace(const std::string &text) { RaiseInfo(fiTrace, text); }

    // FtpUpload.cpp: sending the file or the check text
    void StartPassiveSending();
    void StartSending(TAsyncSocket &socket);
    void SendCheckText(TAsyncSocket &socket, bool active);
    void SendFileData(TAsyncSocket &socket);
    bool SendData(TAsyncSocket &socket, const char *data, int length, const char *context);
    void ServeEventLoop(bool stalled);

    // FtpTransfer.cpp
    bool BeginUpload(TPendingEvent pending);
    bool BeginCheckFile(const std::string &remoteDirectory);
    void StartDownload(int typeState);
    void StartUpload(int typeState);
    void SendControlBytes(const std::string &bytes, bool urgent);
    bool TakeAbortReply(const std::string &line);
    void AbortAnswered(const std::string &line);
    void EndAbortedTransfer();
    bool ForgetAbort(); // the session ended: true when a completion was held for the ABOR's reply
    char TransferType() const { return TransferMode == AsciiTransfer ? 'A' : 'I'; }

    TAsyncSocket DataSocket;     // active mode: the listener; passive mode: the data connection
    TAsyncSocket AcceptedSocket; // active mode: the connection accepted from DataSocket

    bool success_ = false;
    bool connected_ = false;
    bool busy_ = false;
    bool closing_ = false;
    bool quitPending_ = false;
    FtpError lastErrorCode_ = feNone;
    uint16_t socketErrorNumber_ = 0;
    std::string dataErrorContext_;
    int64_t bytesTransferred_ = 0;
    int64_t announcedSize_ = -1;
    TDateTime remoteFileTime_ = 0;
    bool mdtmRefused_ = false;
    bool fileTimeSet_ = false;
    std::vector<std::string> features_;
    std::vector<std::string> replyLines_; // the lines of the last multi-line reply before its end
    std::vector<std::string> listing_;
    std::string systemType_;
    // Another connection's SYST and FEAT answers, for this one's logins (TakeServerAnswers).
    struct ServerAnswers {
        std::string systemType;
        TFtpServerType serverType = ftpDefault;
        std::vector<std::string> features;
    };
    std::optional<ServerAnswers> takenAnswers_;

    int replyState_ = stIdle;
    bool multiLine_ = false;
    std::string multiLineCode_;
    std::string receiveCarry_;
    bool moreAfterLine_ = false; // the text read holds more after the reply line being handled
    bool inHandler_ = false;
    TPendingEvent pending_ = peNone;

    // Transfer completion and check-file outcome, shared with the data side.
    bool dataSideFinished_ = false;
    bool controlSideFinished_ = false;
    bool checkMode_ = false;
    bool checkFinished_ = false;
    bool checkFailed_ = false;
    bool aborting_ = false;
    bool loginAbandoned_ = false;
    bool quitSent_ = false; // QUIT is out: the server's close is this session's normal end
    bool loggedIn_ = false; // the reply time-out applies from the end of the login on

    // Reply time-out.
    QTimer replyTimer_;
    int64_t lastActivityMs_ = 0;
    std::string lastCommand_; // the last command line sent, a credential left out
    std::string replyTimeOutText_;

    // Replies in flight. The server answers command lines in order, so after ABOR it owes the
    // final reply of the command that was out (unless that reply had come already) and then the
    // ABOR's own reply; neither may be taken for the reply to the next command.
    bool commandReplyOwed_ = false;   // the last command sent has not had its final reply yet
    bool abortReplyOwed_ = false;     // ABOR went out and its reply has not come yet
    bool replyDueBeforeAbort_ = false; // the interrupted command's final reply comes first
    bool completionHeld_ = false;     // a completion waits for the ABOR's (or the passive command's sent ahead) reply

    // Passive command sent ahead. Once a listing's or download's data has all come, the next
    // transfer's EPSV (or PASV) goes out without waiting for the transfer's final reply: its reply
    // follows that one, a round trip sooner, and is kept for the next passive transfer. One left
    // unused is dropped with ABOR, before the server could time it out with a reply of its own.
    bool aheadOwed_ = false;        // sent ahead, its reply not come yet
    bool aheadAfterFinal_ = false;  // the transfer's final reply comes before it
    bool aheadWasEpsv_ = false;
    int aheadClaim_ = stIdle;       // the passive setup state waiting for the reply owed
    std::optional<std::string> aheadReply_; // the reply, not used yet
    bool dataFromAhead_ = false;    // the data connection goes to a port given ahead
    int aheadDropsOwed_ = 0;        // ABORs that drop unused ports, their replies not come yet
    std::string aheadRefusedBy_;    // the server (host:port) that showed it cannot take it
    QTimer aheadDropTimer_;

    // Listings and hidden names.
    bool hiddenRefused_ = false;   // this session lists with plain LIST
    bool hiddenConfirmed_ = false; // a "LIST -a" gave lines: the server takes -a as an option
    bool mlsdRefused_ = false;     // this session lists with LIST although MLSD was offered
    bool epsvRefused_ = false;     // this session's passive connections use PASV
    bool epsvSent_ = false;        // the passive command out is EPSV
    // The TYPE this connection has ('A' or 'I'; 0 unknown), and the one asked for by the TYPE
    // out: a transfer sends TYPE only to change it.
    char typeInForce_ = 0;
    char typeAsked_ = 0;
    // Passive mode: the running transfer's command went out before its data connection was made;
    // dataCommandWaits_: this session's server refused that once, so commands wait for theirs.
    bool dataCommandEarly_ = false;
    bool dataCommandWaits_ = false;
    bool listedWithMlsd_ = false;  // the running or last listing is a machine listing
    PlainRetry listingRetry_ = PlainRetry::none;
    bool listingFailed_ = false;   // this listing's end says it failed, or it was cut off

    // Data side.
    DataKind dataKind_ = DataKind::listing; // the running transfer's kind
    int localFile_ = -1;            // the download or upload file, -1 when none is open
    std::optional<std::time_t> uploadFileInstant_; // the upload file's modification time, when read
    bool passive_ = false;          // the running transfer's data connection is passive
    bool dataClosed_ = false;       // the close was seen: later read errors are not reported
    bool completionPosted_ = false; // this operation's completion is posted (exactly one per operation)
    bool sendingStarted_ = false;   // a passive upload starts once, on the first 1xx to STOR
    bool sendWhenSecure_ = false;   // the upload may start, and waits for its TLS handshake

    // TLS.
    bool tlsData_ = false;          // PROT P is in force: data connections are TLS
    std::string serverFingerprint_; // the control connection's certificate
    std::string tlsHost_;           // the name checked on the control connection, for the data ones
    // The data connection's handshake is done and it showed serverFingerprint_: only then is a
    // byte sent or a received byte used.
    bool dataChecked_ = false;
    bool preliminarySeen_ = false;  // the transfer command's 1xx reply came
    // Active mode: the accepted connection's handshake waits for the 1xx reply, when the server
    // expects it; this runs once the handshake is done and checked.
    std::function<void(TAsyncSocket &)> activeTlsThen_;
    bool activeTlsWaiting_ = false;
    std::string listingCarry_;
    bool skippingLongLine_ = false; // inside a listing line too long to keep
    enum class LineEnd { unknown, crlf, lf };
    LineEnd listingLineEnd_ = LineEnd::unknown; // how this listing's lines end
    int64_t lastLoopServiceMs_ = 0; // when an upload last served the event loop
};
