// TFtpClient: the state table rows of the data operations (7-38). The setup rows accept only a
// 2xx reply; anything else there means the server and the client no longer agree on what is
// going on, and the session ends with feProtocolError.
#include "ftp/Ftp.h"

#include "ftp/FtpReplyFields.h"

// 7: PWD before an active listing. Whatever the reply, the listing goes on.
void TFtpClient::ListPwdReply(const std::string &line)
{
    if (aborting_) {
        EndAbortedTransfer();
        return;
    }
    InitialDirectory = QuotedDirectory(line);
    SendType('A', stListType);
}

void TFtpClient::SendType(char type, int typeState)
{
    if (typeInForce_ == type) {
        TypeInForce(typeState);
        return;
    }
    typeInForce_ = 0; // until the server says yes
    typeAsked_ = type;
    SendInState(type == 'A' ? "TYPE A" : "TYPE I", typeState);
}

// 8, 20, 25, 30, 35: the transfer has its type; the data connection is set up next.
void TFtpClient::TypeInForce(int typeState)
{
    switch (typeState) {
    case stListType:
        ClearCompletionFlags();
        OpenListener(DataKind::listing, stListPort);
        break;
    case stGetType: OpenListener(DataKind::download, stGetPort); break;
    case stGetPasvType:
        ClearCompletionFlags();
        SendPassive(stGetPasv);
        break;
    case stPutType:
        ClearCompletionFlags();
        OpenListener(DataKind::upload, stPutPort);
        break;
    case stPutPasvType:
        ClearCompletionFlags();
        SendPassive(stPutPasv);
        break;
    default: break;
    }
}

// 8, 10, 16, 20, 21, 25, 26, 30, 31, 35, 36, 38: one step of setting up a transfer.
void TFtpClient::DataSetupReply(const std::string &line)
{
    if (aborting_) {
        // Aborted before any data moved: the transfer ends here, and nothing more is sent, so
        // that the ABOR's reply is the next one the server gives.
        EndAbortedTransfer();
        return;
    }
    if (EpsvRefusedNow(line))
        return;
    if (line[0] != '2') {
        if (AddressIsIpv6() && (replyState_ == stListPort || replyState_ == stGetPort || replyState_ == stPutPort))
            Trace("-> EPRT refused: active mode over IPv6 needs it");
        Disconnect(feProtocolError);
        return;
    }
    switch (replyState_) {
    case stListType:
    case stGetType:
    case stGetPasvType:
    case stPutType:
    case stPutPasvType:
        typeInForce_ = typeAsked_;
        TypeInForce(replyState_);
        break;
    case stListPort:
        listing_.clear();
        SendListCommand();
        break;
    case stListPasv:
        if (ConnectPassive(line, DataKind::listing)) {
            listing_.clear();
            SendDataCommand([this] { SendListCommand(); });
        }
        break;
    case stGetPort: SendInState("RETR " + RemoteFile, stRetr); break;
    case stGetPasv:
        if (ConnectPassive(line, DataKind::download))
            SendDataCommand([this] { SendInState("RETR " + RemoteFile, stRetrPasv); });
        break;
    case stPutPort:
        SendStor(stStor);
        if (AcceptedSocket.HasSocket())
            StartSending(AcceptedSocket); // the server connected before STOR
        break;
    case stPutPasv:
        checkMode_ = false;
        if (ConnectPassive(line, DataKind::upload))
            SendDataCommand([this] { SendStor(stStorPasv); });
        break;
    case stCheckPasv:
        ClearCompletionFlags();
        checkMode_ = true;
        if (ConnectPassive(line, DataKind::upload))
            SendDataCommand([this] { SendStor(stStorPasv); });
        break;
    default: break;
    }
}

// Over IPv6 always EPSV: PASV can only name an IPv4 address.
void TFtpClient::SendPassive(int state)
{
    if (UsePassiveAhead(state))
        return;
    epsvSent_ = AddressIsIpv6() || (HasFeature("EPSV") && !epsvRefused_);
    SendInState(epsvSent_ ? "EPSV" : "PASV", state);
}

// A server that offered EPSV but does not know it after all: PASV in its place, for the rest
// of the session.
bool TFtpClient::EpsvRefusedNow(const std::string &line)
{
    const bool passiveState =
        replyState_ == stListPasv || replyState_ == stGetPasv || replyState_ == stPutPasv || replyState_ == stCheckPasv;
    if (!passiveState || !epsvSent_ || (line.compare(0, 3, "500") != 0 && line.compare(0, 3, "502") != 0))
        return false;
    if (AddressIsIpv6()) {
        Trace("-> EPSV refused: passive mode over IPv6 needs it");
        return false; // the setup fails as any refused step does
    }
    Trace("-> EPSV refused, using PASV");
    epsvRefused_ = true;
    SendPassive(replyState_);
    return true;
}

std::string TFtpClient::StorCommand() const
{
    if (!checkMode_)
        return "STOR " + RemoteFile;
    return RemoteFile == "/" ? "STOR /fernhop.chk" : "STOR " + RemoteFile + "/fernhop.chk";
}

void TFtpClient::SendStor(int state)
{
    SendInState(StorCommand(), state);
    Trace("-> STOR issued: " + RemoteFile);
}

std::string TFtpClient::ListCommand() const
{
    if (MlsdInUse())
        return "MLSD";
    const bool firstTry = listingRetry_ == PlainRetry::none || listingRetry_ == PlainRetry::mlsdRefused;
    return ListHidden && !hiddenRefused_ && firstTry ? "LIST -a" : "LIST";
}

void TFtpClient::SendListCommand()
{
    const std::string command = ListCommand();
    listedWithMlsd_ = command == "MLSD";
    SendInState(command, stList);
}

// 12: LIST. A final reply that says the listing failed is a failure whatever its code: an empty
// listing in its place would read as "every file is gone".
void TFtpClient::ListReply(const std::string &line)
{
    switch (line[0]) {
    case '1':
        dataCommandEarly_ = false; // taken: the server waits for the connection
        TransferPreliminaryReply();
        return;
    case '2':
        if (ReplySaysFailed(line)) {
            Trace("-> Listing failed: " + line);
            listingFailed_ = true;
            FailCommand();
        }
        ControlDone();
        return;
    default:
        if (RetryOnceConnected(line))
            return;
        if (!aborting_ && !listingFailed_ && listedWithMlsd_ && RefusesListOption(line) &&
            line.compare(0, 3, "550") != 0) {
            mlsdRefused_ = true;
            ListAgainPlain(PlainRetry::mlsdRefused);
            return;
        }
        if (!aborting_ && !listingFailed_ && ListCommand() == "LIST -a" && RefusesListOption(line)) {
            ListAgainPlain(PlainRetry::afterRefusal);
            return;
        }
        listingFailed_ = true;
        EndFailedTransfer();
        return;
    }
}

// The same listing once more, as a plain LIST on a new data connection (a server that refused
// the command may have dropped the one it had prepared).
void TFtpClient::ListAgainPlain(PlainRetry reason)
{
    Trace(reason == PlainRetry::mlsdRefused    ? "-> MLSD refused, listing with LIST"
          : reason == PlainRetry::afterRefusal ? "-> LIST -a refused, listing with LIST"
                                               : "-> LIST -a gave nothing, listing with LIST");
    listingRetry_ = reason;
    listing_.clear();
    bytesTransferred_ = 0;
    ClearCompletionFlags();
    CloseDataSockets();
    if (passive_)
        SendPassive(stListPasv);
    else
        OpenListener(DataKind::listing, stListPort);
}

// 22 and 27: RETR.
void TFtpClient::RetrReply(const std::string &line)
{
    switch (line[0]) {
    case '1':
        dataCommandEarly_ = false; // taken: the server waits for the connection
        TransferPreliminaryReply();
        if (std::optional<std::string> size = ExpectedSizeText(line)) {
            RaiseInfo(fiFileSize, *size);
            Trace("-> RETR expecting size: " + *size);
            announcedSize_ = ParseByteCount(*size);
        }
        return;
    case '2':
        ControlDone();
        SetReplyState(stIdle);
        return;
    default:
        if (aborting_ && line.compare(0, 3, "426") == 0)
            return; // the interrupted transfer: the reply to ABOR follows and ends it
        if (RetryOnceConnected(line))
            return;
        EndFailedTransfer();
        return;
    }
}

// A final failure reply to the transfer's command: the transfer is over, whatever is still open
// closes, and the session is ready for the next command.
void TFtpClient::EndFailedTransfer()
{
    SetReplyState(stIdle);
    CloseDataSockets();
    CloseLocalFile();
    FailCommand();
    PostTransferCompletion();
}

// 32: STOR in active mode (file or check file).
void TFtpClient::ActiveStorReply(char replyClass)
{
    if (replyClass == '1') {
        TransferPreliminaryReply();
        return;
    }
    if (replyClass == '2') {
        checkFinished_ = true;
        ControlDone();
        return;
    }
    CloseDataSockets();
    CloseLocalFile(); // the upload will not be read any further
    FailCommand();
    checkFinished_ = true;
    checkFailed_ = true;
    PostTransferCompletion();
}

// 37: STOR in passive mode (file or check file).
void TFtpClient::PassiveStorReply(const std::string &line)
{
    checkFailed_ = false;
    switch (line[0]) {
    case '1':
        dataCommandEarly_ = false; // taken: the server waits for the connection
        StartPassiveSending();
        return;
    case '2':
        checkFinished_ = true;
        ControlDone();
        return;
    case '4':
        if (RetryOnceConnected(line))
            return;
        // A transient refusal (425, 451, 452 ...): the file did not arrive, so this is a
        // failure; and the data connection will see no more use, so its half is over too.
        checkFinished_ = true;
        checkFailed_ = true;
        FailCommand();
        CloseLocalFile();
        if (!dataSideFinished_) {
            DataSocket.Close();
            DataDone();
        }
        ControlDone();
        return;
    default:
        DataSocket.Close();
        CloseLocalFile();
        FailCommand();
        checkFinished_ = true;
        checkFailed_ = true;
        PostTransferCompletion();
        return;
    }
}

// Passive mode: the transfer's command goes out while its data connection is still being made,
// which saves a round trip; servers take the command and wait for the connection. For a server
// that refused that (see RetryOnceConnected) the command waits for the connection instead.
void TFtpClient::SendDataCommand(const std::function<void()> &send)
{
    dataCommandEarly_ = !dataCommandWaits_;
    if (dataCommandEarly_) {
        send();
        return;
    }
    TAsyncSocket::TSocketEvent connected = DataSocket.OnConnected;
    DataSocket.OnConnected = [this, connected, send](TAsyncSocket *s) {
        if (s->LastError() != 0) {
            DataConnectFailed(s->LastError(), DataConnectContext());
            return;
        }
        // Before any TLS handshake of the connection: servers begin theirs once they have the command.
        Trace("-> Data connection made, sending its command");
        send();
        if (connected && !closing_ && connected_ && s->HasSocket())
            connected(s);
    };
}

// A 425 ("no data connection") to a command that went out before its data connection was made:
// this server wants the connection first. The same transfer goes again, on a new data connection
// that is made before the command, and so do the session's later transfers. Only while nothing
// has moved yet: otherwise, or for any other refusal, the transfer fails as usual.
bool TFtpClient::RetryOnceConnected(const std::string &line)
{
    if (!passive_ || !dataCommandEarly_ || aborting_ || line.compare(0, 3, "425") != 0)
        return false;
    dataCommandEarly_ = false;
    dataCommandWaits_ = true;
    Trace("-> " + line + " (sent before the data connection was made): each command waits for its connection from now on");
    const bool intact = !sendingStarted_ && bytesTransferred_ == 0 && !dataSideFinished_ &&
                        (dataKind_ == DataKind::listing || checkMode_ || localFile_ >= 0);
    if (!intact)
        return false;
    CloseDataSockets();
    ClearCompletionFlags();
    switch (dataKind_) {
    case DataKind::listing: SendPassive(stListPasv); break;
    case DataKind::download: SendPassive(stGetPasv); break;
    case DataKind::upload: SendPassive(checkMode_ ? stCheckPasv : stPutPasv); break;
    }
    return true;
}
