#pragma once
// Small enumerations of the FTP client's interface. Ordinals are fixed.
#include <string>

// What OnFtpInfo reports (8 and 15-18 are not used).
enum FtpInfo : int {
    fiConnected = 0,
    fiNotConnected = 1,
    fiResolving = 2,
    fiConnecting = 3,
    fiReplyText = 4,
    fiCommandSent = 5,
    fiBusy = 6,
    fiProgress = 7,
    fiTransferDone = 9,
    fiListingReady = 10,
    fiLoggedIn = 11,
    fiFileSize = 12,
    fiCommandFailed = 13,
    fiListingLine = 14,
    fiReady = 19,
    fiCommandRejected = 20,
    fiTrace = 21,
    fiSecurity = 22, // a TLS fact or refusal for the log: version and cipher, why TLS failed
};

// Server type learnt from the SYST reply after login.
enum TFtpServerType : int {
    ftpDefault = 0,
    ftpAutoDetect,
    ftpUNIX,
    ftpULTRIX,
    ftpU5000,
    ftpSINTFTPD,
    ftpVmsMultinet,
    ftpVmsUcx,
    ftpMVS,
    ftpMacFtpd,
    ftpClix,
    ftpQVT,
    ftpNCSA,
    ftpChameleon,
    ftpVM,
    ftpVMVPS,
    ftpWINDOWS, // 16
};

// "TYPE I" or "TYPE A" on the wire; the bytes of a file are never converted.
enum TTransferType : int { BinaryTransfer = 0, AsciiTransfer = 1 };

// The value OnFtpNeedInfo asks the owner for.
// needPassphrase: an SFTP key file's passphrase, asked each time the key is used, never stored.
enum TFtpInfoNeeded : int { needServer = 0, needUserName = 1, needPassword = 2, needAccount = 3, needPassphrase = 4 };

// An SSH server's host key as the user is shown it.
struct SshHostKey {
    std::string type;        // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa"
    std::string fingerprint; // "SHA256:" and the unpadded base64 of the key's SHA-256
};
