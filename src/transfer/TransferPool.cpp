#include "transfer/TransferPool.h"

#include <QTimer>

#include <algorithm>

namespace {
constexpr int kMostConnections = 16;
} // namespace

int ConnectionsForRun(const Workspace &ws)
{
    int count = ws.run.connectionsGiven;
    if (count <= 0)
        count = ws.Site().Connections();
    if (count <= 0)
        count = ws.options.connections;
    return std::clamp(count, 1, kMostConnections);
}

TransferPool::TransferPool(Workspace &ws) : ws_(ws) {}

TransferPool::~TransferPool()
{
    End(true);
}

void TransferPool::Open(int extra)
{
    if (!Usable() || refused_)
        return;
    wanted_ = std::max(wanted_, extra);
    if (reopensLeft_ < 0)
        reopensLeft_ = std::max(0, ws_.options.reconnectTries);
    while (int(slots_.size()) < extra) {
        Slot slot;
        slot.session = std::make_unique<FtpRemoteSession>();
        slot.number = nextNumber_++;
        FtpRemoteSession *session = slot.session.get();
        TFtpClient &client = session->Client();
        setUpClient(client);
        if (ws_.FtpClient1.LoggedIn())
            client.TakeServerAnswers(ws_.FtpClient1);
        session->passive = usePasv ? usePasv() : true;
        session->openTimeOutSeconds = std::max(0, ws_.options.connectTimeOut);
        const int number = slot.number;
        session->onInfo = [this, number](FtpInfo info, const std::string &text) {
            if (info != fiCommandSent && info != fiReplyText && info != fiSecurity)
                return;
            for (size_t start = 0; start < text.size();) {
                const size_t end = std::min(text.find("\r\n", start), text.size());
                Log(number, text.substr(start, end - start));
                start = end + 2;
            }
        };
        session->onCertificate = [this](const TlsPeerInfo &peer) {
            return trustCertificate ? trustCertificate(peer) : peer.verified;
        };
        // Never asked about again: exactly the host key the session's own connection took.
        session->onSshHostKey = [this](const SshHostKey &key) { return trustHostKey && trustHostKey(key); };
        // Nobody is asked on a second connection: a key file's passphrase is the one the session's
        // own connection was given (none: the key is skipped, as it was there); anything else
        // ends this login.
        client.OnFtpNeedInfo = [this](TFtpClient *s, TFtpInfoNeeded need, std::string &value) {
            if (need != needPassphrase) {
                s->AbandonLogin();
                return;
            }
            if (std::optional<std::string> known = keyPassphrase ? keyPassphrase() : std::nullopt)
                value = *known;
        };
        slots_.push_back(std::move(slot));
        session->Open([this, session](const RemoteOutcome &outcome) { Opened(session, outcome); });
    }
}

void TransferPool::Opened(FtpRemoteSession *session, const RemoteOutcome &outcome)
{
    if (outcome.ok) {
        // Whatever the site's after-login command does (a umask, say) holds here too; its answer
        // does not decide, as it does not on the session's own connection.
        const std::string command = afterLoginCommand ? afterLoginCommand() : std::string();
        auto free = [this](const RemoteOutcome &) {
            if (sessionFree)
                sessionFree();
        };
        if (command.empty())
            free({});
        else
            session->RawCommand(command, free);
        return;
    }
    // 421 "too many connections", 530, a refused or timed-out connect: the run goes on with the
    // connections it has; nothing is failed for it.
    if (!refused_) {
        refused_ = true;
        ws_.LogLine("FERNHOP: the server did not take another connection (" + outcome.reason +
                    "); the run goes on with the connections it has");
    }
    Drop(session);
}

FtpRemoteSession *TransferPool::Free()
{
    for (Slot &slot : slots_)
        if (slot.session->Ready())
            return slot.session.get();
    return nullptr;
}

int TransferPool::Working() const
{
    return int(std::count_if(slots_.begin(), slots_.end(),
                             [](const Slot &slot) { return slot.session->Running(); }));
}

int TransferPool::Number(const FtpRemoteSession *session) const
{
    for (const Slot &slot : slots_)
        if (slot.session.get() == session)
            return slot.number;
    return 0;
}

void TransferPool::Drop(FtpRemoteSession *session)
{
    auto it = std::find_if(slots_.begin(), slots_.end(), [session](const Slot &slot) { return slot.session.get() == session; });
    if (it == slots_.end())
        return;
    std::unique_ptr<FtpRemoteSession> gone = std::move(it->session);
    slots_.erase(it);
    gone->onInfo = nullptr;
    gone->ForgetCallbacks();
    gone->Close();
    Bury(std::move(gone));
}

void TransferPool::Replace(FtpRemoteSession *session)
{
    Drop(session);
    if (reopensLeft_ <= 0)
        return;
    --reopensLeft_;
    Open(wanted_);
}

void TransferPool::End(bool abort)
{
    std::vector<Slot> ending = std::move(slots_);
    slots_.clear();
    for (Slot &slot : ending) {
        FtpRemoteSession &session = *slot.session;
        const bool idle = session.Ready();
        session.ForgetCallbacks();
        if (!abort && idle)
            session.Client().Quit();
        else
            session.Close();
        Bury(std::move(slot.session));
    }
    refused_ = false;
    nextNumber_ = 2;
    wanted_ = 0;
    reopensLeft_ = -1;
}

void TransferPool::Log(int number, const std::string &text)
{
    // The log hides a credential by the line's start, which the prefix moves.
    std::string line = text;
    if (line.rfind("PASS", 0) == 0)
        line = "PASS *****";
    else if (line.rfind("ACCT", 0) == 0)
        line = "ACCT *****";
    ws_.LogLine("[" + std::to_string(number) + "] " + line);
}

void TransferPool::Bury(std::unique_ptr<FtpRemoteSession> session)
{
    // Its callbacks may be on the stack: deleted from the event loop, after a QUIT's reply.
    closed_.push_back(std::move(session));
    QTimer::singleShot(2000, &context_, [this] {
        if (!closed_.empty())
            closed_.erase(closed_.begin());
    });
}
