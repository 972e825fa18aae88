#pragma once

// OpenSSH's sshd for the SFTP tests, on 127.0.0.1 with a free port, its own configuration, its
// own freshly made ed25519 host key and SFTP (internal-sftp, started in root()) as the only
// thing it serves. The account is the FTP tests' local account (a known password); keys added
// with authorizeKey() log it in too.
//
//     auto server = RealSshServer::start();
//     ASSERT_TRUE(server);  // start() has already reported why it failed
//     ASSERT_TRUE(server->writeFile("www/index.html", "<p>"));
//     ... client on 127.0.0.1:server->port(), server->user(), server->password(),
//         KnownHostsFile with server->knownHostsLine() ...
//
// A server that does not come up fails the test (never a skip). The destructor stops it and
// every session process and removes its files.

#include "support/ServerProcess.h"

#include <QtGlobal>
#include <csignal>
#include <ctime>
#include <memory>
#include <optional>
#include <string>

namespace fernhop::test {

class RealSshServer
{
public:
    static std::unique_ptr<RealSshServer> start();
    // Passwords through PAM's keyboard-interactive only (no "password" method offered).
    static std::unique_ptr<RealSshServer> startKeyboardInteractive();
    ~RealSshServer();

    quint16 port() const { return port_; }
    const std::string &root() const { return root_; } // where SFTP sessions start, as a local path
    const std::string &user() const { return user_; }
    const std::string &password() const { return password_; }
    const std::string &baseDir() const { return baseDir_; }

    // The host key: its known_hosts line ("[127.0.0.1]:port ssh-ed25519 AAAA..."), and its
    // fingerprint as ssh-keygen -l prints it ("SHA256:...").
    std::string knownHostsLine() const;
    std::string fingerprint() const;
    // Lets the key whose public half is in `publicKeyFile` log in.
    bool authorizeKey(const std::string &publicKeyFile);

    // Files below root(), owned by the account; paths relative, with "/" separators.
    bool writeFile(const std::string &relPath, const std::string &content);
    bool makeDir(const std::string &relPath);
    bool makeLink(const std::string &relPath, const std::string &target);
    bool setModificationTime(const std::string &relPath, std::time_t when);
    std::optional<std::string> readFile(const std::string &relPath) const;
    bool exists(const std::string &relPath) const;
    std::time_t modificationTime(const std::string &relPath) const;
    unsigned mode(const std::string &relPath) const;
    std::string path(const std::string &relPath) const { return root_ + "/" + relPath; }

    // Ends every session at once (the server stays): a connection lost mid-transfer.
    void killSessions() { process_.killDescendants(); }
    // Sessions that stop answering (SIGSTOP), and go on again (SIGCONT).
    void pauseSessions(bool paused) { process_.signalDescendants(paused ? SIGSTOP : SIGCONT); }
    std::string log() const { return process_.log(); }

private:
    RealSshServer() = default;
    static std::unique_ptr<RealSshServer> start(bool keyboardInteractive);
    bool prepare(std::string *error);
    bool launch(std::string *error);
    void giveToAccount(const std::string &path) const;

    std::string baseDir_;
    std::string root_;
    std::string user_;
    std::string password_;
    std::string pamService_;
    bool keyboardInteractive_ = false;
    int uid_ = -1;
    int gid_ = -1;
    quint16 port_ = 0;
    ServerProcess process_;
};

} // namespace fernhop::test
