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
    SendInState("TYPE A", stListType);
}

// 8, 10, 15, 16, 20, 21, 25, 26, 30, 31, 35, 36, 38: one step of setting up a transfer.
void TFtpClient::DataSetupReply(const std::string &line)
{
    if (aborting_) {
        // Aborted before any data moved: the transfer ends here, and nothing more is sent, so
        // that the ABOR's reply is the next one the server gives.
        EndAbortedTransfer();
        return;
    }
    if (line[0] != '2') {
        Disconnect(feProtocolError);
        return;
    }
    switch (replyState_) {
    case stListType:
        ClearCompletionFlags();
        OpenListener(DataKind::listing, stListPort);
        break;
    case stListPort:
        listing_.clear();
        SendInState("LIST", stList);
        break;
    case stListPasvPwd:
        ClearCompletionFlags();
        SendInState("PASV", stListPasv);
        break;
    case stListPasv:
        if (ConnectPassive(line, DataKind::listing)) {
            listing_.clear();
            SendInState("LIST", stList);
        }
        break;
    case stGetType: OpenListener(DataKind::download, stGetPort); break;
    case stGetPort: SendInState("RETR " + RemoteFile, stRetr); break;
    case stGetPasvType:
        ClearCompletionFlags();
        SendInState("PASV", stGetPasv);
        break;
    case stGetPasv:
        if (ConnectPassive(line, DataKind::download))
            SendInState("RETR " + RemoteFile, stRetrPasv);
        break;
    case stPutType:
        ClearCompletionFlags();
        OpenListener(DataKind::upload, stPutPort);
        break;
    case stPutPort:
        SendStor(stStor);
        if (AcceptedSocket.HasSocket())
            StartSending(AcceptedSocket); // the server connected before STOR
        break;
    case stPutPasvType:
        ClearCompletionFlags();
        SendInState("PASV", stPutPasv);
        break;
    case stPutPasv:
        checkMode_ = false;
        if (ConnectPassive(line, DataKind::upload))
            SendStor(stStorPasv);
        break;
    case stCheckPasv:
        ClearCompletionFlags();
        checkMode_ = true;
        if (ConnectPassive(line, DataKind::upload))
            SendStor(stStorPasv);
        break;
    default: break;
    }
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

// 12 (LIST) is handled in DispatchReply; 22 and 27: RETR.
void TFtpClient::RetrReply(const std::string &line)
{
    switch (line[0]) {
    case '1':
        if (std::optional<std::string> size = ExpectedSizeText(line)) {
            RaiseInfo(fiFileSize, *size);
            Trace("-> RETR expecting size: " + *size);
        }
        return;
    case '2':
        ControlDone();
        SetReplyState(stIdle);
        return;
    default:
        if (line.compare(0, 3, "426") == 0)
            return; // an aborted transfer: the reply to ABOR follows
        CloseDataSockets();
        FailCommand();
        PostTransferCompletion();
        return;
    }
}

// 32: STOR in active mode (file or check file).
void TFtpClient::ActiveStorReply(char replyClass)
{
    if (replyClass == '1')
        return;
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
void TFtpClient::PassiveStorReply(char replyClass)
{
    checkFailed_ = false;
    switch (replyClass) {
    case '1': StartPassiveSending(); return;
    case '2':
        checkFinished_ = true;
        ControlDone();
        return;
    case '4':
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
