#pragma once
// What the main window does with each OnFtpError of FtpClient1 (FtpClient1FtpError): sets the
// FTP-error flag the runs read, turns the code into its text, logs it as "FTP ERROR: " (the
// internal socket errors as "FTP Communication Error: " instead), shows it in a message box in
// trace mode, and plays the Error sound. A refused login also resets the buttons; an upload file
// that cannot be opened is handed to the transfer sequencer.
#include "ftp/Ftp.h"

#include <functional>
#include <string>

class Workspace;

// The text the main window uses for a code; empty for feNone and for the codes whose message is
// built from the client's state (feInternalError, feDataError, feLocalFileOpen).
std::string FtpErrorText(FtpError code);
// feDataError: "Data error number: 10054 in 'DataDoListing'".
std::string DataErrorText(uint16_t socketErrorNumber, const std::string &dataErrorContext);
// feInternalError's log line: "FTP Communication Error: WSAENOTSOCK".
std::string CommunicationErrorLine(uint16_t socketErrorNumber);

class FtpErrorHandler {
public:
    explicit FtpErrorHandler(Workspace &workspace) : ws_(workspace) {}

    // Assigns FtpClient1FtpError to the workspace client's OnFtpError.
    void Attach();

    void FtpClient1FtpError(TFtpClient *Sender, FtpError error, const std::string &addinfo);

    // feLocalFileOpen: the upload's file could not be opened. The transfer sequencer reports
    // "Fernhop could not open file: " + the file, clears the status line and goes on with the
    // next upload or ends the run. It is called from inside PutFile, whose completion (a
    // failure) follows. Unset, the error is logged like any other.
    std::function<void()> localFileOpenFailed;

    // The last message, as shown in the log ("" after feNone and the special cases).
    const std::string &LastFtpErrorText() const { return lastFtpErrorText_; }

private:
    std::string MessageFor(TFtpClient &client, FtpError error);

    Workspace &ws_;
    std::string lastFtpErrorText_;
};
