// TAsyncSocket: the peer. The host text (a numeric address, or a name to look up), the lookup,
// and the connect that tries each address a name gave in turn, on a handle of its family,
// keeping the most telling failure for the end.
#include "net/AsyncSocket.h"

#include "net/HostLookup.h"
#include "net/WinsockErrors.h"

#include <cerrno>
#include <sys/socket.h>

// ---- peer and address record ---------------------------------------------------------------

void TAsyncSocket::SetHost(const std::string &text)
{
    host_ = text;
    if (text.empty())
        return;
    // Only a real numeric address skips the lookup: names such as "123-reg.example.net" start
    // with a digit too and must be looked up, not connected to as 255.255.255.255.
    if (std::optional<TSocketAddress> numeric = TSocketAddress::FromText(text)) {
        Address = numeric->Text();
        HostName.clear();
    } else {
        HostName = text;
        Address.clear();
    }
}

void TAsyncSocket::SetAddress(const std::string &numeric)
{
    const uint16_t port = addressRecord_.Port();
    addressRecord_ = TSocketAddress::FromText(numeric).value_or(TSocketAddress::Ipv4None());
    addressRecord_.SetPort(port);
    nextAddresses_.clear();
}

void TAsyncSocket::SetPort(uint16_t port) { addressRecord_.SetPort(port); }

void TAsyncSocket::UseResolvedAddress()
{
    if (resolved_.empty())
        return;
    const uint16_t port = addressRecord_.Port();
    addressRecord_ = resolved_.front();
    addressRecord_.SetPort(port);
    nextAddresses_.assign(resolved_.begin() + 1, resolved_.end());
}

std::string TAsyncSocket::GetAddressString() const { return addressRecord_.Text(); }

// ---- connect ----------------------------------------------------------------------------------

// The handle was made before the address was known (the owner creates the socket, then looks the
// host up), or a failed attempt left none: one of the address's family takes its place. False
// with LastError when none can be made.
bool TAsyncSocket::MatchAddressFamily()
{
    if (socket_ >= 0 && socketFamily_ == addressRecord_.Family())
        return true;
    if (socket_ >= 0 && phase_ != Phase::created) {
        lastError_ = WSAEAFNOSUPPORT;
        return false;
    }
    ReleaseHandle();
    CreateSocket();
    return lastError_ == 0;
}

void TAsyncSocket::ResolveHost(const std::string &name)
{
    if (lookupHandle_ != 0)
        return;
    lookupHandle_ = ++lastLookupHandle_;
    lookup_ = std::make_unique<HostLookup>(this, name, uintptr_t(lookupHandle_));
    lastError_ = 0;
    StartTimeOut(TimeOutArp);
}

void TAsyncSocket::ConnectSocket()
{
    if (socket_ < 0) {
        lastError_ = WSAENOTSOCK;
        return;
    }
    telling_ = 0;
    while (!MatchAddressFamily()) {
        if (nextAddresses_.empty())
            return;
        NoteFailure(lastError_);
        TakeNextAddress();
    }
    BeginConnect();
}

void TAsyncSocket::BeginConnect()
{
    selectMask_ = fdRead | fdWrite | fdConnect | fdClose;
    int rc = ::connect(socket_, addressRecord_.Record(), addressRecord_.RecordLength());
    int err = rc == 0 ? 0 : errno;
    // Like Winsock's WSAEWOULDBLOCK, "in progress" is the normal case: the outcome comes as the
    // connect notice, which is the first writable readiness of the socket.
    uint16_t error = err == EINPROGRESS ? 0 : WinsockErrorFromErrno(err);
    phase_ = Phase::connecting;
    if (error != 0 && !nextAddresses_.empty()) {
        // Another address follows: this failure comes as the connect notice, as a late one would.
        lastError_ = 0;
        PostNotice(fdConnect, error);
        return;
    }
    lastError_ = error;
    if (lastError_ != 0) {
        phase_ = Phase::created;
        return;
    }
    WatchWritable(true);
    StartTimeOut(nextAddresses_.empty() || TimeOutConnect > 0 ? TimeOutConnect : kNextAddressSeconds);
}

namespace {
// An address this PC cannot use at all (no route, no such family, a link-local address without
// its interface) says less than an answer from the server's side.
bool SaysLittle(uint16_t error)
{
    return error == WSAENETUNREACH || error == WSAEAFNOSUPPORT || error == WSAEADDRNOTAVAIL || error == WSAENETDOWN ||
           error == WSAEINVAL;
}
} // namespace

// Keeps the most telling failure of this connect's attempts (the last, unless it says less).
uint16_t TAsyncSocket::NoteFailure(uint16_t error)
{
    if (telling_ == 0 || !SaysLittle(error))
        telling_ = error;
    return telling_;
}

void TAsyncSocket::TakeNextAddress()
{
    const uint16_t port = addressRecord_.Port();
    addressRecord_ = nextAddresses_.front();
    addressRecord_.SetPort(port);
    nextAddresses_.erase(nextAddresses_.begin());
}

// A connect failed (refused, unreachable, timed out) with addresses left: the next one, on a
// handle of its family. The owner hears of the new attempt; a failure of the last one comes as
// the connect notice with the most telling error of all the attempts.
void TAsyncSocket::TryNextAddress(uint16_t failure)
{
    NoteFailure(failure);
    KillTimeOut();
    ReleaseHandle();
    do {
        TakeNextAddress();
        if (MatchAddressFamily())
            break;
        NoteFailure(lastError_);
    } while (!nextAddresses_.empty());
    if (socket_ < 0) {
        lastError_ = telling_; // no address left that this PC can even make a socket for
        Raise(OnConnected);
        return;
    }
    const uint64_t generation = generation_;
    BeginConnect();
    const uint16_t now = lastError_;
    lastError_ = failure;
    Raise(OnNextAddress);
    if (now != 0 && generation == generation_) {
        lastError_ = NoteFailure(now); // the last address failed at once
        Raise(OnConnected);
    }
}
