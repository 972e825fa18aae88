// SftpEngine: how the SSH session is driven over the client's socket, the reporting helpers and
// the end of a session.
#include "ftp/SftpEngine.h"

#include "ftp/Ftp.h"

#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <sys/socket.h>

namespace {

// libssh2 talks to the SSH agent through the same callbacks, on the agent's own socket: only the
// session's socket goes through the client.
LIBSSH2_SEND_FUNC(SendThrough)
{
    auto *engine = static_cast<SftpEngine *>(*abstract);
    if (socket != engine->SessionSocket()) {
        const ssize_t n = ::send(socket, buffer, length, flags | MSG_NOSIGNAL);
        return n >= 0 ? n : -errno;
    }
    return engine->SocketSend(buffer, length);
}

LIBSSH2_RECV_FUNC(ReceiveThrough)
{
    auto *engine = static_cast<SftpEngine *>(*abstract);
    if (socket != engine->SessionSocket()) {
        const ssize_t n = ::recv(socket, buffer, length, flags);
        return n >= 0 ? n : -errno;
    }
    return engine->SocketReceive(buffer, length);
}

LIBSSH2_ALLOC_FUNC(AllocateFor)
{
    return static_cast<SftpEngine *>(*abstract)->Allocate(count);
}

LIBSSH2_REALLOC_FUNC(ReallocateFor)
{
    return static_cast<SftpEngine *>(*abstract)->Reallocate(ptr, count);
}

LIBSSH2_FREE_FUNC(ReleaseFor)
{
    static_cast<SftpEngine *>(*abstract)->Release(ptr);
}

const char *SftpStatusText(unsigned long status)
{
    switch (status) {
    case LIBSSH2_FX_EOF: return "End of file";
    case LIBSSH2_FX_NO_SUCH_FILE: return "No such file";
    case LIBSSH2_FX_PERMISSION_DENIED: return "Permission denied";
    case LIBSSH2_FX_FAILURE: return "Failure";
    case LIBSSH2_FX_BAD_MESSAGE: return "Bad message";
    case LIBSSH2_FX_OP_UNSUPPORTED: return "Operation unsupported";
    case LIBSSH2_FX_NO_SUCH_PATH: return "No such path";
    case LIBSSH2_FX_FILE_ALREADY_EXISTS: return "File already exists";
    case LIBSSH2_FX_WRITE_PROTECT: return "Write protected";
    case LIBSSH2_FX_NO_SPACE_ON_FILESYSTEM: return "No space left";
    case LIBSSH2_FX_QUOTA_EXCEEDED: return "Quota exceeded";
    case LIBSSH2_FX_DIR_NOT_EMPTY: return "Directory not empty";
    case LIBSSH2_FX_NOT_A_DIRECTORY: return "Not a directory";
    case LIBSSH2_FX_INVALID_FILENAME: return "Invalid file name";
    default: return "Refused";
    }
}

} // namespace

SftpEngine::SftpEngine(TFtpClient &client) : client_(client) {}

SftpEngine::~SftpEngine()
{
    Drop();
    // The client outlives its handlers: none may lead back here.
    client_.OnSendReady = nullptr;
    client_.OnConnected = nullptr;
    client_.OnDataAvailable = nullptr;
    client_.OnClosed = nullptr;
    client_.OnNextAddress = nullptr;
}

int SftpEngine::SessionSocket() const { return socketFd_; }

// ---- the socket ------------------------------------------------------------------------------

// libssh2 writes through the client's socket; a full socket makes it wait for the send notice.
// Once the session is given up nothing reaches the wire, and libssh2 is told its bytes went, so
// that it frees its state without waiting for an answer that will not come.
ssize_t SftpEngine::SocketSend(const void *buffer, size_t length)
{
    if (dead_)
        return ssize_t(length);
    if (!client_.HasSocket())
        return -ECONNRESET;
    const int n = client_.Send(buffer, int(std::min<size_t>(length, 1 << 20)));
    if (n > 0)
        return n;
    return client_.LastError() != 0 ? -ECONNRESET : -EAGAIN;
}

// Nothing to read is "try again": the read notice comes back once Receive has been called. The
// end of the stream is an error: libssh2 1.10 reads an SFTP reply in a loop that, told "try
// again" there, spins for good instead of returning.
ssize_t SftpEngine::SocketReceive(void *buffer, size_t length)
{
    if (dead_ || !client_.HasSocket())
        return -ECONNRESET;
    const int n = client_.Receive(buffer, int(std::min<size_t>(length, 1 << 20)));
    if (n > 0) {
        client_.NoteActivity();
        return n;
    }
    return client_.LastError() != 0 || client_.EndOfStream() ? -ECONNRESET : -EAGAIN;
}

// Runs the waiting step until it waits for the socket again (or the session is over).
void SftpEngine::Pump()
{
    if (pumping_) {
        // Called from within a step: a handler that set up the next step (the loop below runs
        // it), or a socket notice taken in by an event loop inside a handler (a modal question).
        // Then a step that waits runs once more first: the socket gives its next notice only
        // after a read, so a notice passed over could leave the server's close unseen.
        pumpAgain_ = true;
        return;
    }
    pumping_ = true;
    const uint64_t generation = generation_;
    while (step_ && generation == generation_) {
        pumpAgain_ = false;
        Step step = step_; // the step may replace itself
        if (!step() && !pumpAgain_)
            break;
    }
    pumping_ = false;
    if (!step_ && sftp_ && generation == generation_)
        Drain();
}

// Idle: what the server sends (a keep-alive's answer, a window change) is taken in, so that
// the socket's read notice comes back and a close is seen. The SFTP channel's own data stays
// queued in libssh2 for the next request.
void SftpEngine::Drain()
{
    LIBSSH2_CHANNEL *channel = libssh2_sftp_get_channel(sftp_);
    char sink[256];
    while (channel && libssh2_channel_read_stderr(channel, sink, sizeof sink) > 0) {
    }
}

void SftpEngine::Run(const std::string &logLine, Call call, Then then)
{
    if (!logLine.empty()) {
        Info(fiCommandSent, logLine + "\r\n");
        client_.lastCommand_ = logLine;
        client_.NoteActivity();
    }
    step_ = [this, call = std::move(call), then = std::move(then)]() {
        const int rc = call();
        if (rc == LIBSSH2_ERROR_EAGAIN)
            return false;
        step_ = nullptr;
        then(rc);
        return true;
    };
}

void SftpEngine::Later(const std::function<void()> &what)
{
    const uint64_t generation = generation_;
    QTimer::singleShot(0, &client_, [this, generation, what] {
        if (generation == generation_)
            what();
    });
}

// ---- session life ----------------------------------------------------------------------------

void SftpEngine::Connect()
{
    Drop(); // whatever the last session left
    dead_ = false;
    TFtpClient &c = client_;
    if (c.Port == 0)
        c.Port = 22;
    c.features_.clear();
    c.mdtmRefused_ = false;
    c.mlsdRefused_ = false;
    c.listedWithMlsd_ = false;
    c.SetReplyState(TFtpClient::stGreeting);
    c.OnConnected = [this](TAsyncSocket *) { Connected(); };
    c.OnDataAvailable = [this](TAsyncSocket *) { Pump(); };
    c.OnSendReady = [this](TAsyncSocket *) { Pump(); };
    c.OnClosed = [this](TAsyncSocket *) { Closed(); };
    c.OnNextAddress = [&c](TAsyncSocket *) { c.TryingNextAddress(); };
    c.StartConnection();
}

void SftpEngine::Connected()
{
    client_.ControlConnected();
    if (client_.connected_)
        StartSsh();
}

// The server closed, or the connection broke: the client's own end of a session follows.
void SftpEngine::Closed()
{
    Drop();
    client_.ControlClosed();
}

// The SSH stream failed under a request: the session is over, as when the server closes.
void SftpEngine::Lost(int rc)
{
    Trace("SSH connection lost: " + ErrorText(rc));
    Drop();
    client_.Close();
    client_.ControlClosed();
}

// The login ends without a session: `code` reported (as a refused FTP login is), then the
// session ends as after QUIT.
void SftpEngine::EndLogin(FtpError code)
{
    if (code != feNone)
        client_.ReportError(code);
    client_.success_ = false;
    client_.quitSent_ = true;
    if (session_)
        libssh2_session_disconnect(session_, "Authentication ended"); // once; a full socket drops it
    Drop();
    client_.Close();
    client_.ControlClosed();
}

void SftpEngine::Quit()
{
    if (!client_.BeginOperation(false, false, TFtpClient::peNone))
        return;
    client_.quitSent_ = true;
    client_.SetReplyState(TFtpClient::stQuit);
    Run("DISCONNECT", [this] { return session_ ? libssh2_session_disconnect(session_, "Bye") : 0; },
        [this](int) {
            Later([this] {
                Drop();
                client_.Close();
                client_.ControlClosed();
            });
        });
    Pump();
}

void SftpEngine::Drop()
{
    ++generation_;
    step_ = nullptr;
    Teardown();
}

void SftpEngine::Teardown()
{
    dead_ = true;
    if (handle_)
        libssh2_sftp_close_handle(handle_);
    handle_ = nullptr;
    if (sftp_)
        libssh2_sftp_shutdown(sftp_);
    sftp_ = nullptr;
    if (agent_) {
        libssh2_agent_disconnect(agent_);
        libssh2_agent_free(agent_);
    }
    agent_ = nullptr;
    identity_ = nullptr;
    if (session_)
        libssh2_session_free(session_);
    session_ = nullptr;
    for (void *block : blocks_)
        std::free(block);
    blocks_.clear();
    std::fill(passphrase_.begin(), passphrase_.end(), '\0');
    passphrase_.clear();
    links_.clear();
    transferring_ = false;
}

LIBSSH2_SESSION *SftpEngine::NewSession()
{
    LIBSSH2_SESSION *session = libssh2_session_init_ex(&AllocateFor, &ReleaseFor, &ReallocateFor, this);
    if (!session)
        return nullptr;
    libssh2_session_callback_set(session, LIBSSH2_CALLBACK_SEND, reinterpret_cast<void *>(&SendThrough));
    libssh2_session_callback_set(session, LIBSSH2_CALLBACK_RECV, reinterpret_cast<void *>(&ReceiveThrough));
    libssh2_session_set_blocking(session, 0);
    libssh2_keepalive_config(session, 1, 1);
    dead_ = false;
    return session;
}

void *SftpEngine::Allocate(size_t size)
{
    void *block = std::malloc(size);
    if (block)
        blocks_.insert(block);
    return block;
}

void *SftpEngine::Reallocate(void *block, size_t size)
{
    void *moved = std::realloc(block, size);
    if (!moved)
        return nullptr; // the old block stays, still recorded
    if (moved != block) {
        blocks_.erase(block);
        blocks_.insert(moved);
    }
    return moved;
}

void SftpEngine::Release(void *block)
{
    blocks_.erase(block);
    std::free(block);
}

// ---- operations: preamble and end ------------------------------------------------------------

// The client's preamble; an operation asked for before the login has finished is refused as busy.
bool SftpEngine::Begin(bool setsSuccess, bool setsPending, int pending)
{
    if (!client_.BeginOperation(setsSuccess, setsPending, TFtpClient::TPendingEvent(pending)))
        return false;
    if (!sftp_ || step_) {
        client_.busy_ = false;
        client_.RaiseInfo(fiBusy, "");
        return false;
    }
    return true;
}

void SftpEngine::Finish(bool ok)
{
    if (!ok)
        client_.success_ = false;
    client_.PostCompletion();
}

// A request the server refused (an SFTP status): said as a refusal line, so that the runs name
// it as they name an FTP server's 550.
void SftpEngine::Refused(int rc)
{
    Info(fiReplyText, "550 " + ErrorText(rc) + "\r\n");
    client_.FailCommand();
}

// The request failed for the session, not for its file: the stream is broken.
bool SftpEngine::Broken(int rc) const { return rc < 0 && rc != LIBSSH2_ERROR_SFTP_PROTOCOL && rc != LIBSSH2_ERROR_EAGAIN; }

// The common ending of a one-request operation.
void SftpEngine::Answer(int rc)
{
    if (Broken(rc)) {
        Lost(rc);
        return;
    }
    if (rc < 0)
        Refused(rc);
    else
        Info(fiReplyText, "OK\r\n");
    Finish(rc >= 0);
}

std::string SftpEngine::ErrorText(int rc) const
{
    if (rc == LIBSSH2_ERROR_SFTP_PROTOCOL && sftp_) {
        const unsigned long status = libssh2_sftp_last_error(sftp_);
        return std::string(SftpStatusText(status)) + " (SFTP status " + std::to_string(status) + ")";
    }
    char *message = nullptr;
    if (session_)
        libssh2_session_last_error(session_, &message, nullptr, 0);
    std::string text = message && *message ? message : "error";
    return text + " (" + std::to_string(rc) + ")";
}

// A remote name as an absolute path: relative to the current directory; "." and ".." taken
// lexically, so that a path never leaves the tree through a link the server would resolve.
std::string SftpEngine::Resolve(const std::string &name) const
{
    const std::string whole = !name.empty() && name[0] == '/' ? name : cwd_ + "/" + name;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= whole.size()) {
        size_t end = whole.find('/', start);
        if (end == std::string::npos)
            end = whole.size();
        const std::string part = whole.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string path;
    for (const std::string &part : parts)
        path += "/" + part;
    return path.empty() ? "/" : path;
}

void SftpEngine::Info(FtpInfo info, const std::string &text) { client_.RaiseInfo(info, text); }
void SftpEngine::Trace(const std::string &text) { client_.Trace("-> " + text); }
