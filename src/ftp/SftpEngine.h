#pragma once
// SftpEngine: TFtpClient's operations carried out over SSH and SFTP (libssh2) when UseSftp is on.
// The client's own socket carries the SSH stream: libssh2 runs non-blocking and reads and writes
// through the socket's Receive and Send, and the running step is tried again on the socket's next
// read or write notice, so no call blocks and no second event loop runs. Outcomes go through the
// client's own state and events (Success, Listing, OnFtpReady and the operation's event, posted),
// so its owner drives an SFTP site exactly as an FTP one.
#include "ftp/FtpErrors.h"
#include "ftp/FtpTypes.h"

#include <libssh2.h>
#include <libssh2_sftp.h>

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <unordered_set>
#include <vector>

class TFtpClient;

class SftpEngine {
public:
    explicit SftpEngine(TFtpClient &client);
    ~SftpEngine();
    SftpEngine(const SftpEngine &) = delete;
    SftpEngine &operator=(const SftpEngine &) = delete;

    // The client's public operations, each after the client's own preamble where it has one.
    void Connect(); // the client's TCP connect, then the SSH login
    void ChangeDirectory(const std::string &directory);
    void MakeDirectory(const std::string &directory);
    void RemoveDirectory(const std::string &directory);
    void DeleteFile(const std::string &name);
    void SendCommand(const std::string &line);
    void GetFileTime(const std::string &remotePath);
    void KeepAlive();
    void GetListing();
    void GetFile();
    void PutFile();
    void SendCheckFile();
    void Abort();
    void Quit();
    // The session is given up at once (Disconnect, Reset, a lost connection): libssh2's state is
    // freed without another byte sent.
    void Drop();

    // libssh2's socket callbacks land here for the session's socket (SessionSocket).
    // libssh2's memory for the session. Every block is recorded, so that what libssh2 1.10 does
    // not free itself (a session given up in the middle of its key exchange) goes with it.
    void *Allocate(size_t size);
    void *Reallocate(void *block, size_t size);
    void Release(void *block);
    int SessionSocket() const;
    ssize_t SocketSend(const void *buffer, size_t length);
    ssize_t SocketReceive(void *buffer, size_t length);

    // Keyboard-interactive's answer to every prompt.
    const std::string &KeyboardAnswer() const;

private:
    // One libssh2 call: 0 (or more) done, LIBSSH2_ERROR_EAGAIN to wait for the socket, else failed.
    using Call = std::function<int()>;
    using Then = std::function<void(int rc)>;
    using Step = std::function<bool()>; // false: wait for the socket's next notice

    enum class Auth { agent, keyFile, password, keyboard, done };

    // SftpEngine.cpp: driving, reporting, the end of a session
    void Pump();
    void Drain();
    // The step that runs `call` until it stops asking to wait, then `then` (with `logLine` in the
    // log as a command sent, when not empty).
    void Run(const std::string &logLine, Call call, Then then);
    void Wait(Step step) { step_ = std::move(step); }
    void Later(const std::function<void()> &what); // from the event loop, unless the session ended
    LIBSSH2_SESSION *NewSession();
    void Connected();
    void Closed();
    void Lost(int rc);
    void EndLogin(FtpError code);
    void Teardown();
    bool Begin(bool setsSuccess, bool setsPending, int pending);
    void Finish(bool ok);
    void Refused(int rc);
    bool Broken(int rc) const;
    void Answer(int rc);
    std::string ErrorText(int rc) const;
    std::string Resolve(const std::string &name) const;
    void Info(FtpInfo info, const std::string &text);
    void Trace(const std::string &text);

    // SftpLogin.cpp
    void StartSsh();
    void CheckHostKey();
    void Authenticate();
    bool Offers(const char *method) const;
    void NextAuth();
    void TryAgent();
    void NextAgentKey();
    void TryKeyFile();
    bool PasswordAtHand();
    void TryPassword();
    void TryKeyboard();
    // One attempt's answer: logged in (SFTP next), the stream gone, or refused (logged and
    // remembered as `tried`, then `next`).
    void AuthAnswer(int rc, const std::string &method, const std::string &refused, const std::string &tried,
                    void (SftpEngine::*next)());
    void OpenSftp();
    void EnterFirstDirectory();
    void LoggedIn();

    // SftpCommands.cpp
    void StatDirectory(const std::string &path, const std::function<void(bool isDirectory)> &then);
    void Simple(int pending, const std::string &name, const std::string &verb,
                const std::function<int(const std::string &path)> &call);
    void ReadDirectory();
    void StatLinks(size_t at);
    void AddLine(const std::string &line);
    void ListingRead(bool ok);
    void CloseHandle(const std::function<void(bool ok)> &then);

    // SftpTransfer.cpp
    void ReadFileData();
    bool LocalWrite(const char *data, size_t length);
    void OpenTemporary();
    void WriteFileData();
    bool LocalRead();
    void StoreTime();
    void CloseUpload();
    void InstallUpload();
    void Rename(const std::string &from, const std::string &to, const std::function<void(int rc)> &then);
    void UploadDone();
    void UploadFailed(int rc);

    TFtpClient &client_;
    LIBSSH2_SESSION *session_ = nullptr;
    LIBSSH2_SFTP *sftp_ = nullptr;
    LIBSSH2_SFTP_HANDLE *handle_ = nullptr;
    LIBSSH2_AGENT *agent_ = nullptr;
    libssh2_agent_publickey *identity_ = nullptr;
    int socketFd_ = -1; // the descriptor the session was started on
    std::unordered_set<void *> blocks_; // held by libssh2 for the session
    Step step_;
    bool pumping_ = false;
    bool pumpAgain_ = false; // a notice came while a step ran
    bool dead_ = false;       // the session is given up: nothing reaches the wire any more
    uint64_t generation_ = 0; // moves on when a session ends, so that a step of it stops

    // Login.
    Auth auth_ = Auth::agent;
    std::string methods_;    // what the server offers ("publickey,password")
    std::vector<std::string> tried_;
    std::string passphrase_; // the key file's, for its one attempt, then wiped
    std::string cwd_;        // the current remote directory, absolute

    // The running operation.
    LIBSSH2_SFTP_ATTRIBUTES attrs_{};
    std::string path_;      // its remote path, absolute
    std::string temporary_; // an upload's new file beside path_
    std::string aside_;     // an upload: the old file's name while the new one takes its place
    std::vector<std::pair<std::string, LIBSSH2_SFTP_ATTRIBUTES>> links_; // a listing's links, to stat
    std::vector<char> buffer_;
    size_t bufferAt_ = 0, bufferEnd_ = 0;
    bool localEnded_ = false;
    bool transferring_ = false; // a transfer's data moves: Abort applies
    bool uploading_ = false;
    bool aborted_ = false;
    bool targetExists_ = false;
    long targetMode_ = -1;      // the replaced file's permission bits, -1: none known
};
