#pragma once
// The FTP client behind the remote-session interface: a thin adapter that owns one TFtpClient,
// holds the callback of the operation running on it and turns the client's completion events
// into that callback. The owner sets the client's server, credentials and TLS properties (as it
// sets them on its own connection) before Open.
#include "ftp/Ftp.h"
#include "ftp/RemoteSession.h"

#include <QTimer>

class FtpRemoteSession : public RemoteSession {
public:
    FtpRemoteSession();
    ~FtpRemoteSession() override;
    FtpRemoteSession(const FtpRemoteSession &) = delete;
    FtpRemoteSession &operator=(const FtpRemoteSession &) = delete;

    TFtpClient &Client() { return client_; }
    const TFtpClient &Client() const { return client_; }

    // Passive data connections (the site's choice); active ones otherwise.
    bool passive = true;
    // Seconds Open waits for the login before the attempt counts as failed; 0 waits for ever.
    int openTimeOutSeconds = 0;
    // Every line of the conversation, as the client reports it (fiCommandSent, fiReplyText...).
    std::function<void(FtpInfo info, const std::string &text)> onInfo;
    // An error the client reported, with its code.
    std::function<void(FtpError error)> onError;
    // The server's certificate: true goes on with the login. Without it the login is refused
    // unless the CA store trusts the certificate.
    std::function<bool(const TlsPeerInfo &peer)> onCertificate;
    // SFTP: a host key no known_hosts entry names; true goes on with the login. Without it the
    // key is refused.
    std::function<bool(const SshHostKey &key)> onSshHostKey;

    void Open(Done done) override;
    bool Ready() const override { return loggedIn_ && !client_.Busy() && !running_; }
    bool Alive() const override { return loggedIn_ && client_.Connected(); }
    // An operation was started and its callback has not come yet.
    bool Running() const { return running_; }

    void List(const std::string &directory, Listed done) override;
    void Store(const RemoteStore &what, Done done) override;
    void Retrieve(const RemoteRetrieve &what, Done done) override;
    void Delete(const std::string &path, Done done) override;
    void MakeDirectory(const std::string &path, Done done) override;
    void RemoveDirectory(const std::string &path, Done done) override;
    void SetTime(const std::string &path, TDateTime utc, Done done) override;
    void SiteCommand(const std::string &text, Done done) override;
    // A command line as given (a site's after-login command); never one with a line break.
    void RawCommand(const std::string &line, Done done);

    // The owner no longer wants to hear of the running operation (it is closing the session).
    void ForgetCallbacks()
    {
        done_ = nullptr;
        listed_ = nullptr;
        running_ = false;
        opening_ = false;
    }

    int64_t BytesMoved() const override { return client_.BytesTransferred(); }
    void Abort() override;
    void Close() override;

private:
    void Begin(Done done);
    void Finish(TFtpClient *sender);
    void Ended();
    RemoteOutcome OutcomeOf(const TFtpClient &sender) const;

    TFtpClient client_;
    Done done_;
    Listed listed_;
    bool running_ = false;
    bool opening_ = false;
    bool loggedIn_ = false;
    std::string listDirectory_; // the listing's CWD is out; the listing follows
    std::string refusal_;       // the server's last 4xx/5xx since the last command
    FtpError error_ = feNone;   // the running operation's error, reported by the client
    QTimer openTimer_;
};
