#pragma once
// The extra connections of a run: while the session's own connection keeps the listing, the
// check file and the steps whose order matters, files are moved over these as well, one file a
// connection at a time. Each is logged in as the session's own connection is (the session sets
// its server, credentials and TLS or SFTP, and it trusts only the certificate or host key the
// session took). A
// server that refuses one leaves the run on the connections it has; the refusal is logged once.
//
// Use: the session fills setUpClient and trustCertificate; a run calls Open(n) and hands work to
// Free() connections when sessionFree says one is free; End() closes them all.
#include "ftp/FtpRemoteSession.h"
#include "transfer/Workspace.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Connections a run of the current site uses at once (1-16): batch --connections, else the
// site's own number, else the global option.
int ConnectionsForRun(const Workspace &ws);

class TransferPool {
public:
    explicit TransferPool(Workspace &ws);
    ~TransferPool();
    TransferPool(const TransferPool &) = delete;
    TransferPool &operator=(const TransferPool &) = delete;

    // ---- filled by the session ----
    std::function<void(TFtpClient &)> setUpClient;             // server, credentials, TLS, time-outs
    std::function<bool(const TlsPeerInfo &)> trustCertificate; // the certificate the session took
    std::function<bool(const SshHostKey &)> trustHostKey;      // SFTP: the host key the session took
    // SFTP: the key file's passphrase the session was given; none: the key was skipped there.
    std::function<std::optional<std::string>()> keyPassphrase;
    std::function<bool()> usePasv;
    std::function<std::string()> afterLoginCommand; // sent after each login, as on the session's
    // ---- filled by the run ----
    std::function<void()> sessionFree; // a connection came up, or finished its step

    bool Usable() const { return bool(setUpClient); }
    // Opens connections until `extra` are open or opening; refused ones are not asked again
    // until End.
    void Open(int extra);
    FtpRemoteSession *Free();
    int Working() const; // connections with a step whose outcome has not come yet
    int Number(const FtpRemoteSession *session) const; // 2, 3 ... as the log names it
    // A connection that was refused or failed: closed and forgotten.
    void Drop(FtpRemoteSession *session);
    // A connection lost in the middle of the run: closed, and another opened in its place while
    // the run's reconnect tries (option reconnectTries) last.
    void Replace(FtpRemoteSession *session);
    // Stop: every step is cut off at once. Otherwise idle connections say goodbye.
    void End(bool abort);

private:
    struct Slot {
        std::unique_ptr<FtpRemoteSession> session;
        int number = 0;
    };
    void Opened(FtpRemoteSession *session, const RemoteOutcome &outcome);
    void Log(int number, const std::string &text);
    void Bury(std::unique_ptr<FtpRemoteSession> session);

    Workspace &ws_;
    std::vector<Slot> slots_;
    std::vector<std::unique_ptr<FtpRemoteSession>> closed_; // deleted once their events are over
    bool refused_ = false; // a connection was refused: no more are asked for in this run
    int nextNumber_ = 2;
    int wanted_ = 0;       // extra connections the run asked for
    int reopensLeft_ = -1; // connections that may still be opened in place of lost ones; -1: not set yet
    QObject context_;
};
