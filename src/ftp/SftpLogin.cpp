// SftpEngine: the login. The SSH handshake, the server's host key checked before any credential
// goes out, then the agent's keys, the key file, the password and keyboard-interactive (each
// only where the server offers it), the SFTP channel and the first directory.
#include "ftp/SftpEngine.h"

#include "base/Text.h"
#include "ftp/Ftp.h"
#include "ftp/SshKeys.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Keyboard-interactive: every prompt is answered with the password.
LIBSSH2_USERAUTH_KBDINT_RESPONSE_FUNC(AnswerWithPassword)
{
    (void)name;
    (void)name_len;
    (void)instruction;
    (void)instruction_len;
    (void)prompts;
    const std::string &password = static_cast<SftpEngine *>(*abstract)->KeyboardAnswer();
    for (int i = 0; i < num_prompts; ++i) {
        responses[i].text = static_cast<char *>(std::malloc(password.size() + 1)); // libssh2 frees it
        if (!responses[i].text) {
            responses[i].length = 0;
            continue;
        }
        std::memcpy(responses[i].text, password.c_str(), password.size() + 1);
        responses[i].length = unsigned(password.size());
    }
}

// The host as known_hosts names it: the name or address given, in small letters as OpenSSH
// writes it, without an IPv6 address's brackets.
std::string KnownHostName(const std::string &server)
{
    std::string name = server.size() > 2 && server.front() == '[' && server.back() == ']'
                           ? server.substr(1, server.size() - 2)
                           : server;
    for (char &c : name)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    return name;
}

// The attempt failed for the connection, not for the credential: the session is lost.
bool StreamFailed(int rc)
{
    return rc == LIBSSH2_ERROR_SOCKET_SEND || rc == LIBSSH2_ERROR_SOCKET_RECV || rc == LIBSSH2_ERROR_SOCKET_DISCONNECT ||
           rc == LIBSSH2_ERROR_SOCKET_TIMEOUT || rc == LIBSSH2_ERROR_TIMEOUT;
}

} // namespace

const std::string &SftpEngine::KeyboardAnswer() const { return client_.UserPassword; }

void SftpEngine::StartSsh()
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { libssh2_init(0); });
    session_ = NewSession();
    if (!session_) {
        Info(fiSecurity, "SSH: no session could be made");
        client_.Disconnect(feSshFailed);
        return;
    }
    tried_.clear();
    const int fd = client_.Handle();
    socketFd_ = fd;
    Run("", [this, fd] { return libssh2_session_handshake(session_, fd); },
        [this](int rc) {
            if (rc != 0) {
                Info(fiSecurity, "The SSH handshake failed: " + ErrorText(rc));
                client_.Disconnect(feSshFailed);
                return;
            }
            const char *cipher = libssh2_session_methods(session_, LIBSSH2_METHOD_CRYPT_CS);
            const char *mac = libssh2_session_methods(session_, LIBSSH2_METHOD_MAC_CS);
            Info(fiSecurity, std::string("SSH session: ") + (cipher ? cipher : "?") + ", " + (mac ? mac : "?"));
            CheckHostKey();
        });
    Pump();
}

// Nothing goes out after the handshake before the server's key is accepted.
void SftpEngine::CheckHostKey()
{
    size_t length = 0;
    int type = 0;
    const char *key = libssh2_session_hostkey(session_, &length, &type);
    const char *hash = libssh2_hostkey_hash(session_, LIBSSH2_HOSTKEY_HASH_SHA256);
    if (!key || !hash) {
        Info(fiSecurity, "SSH: the server showed no host key");
        client_.Disconnect(feSshFailed);
        return;
    }
    SshHostKey shown{HostKeyTypeName(key, length), Sha256Fingerprint(hash)};
    Info(fiSecurity, "Server host key: " + shown.type + " " + shown.fingerprint);
    std::string file = client_.KnownHostsFile;
    if (file.empty()) {
        const char *home = std::getenv("HOME");
        file = std::string(home ? home : "") + "/.ssh/known_hosts";
    }
    const std::string host = KnownHostName(client_.FtpServer());
    switch (CheckKnownHost(session_, file, host, client_.Port, key, length, type)) {
    case KnownHost::match:
        Info(fiSecurity, "The host key matches " + file);
        Authenticate();
        return;
    case KnownHost::changed:
        Info(fiSecurity, "The server's host key has CHANGED: " + file + " holds another " + shown.type +
                             " key for " + host + ". Someone may be intercepting the connection, or the server's key"
                             " was replaced; refusing to connect.");
        client_.Disconnect(feSshFailed);
        return;
    case KnownHost::unknown: break;
    }
    const uint64_t generation = generation_;
    TSshHostKeyEvent ask = client_.OnSshHostKey;
    const bool accepted = ask && ask(&client_, shown);
    if (generation != generation_)
        return; // the handler ended the session
    if (!accepted) {
        Info(fiSecurity, "The server's host key " + shown.fingerprint + " is not known and was not accepted");
        client_.Disconnect(feSshFailed);
        return;
    }
    Info(fiSecurity, "The host key was accepted");
    Authenticate();
}

void SftpEngine::Authenticate()
{
    const uint64_t generation = generation_;
    if (client_.UserName.empty() && !client_.AskFor(needUserName, client_.UserName)) {
        if (generation == generation_)
            EndLogin(feNone);
        return;
    }
    if (generation != generation_)
        return;
    if (client_.UserName.empty() || !SendableName(client_.UserName)) {
        Info(fiSecurity, "SSH: the user name is empty or holds a line break; it is not sent");
        EndLogin(feAccessDenied);
        return;
    }
    Run("", [this] {
            const std::string &user = client_.UserName;
            const char *list = libssh2_userauth_list(session_, user.c_str(), unsigned(user.size()));
            methods_ = list ? list : "";
            if (list || libssh2_userauth_authenticated(session_))
                return 0;
            return libssh2_session_last_errno(session_);
        },
        [this](int rc) {
            if (Broken(rc) || rc != 0) {
                Lost(rc);
                return;
            }
            if (libssh2_userauth_authenticated(session_)) {
                OpenSftp();
                return;
            }
            Info(fiSecurity, "The server offers: " + methods_);
            auth_ = Auth::agent;
            NextAuth();
        });
}

bool SftpEngine::Offers(const char *method) const { return ("," + methods_ + ",").find(std::string(",") + method + ",") != std::string::npos; }

void SftpEngine::NextAuth()
{
    for (;;) {
        switch (auth_) {
        case Auth::agent: {
            auth_ = Auth::keyFile;
            const char *socket = std::getenv("SSH_AUTH_SOCK");
            if (Offers("publickey") && socket && *socket) {
                TryAgent();
                return;
            }
            break;
        }
        case Auth::keyFile:
            auth_ = Auth::password;
            if (Offers("publickey") && !client_.SshKeyFile.empty()) {
                TryKeyFile();
                return;
            }
            break;
        case Auth::password:
            auth_ = Auth::keyboard;
            if (Offers("password")) {
                TryPassword();
                return;
            }
            break;
        case Auth::keyboard:
            auth_ = Auth::done;
            if (Offers("keyboard-interactive")) {
                TryKeyboard();
                return;
            }
            break;
        case Auth::done: {
            std::string list;
            for (const std::string &method : tried_)
                list += (list.empty() ? "" : ", ") + method;
            Info(fiSecurity, list.empty() ? "Login refused: none of the methods the server offers could be tried"
                                          : "Login refused: tried " + list);
            EndLogin(feAccessDenied);
            return;
        }
        }
    }
}

// The agent's keys one after the other. Talking to the local agent is quick; only the server's
// answers are waited for through the socket.
void SftpEngine::TryAgent()
{
    agent_ = libssh2_agent_init(session_);
    if (!agent_ || libssh2_agent_connect(agent_) != 0 || libssh2_agent_list_identities(agent_) != 0) {
        Info(fiSecurity, "SSH agent: not reachable through SSH_AUTH_SOCK");
        if (agent_)
            libssh2_agent_free(agent_);
        agent_ = nullptr;
        NextAuth();
        return;
    }
    identity_ = nullptr;
    NextAgentKey();
}

void SftpEngine::NextAgentKey()
{
    libssh2_agent_publickey *previous = identity_;
    if (libssh2_agent_get_identity(agent_, &identity_, previous) != 0) {
        if (!previous)
            Info(fiSecurity, "SSH agent: it holds no key");
        libssh2_agent_disconnect(agent_);
        libssh2_agent_free(agent_);
        agent_ = nullptr;
        identity_ = nullptr;
        NextAuth();
        return;
    }
    const std::string comment = identity_->comment && *identity_->comment ? identity_->comment : "(no comment)";
    Info(fiSecurity, "Trying the agent's key " + comment);
    Run("", [this] { return libssh2_agent_userauth(agent_, client_.UserName.c_str(), identity_); },
        [this, comment](int rc) {
            AuthAnswer(rc, "the agent's key " + comment, "The server did not accept the agent's key " + comment,
                       "agent key " + comment, &SftpEngine::NextAgentKey);
        });
}

void SftpEngine::TryKeyFile()
{
    const std::string file = client_.SshKeyFile;
    passphrase_.clear();
    switch (KeyFileProtection(file)) {
    case KeyFile::unreadable:
        Info(fiSecurity, "Key file " + file + ": cannot be read, skipped");
        tried_.push_back("key file (unreadable)");
        NextAuth();
        return;
    case KeyFile::plain: break;
    case KeyFile::encrypted: {
        const uint64_t generation = generation_;
        const bool answered = client_.AskFor(needPassphrase, passphrase_);
        if (generation != generation_)
            return;
        if (!answered || passphrase_.empty()) {
            Info(fiSecurity, "Key file " + file + ": no passphrase given, skipped");
            tried_.push_back("key file (no passphrase)");
            NextAuth();
            return;
        }
        break;
    }
    }
    Info(fiSecurity, "Trying the key file " + file);
    Run("", [this, file] {
            const std::string &user = client_.UserName;
            return libssh2_userauth_publickey_fromfile_ex(session_, user.c_str(), unsigned(user.size()), nullptr,
                                                          file.c_str(), passphrase_.c_str());
        },
        [this, file](int rc) {
            std::fill(passphrase_.begin(), passphrase_.end(), '\0');
            passphrase_.clear();
            AuthAnswer(rc, "the key file " + file,
                       rc == LIBSSH2_ERROR_FILE ? "Key file " + file + ": the key could not be read (a wrong passphrase?)"
                                                : "The server did not accept the key in " + file,
                       "key file", &SftpEngine::NextAuth);
        });
}

// The password, asked for when the site has none. False: the login is over (the question was
// cancelled, or the session ended while it was open).
bool SftpEngine::PasswordAtHand()
{
    const uint64_t generation = generation_;
    if (client_.UserPassword.empty() && !client_.AskFor(needPassword, client_.UserPassword)) {
        if (generation == generation_)
            EndLogin(feNone);
        return false;
    }
    return generation == generation_;
}

void SftpEngine::TryPassword()
{
    if (!PasswordAtHand())
        return;
    Info(fiSecurity, "Trying the password");
    Run("", [this] {
            const std::string &user = client_.UserName;
            const std::string &password = client_.UserPassword;
            return libssh2_userauth_password_ex(session_, user.c_str(), unsigned(user.size()), password.c_str(),
                                                unsigned(password.size()), nullptr);
        },
        [this](int rc) {
            AuthAnswer(rc, "the password",
                       rc == LIBSSH2_ERROR_PASSWORD_EXPIRED ? "The password has expired"
                                                            : "The server did not accept the password",
                       "password", &SftpEngine::NextAuth);
        });
}

void SftpEngine::TryKeyboard()
{
    if (!PasswordAtHand())
        return;
    Info(fiSecurity, "Trying keyboard-interactive with the password");
    Run("", [this] {
            const std::string &user = client_.UserName;
            return libssh2_userauth_keyboard_interactive_ex(session_, user.c_str(), unsigned(user.size()),
                                                            &AnswerWithPassword);
        },
        [this](int rc) {
            AuthAnswer(rc, "keyboard-interactive", "The server did not accept keyboard-interactive",
                       "keyboard-interactive", &SftpEngine::NextAuth);
        });
}

void SftpEngine::AuthAnswer(int rc, const std::string &method, const std::string &refused, const std::string &tried,
                            void (SftpEngine::*next)())
{
    if (rc == 0) {
        Info(fiSecurity, "Authenticated with " + method);
        OpenSftp();
        return;
    }
    if (StreamFailed(rc)) {
        Lost(rc);
        return;
    }
    Info(fiSecurity, refused);
    tried_.push_back(tried);
    (this->*next)();
}

void SftpEngine::OpenSftp()
{
    Run("", [this] {
            sftp_ = libssh2_sftp_init(session_);
            return sftp_ ? 0 : libssh2_session_last_errno(session_);
        },
        [this](int rc) {
            if (rc != 0) {
                Info(fiSecurity, "The server did not start SFTP: " + ErrorText(rc));
                client_.Disconnect(feSshFailed);
                return;
            }
            EnterFirstDirectory();
        });
}

// The home directory the server starts in, then the initial directory (a refusal is reported
// and the login completes anyway, as with FTP's initial CWD).
void SftpEngine::EnterFirstDirectory()
{
    cwd_ = "/";
    Run("REALPATH .", [this] {
            char path[4096];
            const int n = libssh2_sftp_realpath(sftp_, ".", path, sizeof path - 1);
            if (n > 0)
                cwd_.assign(path, size_t(n));
            return n < 0 ? n : 0;
        },
        [this](int rc) {
            if (Broken(rc)) {
                Lost(rc);
                return;
            }
            Info(fiReplyText, (rc == 0 ? cwd_ : ErrorText(rc)) + "\r\n");
            const std::string &first = client_.InitialDirectory;
            if (first.empty()) {
                LoggedIn();
                return;
            }
            if (!SendableName(first)) {
                client_.RaiseInfo(fiCommandFailed, "");
                LoggedIn();
                return;
            }
            const std::string path = Resolve(first);
            StatDirectory(path, [this, path](bool isDirectory) {
                if (isDirectory)
                    cwd_ = path;
                else
                    client_.RaiseInfo(fiCommandFailed, "");
                LoggedIn();
            });
        });
}

void SftpEngine::LoggedIn()
{
    // What an SFTP session can do, in the words the client's owner reads: machine listings with
    // exact times, file times read and set.
    client_.features_ = {"MLST type*;size*;modify*;UNIX.mode*;", "MDTM", "MFMT", "SIZE", "UTF8"};
    client_.systemType_ = "UNIX (SFTP)";
    client_.ServerType = ftpUNIX;
    client_.pending_ = TFtpClient::peLoggedIn;
    client_.LoginComplete();
}
