#include "ftp/FtpRemoteSession.h"

#include "base/Text.h"
#include "ftp/FtpReplyFields.h"

FtpRemoteSession::FtpRemoteSession()
{
    TFtpClient &c = client_;
    auto finish = [this](TFtpClient *s) { Finish(s); };
    c.OnFileStored = finish;
    c.OnFileReceived = finish;
    c.OnFileDeleted = finish;
    c.OnDirectoryDeleted = finish;
    c.OnDirectoryCreated = finish;
    c.OnCommandIssued = finish;
    c.OnListingDone = finish;
    c.OnDirectoryChanged = [this](TFtpClient *s) {
        if (listDirectory_.empty() || !s->Success() || !s->Connected()) {
            Finish(s);
            return;
        }
        listDirectory_.clear();
        if (passive)
            client_.GetListingPasv();
        else
            client_.GetListing();
    };
    c.OnLoggedIn = [this](TFtpClient *s) {
        openTimer_.stop();
        opening_ = false;
        loggedIn_ = s->Success() && s->Connected();
        Done done = std::move(done_);
        done_ = nullptr;
        RemoteOutcome outcome;
        outcome.ok = loggedIn_;
        outcome.sessionLost = !loggedIn_;
        outcome.reason = loggedIn_ ? std::string() : (refusal_.empty() ? "the login failed" : refusal_);
        if (done)
            done(outcome);
    };
    c.OnFtpInfo = [this](TFtpClient *, FtpInfo info, const std::string &text) {
        if (info == fiCommandSent)
            refusal_.clear();
        else if (info == fiReplyText && !text.empty() && (text[0] == '4' || text[0] == '5'))
            refusal_ = text.substr(0, text.find("\r\n"));
        if (onInfo)
            onInfo(info, text);
    };
    c.OnFtpError = [this](TFtpClient *, FtpError error, const std::string &) {
        if (running_ || opening_)
            error_ = error;
        if (onError)
            onError(error);
    };
    c.OnFtpNeedInfo = [](TFtpClient *s, TFtpInfoNeeded, std::string &) {
        // Nobody is asked on a second connection: it logs in with what the first one used.
        s->AbandonLogin();
    };
    c.OnFtpCertificate = [this](TFtpClient *, const TlsPeerInfo &peer) {
        return onCertificate ? onCertificate(peer) : peer.verified;
    };
    c.OnSshHostKey = [this](TFtpClient *, const SshHostKey &key) { return onSshHostKey && onSshHostKey(key); };
    c.OnFtpQuit = [this](TFtpClient *) { Ended(); };
    openTimer_.setSingleShot(true);
    QObject::connect(&openTimer_, &QTimer::timeout, &openTimer_, [this] {
        if (opening_)
            client_.Disconnect(feConnectionTimeout);
    });
}

FtpRemoteSession::~FtpRemoteSession()
{
    client_.OnFtpQuit = nullptr;
    client_.Reset();
}

void FtpRemoteSession::Open(Done done)
{
    opening_ = true;
    loggedIn_ = false;
    error_ = feNone;
    done_ = std::move(done);
    if (openTimeOutSeconds > 0)
        openTimer_.start(openTimeOutSeconds * 1000);
    client_.Connect();
}

void FtpRemoteSession::Begin(Done done)
{
    running_ = true;
    error_ = feNone;
    done_ = std::move(done);
    listed_ = nullptr;
}

void FtpRemoteSession::List(const std::string &directory, Listed done)
{
    Begin(nullptr);
    listed_ = std::move(done);
    listDirectory_ = directory.empty() ? std::string("/") : directory;
    client_.ChangeDirectory(listDirectory_);
}

void FtpRemoteSession::Store(const RemoteStore &what, Done done)
{
    Begin(std::move(done));
    client_.LocalFile = what.localPath;
    client_.RemoteFile = what.remotePath;
    client_.TransferMode = what.ascii ? AsciiTransfer : BinaryTransfer;
    client_.UploadFileTime = what.fileTime;
    if (passive)
        client_.PutFilePasv();
    else
        client_.PutFile();
}

void FtpRemoteSession::Retrieve(const RemoteRetrieve &what, Done done)
{
    Begin(std::move(done));
    client_.LocalFile = what.localPath;
    client_.RemoteFile = what.remotePath;
    client_.TransferMode = what.ascii ? AsciiTransfer : BinaryTransfer;
    if (passive)
        client_.GetFilePasv();
    else
        client_.GetFile();
}

void FtpRemoteSession::Delete(const std::string &path, Done done)
{
    Begin(std::move(done));
    client_.DeleteFile(path);
}

void FtpRemoteSession::MakeDirectory(const std::string &path, Done done)
{
    Begin(std::move(done));
    client_.MakeDirectory(path);
}

void FtpRemoteSession::RemoveDirectory(const std::string &path, Done done)
{
    Begin(std::move(done));
    client_.RemoveDirectory(path);
}

void FtpRemoteSession::SetTime(const std::string &path, TDateTime utc, Done done)
{
    RawCommand("MFMT " + FactTimeText(utc) + " " + path, std::move(done));
}

void FtpRemoteSession::SiteCommand(const std::string &text, Done done)
{
    RawCommand("SITE " + text, std::move(done));
}

void FtpRemoteSession::RawCommand(const std::string &line, Done done)
{
    if (!SendableName(line)) {
        RemoteOutcome refused;
        refused.reason = "the command cannot be sent to the server";
        if (done)
            done(refused);
        return;
    }
    Begin(std::move(done));
    client_.SendCommand(line);
}

void FtpRemoteSession::Abort()
{
    if (running_)
        client_.Abort();
}

void FtpRemoteSession::Close()
{
    openTimer_.stop();
    if (client_.Connected() || opening_)
        client_.Disconnect(feNone);
}

RemoteOutcome FtpRemoteSession::OutcomeOf(const TFtpClient &sender) const
{
    RemoteOutcome outcome;
    outcome.ok = sender.Success();
    outcome.sessionLost = !sender.Connected() || sender.Closing();
    if (outcome.ok)
        return outcome;
    // A local file that could not be read or written is no session's fault.
    switch (error_) {
    case feFileOpen:
    case feLocalFileOpen: outcome.reason = "could not open the local file"; break;
    case feFileRead: outcome.reason = "could not read the local file"; break;
    case feFileWrite: outcome.reason = "could not write the local file"; break;
    default:
        outcome.reason = !refusal_.empty() ? refusal_
                         : outcome.sessionLost ? std::string("the connection to the server was lost")
                                               : std::string("the server refused it");
        outcome.mayRetry = !outcome.sessionLost && refusal_.empty();
    }
    return outcome;
}

void FtpRemoteSession::Finish(TFtpClient *sender)
{
    if (!running_)
        return;
    running_ = false;
    listDirectory_.clear();
    const RemoteOutcome outcome = OutcomeOf(*sender);
    Done done = std::move(done_);
    Listed listed = std::move(listed_);
    done_ = nullptr;
    listed_ = nullptr;
    if (listed)
        listed(outcome, outcome.ok ? sender->Listing() : std::vector<std::string>(), sender->ListedWithMlsd());
    else if (done)
        done(outcome);
}

void FtpRemoteSession::Ended()
{
    openTimer_.stop();
    const bool wasOpening = opening_;
    opening_ = false;
    loggedIn_ = false;
    client_.Reset();
    RemoteOutcome lost;
    lost.sessionLost = true;
    if (wasOpening && error_ == feTlsFailed)
        lost.reason = "the secure (TLS) connection could not be set up, or its certificate was not the one trusted";
    else if (wasOpening && !refusal_.empty())
        lost.reason = refusal_;
    else if (wasOpening && error_ == feConnectionTimeout)
        lost.reason = "no answer to the connection";
    else
        lost.reason = "the connection to the server was lost";
    Done done = std::move(done_);
    Listed listed = std::move(listed_);
    done_ = nullptr;
    listed_ = nullptr;
    const bool wasRunning = running_ || wasOpening;
    running_ = false;
    if (!wasRunning)
        return;
    if (listed)
        listed(lost, {}, false);
    else if (done)
        done(lost);
}
