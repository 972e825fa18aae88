#pragma once

// FTP servers for the network tests, all on 127.0.0.1 (or, when asked, on ::1 only) with a free
// port of their own.
//
// ScriptedFtpServer plays the replies of a JSON script and records every command it receives
// (tests/support/scripted_ftp_server.py describes the script format in full):
//
//     auto server = ScriptedFtpServer::start(R"({
//         "greeting": ["120 Soon.", "220 Ready."],
//         "rules": [
//           {"match": "^USER ", "reply": "331 Password please."},
//           {"match": "^PASS ", "chunks": ["230 Log", "ged in.\r\n"], "delay_ms": 20},
//           {"match": "^PASV$", "action": "pasv"},
//           {"match": "^LIST", "action": "send", "data": ["-rw-r--r-- 1 u g 5 Jan 01 2020 a"]},
//           {"match": "^STOR ", "action": "receive"},
//           {"match": "^QUIT$", "reply": "221 Bye.", "close": true}]})");
//     ASSERT_TRUE(server);  // start() has already reported why it failed
//     ... client on 127.0.0.1:server->port() ...
//     EXPECT_EQ(server->commands(), (std::vector<std::string>{"USER joe", "PASS pw", "QUIT"}));
//     EXPECT_EQ(server->uploaded("a.txt"), "body");
//
// RealFtpServer runs pyftpdlib or vsftpd on a fresh temporary root with one account:
//
//     auto server = RealFtpServer::start(RealFtpServer::Kind::Vsftpd);
//     ASSERT_TRUE(server);
//     ASSERT_TRUE(server->writeFile("www/index.html", "<p>"));
//     ... client logs in with server->user(), server->password() on server->port() ...
//     EXPECT_EQ(server->readFile("www/new.html"), "...");
//
// start() never skips: a server that does not come up adds a test failure carrying its output
// and returns nullptr. The destructor stops the server and all its processes, even when the
// test has failed, and removes its files. Servers of parallel tests never share a port or a
// root; vsftpd instances share one system account (created on first use, needs root).
// vsftpd is the installed one, else the copy scripts/setup.sh unpacks from its package where
// another FTP server package is installed (they conflict); $FERNHOP_VSFTPD names another.

#include <QtGlobal>
#include <ctime>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/ServerProcess.h"

namespace fernhop::test {

// A port on 127.0.0.1 that was free a moment ago (the kernel's pick), 0 if none.
quint16 freeLoopbackPort();

// The Python that runs the servers: $FERNHOP_PYTHON, else /usr/bin/python3 (the one that has the
// distribution's pyftpdlib), else python3 from PATH.
std::string testPython();

// A scripted server's rules for a login as "joe" with "pw" and the commands a session sends around
// its steps (SYST, CWD, PWD, TYPE, PASV); a script goes on after the last comma.
inline constexpr char kScriptedLoginRules[] = R"(
        {"match": "^USER joe$", "reply": "331 Password please."},
        {"match": "^PASS pw$", "reply": "230 Logged in."},
        {"match": "^SYST$", "reply": "215 UNIX Type: L8"},
        {"match": "^CWD ", "reply": "250 OK."},
        {"match": "^PWD$", "reply": "257 \"/\" is current."},
        {"match": "^TYPE ", "reply": "200 OK."},
        {"match": "^PASV$", "action": "pasv"},)";

class ScriptedFtpServer
{
public:
    // `host`: the address it listens on ("127.0.0.1" or "::1"); passive listeners use it too.
    static std::unique_ptr<ScriptedFtpServer> start(const std::string &scriptJson,
                                                    const std::string &host = "127.0.0.1");
    ~ScriptedFtpServer();

    quint16 port() const { return port_; }

    // Every command line received so far, in order, without its line end. A command is
    // recorded before its reply is sent, so after a client has read a reply the log is complete
    // up to that command.
    std::vector<std::string> commands() const;

    // Waits, running the Qt event loop, until a recorded command matches `regex` (ECMAScript),
    // for commands a client sends without waiting for the reply (a last QUIT). The time-out
    // only guards against hanging; false means it never came.
    bool waitForCommand(const std::string &regex, int timeoutMs = 10000) const;

    // The body a "receive" step stored under `name`, nothing if none was stored.
    std::optional<std::string> uploaded(const std::string &name) const;

    // How many control connections the server has accepted.
    int connectionCount() const;

    // Ends the server now (commands() and uploaded() stay readable).
    void stop();
    std::string log() const { return process_.log(); }

private:
    ScriptedFtpServer() = default;
    std::string workDir_;
    quint16 port_ = 0;
    ServerProcess process_;
};

// What the two servers do differently: vsftpd hides dot files from a plain LIST, pyftpdlib shows
// them; both list times in UTC. vsftpd lists owners as numbers (no /etc/passwd in its chroot).
// A wrong password costs a few seconds on both (pyftpdlib waits 3 s, PAM about 2 s).
class RealFtpServer
{
public:
    enum class Kind { Pyftpdlib, Vsftpd };

    // Explicit TLS, required on the control and the data connections, with this certificate
    // (vsftpd also insists that data connections resume the control connection's session).
    struct Tls {
        std::string certificateFile;
        std::string keyFile;
        // pyftpdlib only, to play a hostile or careless server (see tls_ftp_server.py): another
        // certificate on the data connections, the 1xx reply held until the data connection's
        // handshake is done, TLS 1.2 at most, data connections ended without close_notify.
        std::string dataCertificateFile;
        std::string dataKeyFile;
        bool holdDataReply = false;
        bool tls12 = false;
        bool noDataCloseNotify = false;
        std::string afterAuth; // sent in clear right after the 234 to AUTH, in the same segment
        std::string ciphers;   // the TLS 1.2 suites taken, OpenSSL's names ("AES128-SHA")

        // A plain TLS server with this certificate.
        static Tls With(const std::string &certificateFile, const std::string &keyFile)
        {
            Tls tls;
            tls.certificateFile = certificateFile;
            tls.keyFile = keyFile;
            return tls;
        }
    };

    static std::unique_ptr<RealFtpServer> start(Kind kind);
    static std::unique_ptr<RealFtpServer> start(Kind kind, const Tls &tls);
    // The same server listening on ::1 only (IPv6 control and data connections).
    static std::unique_ptr<RealFtpServer> startOnIpv6(Kind kind);
    // vsftpd taking at most this many connections from one address at once (max_per_ip): it
    // greets one more with 421 and closes it.
    static std::unique_ptr<RealFtpServer> startVsftpdLimitedTo(int connectionsPerAddress);
    ~RealFtpServer();

    Kind kind() const { return kind_; }
    const char *name() const;
    const std::string &host() const { return host_; } // "127.0.0.1" or "::1"
    quint16 port() const { return port_; }
    // The server's top directory "/" as a local absolute path.
    const std::string &root() const { return root_; }
    const std::string &user() const { return user_; }
    const std::string &password() const { return password_; }

    // Helpers for files below root(); a relative path with "/" separators, no "..". Whatever
    // they create belongs to the server's account, so the server may replace or delete it.
    // Files made by other means need fixOwnership() before vsftpd may change them.
    bool writeFile(const std::string &relPath, const std::string &content);
    bool makeDir(const std::string &relPath);
    bool setModificationTime(const std::string &relPath, std::time_t when);
    // chmod; with vsftpd (which runs as its own account) a directory of mode 0311 can be entered
    // but not listed. The test process's own root powers ignore modes: pyftpdlib lists it.
    bool setMode(const std::string &relPath, unsigned mode);
    std::optional<std::string> readFile(const std::string &relPath) const;
    bool exists(const std::string &relPath) const;
    // Every entry below root, sorted, directories with a trailing "/": {"a.txt", "www/", ...}.
    std::vector<std::string> listTree() const;
    void fixOwnership() const;

    void stop();
    // Starts a stopped server again over the same files, on a fresh port (port() changes). A
    // server that does not come up adds a test failure and gives false.
    bool restart();
    std::string log() const { return process_.log(); }

private:
    RealFtpServer() = default;
    static std::unique_ptr<RealFtpServer> start(Kind kind, const std::string &host, const std::optional<Tls> &tls,
                                                int maxPerIp = 0);
    bool launch(std::string *error);
    bool prepareVsftpd(std::string *error);
    bool writeVsftpdConfig(std::string *error) const;
    std::string pathOf(const std::string &relPath) const;
    void giveToAccount(const std::string &path) const;

    Kind kind_ = Kind::Pyftpdlib;
    std::optional<Tls> tls_;
    std::string host_ = "127.0.0.1";
    int maxPerIp_ = 0; // vsftpd's max_per_ip; 0: no limit
    std::string baseDir_;
    std::string root_;
    std::string user_;
    std::string password_;
    std::string pamService_;
    quint16 port_ = 0;
    int uid_ = -1;
    int gid_ = -1;
    ServerProcess process_;
};

// Names the kind in GoogleTest output ("vsftpd"), for tests parameterised over server kinds.
void PrintTo(RealFtpServer::Kind kind, std::ostream *out);

} // namespace fernhop::test
