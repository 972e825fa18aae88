#pragma once
// The FTP client's error vocabulary. Ordinals are fixed: owners compare and store them.
#include <cstdint>

enum FtpError : int {
    feNone = 0,
    feWinsockNotInitialised = 1,
    feNetworkDown = 2,
    feInvalidAddress = 3,
    feInternalError = 4,
    feGeneralWinsockError = 5,
    feConnectionAborted = 6,
    feConnectionReset = 7,
    feConnectionTimeout = 8,
    feOutOfSockets = 9,
    feNetworkUnreachable = 10,
    feAddressNotAvailable = 11,
    feConnectionRefused = 12,
    feProtocolError = 13,
    feUnknownError = 15,
    feAddressResolution = 16,
    feHostUnreachable = 18,
    feNoServer = 19,
    feFileOpen = 21,
    feFileWrite = 22,
    feFileRead = 23,
    feFileNotFound = 24,
    feServerDown = 26,
    feAccessDenied = 27,
    feDataError = 28,
    feLocalFileOpen = 29,
    // No reply (or, in a running transfer, no data) for ReplyTimeOutSeconds; the session ends.
    // TFtpClient::ReplyTimeOutText() says which command went unanswered.
    feReplyTimeOut = 30,
    // TLS was required and could not be set up (AUTH TLS refused, the handshake failed, or the
    // certificate was not trusted); the fiSecurity lines before it say why. Nothing was sent in
    // clear after the greeting.
    feTlsFailed = 31,
    // SFTP: the SSH session could not be set up (the handshake failed, or the server's host key
    // was refused or has changed); the lines before it say why. No credential was offered.
    feSshFailed = 32,
};

// The code for a Winsock error number seen on the control connection (0 gives feNone).
FtpError FtpErrorFromWinsock(uint16_t number);

// Numbers folded into feInternalError; the client keeps them in SocketErrorNumber.
bool IsInternalWinsockError(uint16_t number);
