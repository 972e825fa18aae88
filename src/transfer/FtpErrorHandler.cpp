#include "transfer/FtpErrorHandler.h"

#include "net/WinsockErrors.h"
#include "transfer/Workspace.h"

std::string FtpErrorText(FtpError code)
{
    switch (code) {
    case feWinsockNotInitialised: return "Winsock not initialised";
    case feNetworkDown: return "Network down";
    case feInvalidAddress: return "Invalid address";
    case feGeneralWinsockError: return "General winsock error";
    case feConnectionAborted: return "connection aborted";
    case feConnectionReset: return "connection reset";
    case feConnectionTimeout: return "connection timeout";
    case feOutOfSockets: return "out of sockets";
    case feNetworkUnreachable: return "network unreachable";
    case feAddressNotAvailable: return "address not available";
    case feConnectionRefused: return "connection refused";
    case feProtocolError: return "protocol error";
    case feUnknownError: return "unknown error";
    case feAddressResolution: return "Address resolution error. You must already be dialed-in to the internet.";
    case feHostUnreachable: return "Host unreachable";
    case feNoServer: return "No server";
    case feFileOpen: return "File open";
    case feFileWrite: return "File write";
    case feFileRead: return "File read";
    case feFileNotFound: return "File not found";
    case feServerDown: return "The FTP server may be down";
    case feAccessDenied: return "Access Denied";
    case feReplyTimeOut: return "Server did not answer";
    case feTlsFailed: return "The secure (TLS) connection could not be set up";
    case feSshFailed: return "The SSH connection could not be set up";
    case feNone:
    case feInternalError:
    case feDataError:
    case feLocalFileOpen: return "";
    }
    return "";
}

std::string DataErrorText(uint16_t socketErrorNumber, const std::string &dataErrorContext)
{
    return "Data error number: " + std::to_string(socketErrorNumber) + " in '" + dataErrorContext + "'";
}

std::string CommunicationErrorLine(uint16_t socketErrorNumber)
{
    return "FTP Communication Error: " + WinsockErrorName(socketErrorNumber);
}

void FtpErrorHandler::Attach()
{
    ws_.FtpClient1.OnFtpError = [this](TFtpClient *sender, FtpError error, const std::string &addinfo) {
        FtpClient1FtpError(sender, error, addinfo);
    };
}

void FtpErrorHandler::FtpClient1FtpError(TFtpClient *Sender, FtpError error, const std::string &)
{
    TFtpClient &client = Sender ? *Sender : ws_.FtpClient1;
    ws_.run.ftpErrorSeen = true;
    std::string message = MessageFor(client, error);
    lastFtpErrorText_ = message;
    if (message.empty())
        return;
    ws_.LogLine("FTP ERROR: " + message);
    if (ws_.debugTrace)
        ws_.view.Message("DEBUG: " + message);
    ws_.PlayEventSound(SoundEvent::Error);
}

std::string FtpErrorHandler::MessageFor(TFtpClient &client, FtpError error)
{
    switch (error) {
    case feInternalError:
        // A socket misuse says nothing to the user beyond its name; the session carries on.
        ws_.LogLine(CommunicationErrorLine(client.SocketErrorNumber()));
        client.SetClosing(false);
        return "";
    case feAccessDenied:
        ws_.ShowStatus("Access Denied. Incorrect username or password.");
        ws_.view.SetEnabled(Control::connectBtn, true);
        ws_.view.SetEnabled(Control::nickNameCombo, true);
        ws_.view.SetEnabled(Control::stopBtn, false);
        return FtpErrorText(error);
    case feDataError:
        return DataErrorText(client.SocketErrorNumber(), client.DataErrorContext());
    case feReplyTimeOut:
        return client.ReplyTimeOutText().empty() ? FtpErrorText(error) : client.ReplyTimeOutText();
    case feLocalFileOpen:
        if (!localFileOpenFailed)
            return "Fernhop could not open file: " + client.LocalFile;
        localFileOpenFailed();
        return "";
    default: return FtpErrorText(error);
    }
}
