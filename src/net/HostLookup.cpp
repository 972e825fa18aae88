#include "net/HostLookup.h"

#include "net/PostedMessage.h"
#include "net/WinsockErrors.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <thread>

// The worker and the owner meet here; the owner clears `target` under the lock, so a late
// answer is never posted to an object that has gone.
struct HostLookup::Shared {
    mutable std::mutex mutex;
    QObject *target = nullptr;
    std::vector<TSocketAddress> addresses;
};

namespace {
std::mutex fixedMutex;
std::vector<std::pair<std::string, std::vector<std::string>>> fixedAnswers;

bool FixedAnswer(const std::string &name, std::vector<TSocketAddress> &addresses)
{
    std::lock_guard<std::mutex> lock(fixedMutex);
    for (const auto &[fixedName, texts] : fixedAnswers) {
        if (fixedName != name)
            continue;
        for (const std::string &text : texts)
            if (std::optional<TSocketAddress> address = TSocketAddress::FromText(text))
                addresses.push_back(*address);
        return true;
    }
    return false;
}
} // namespace

HostLookup::HostLookup(QObject *target, const std::string &name, uintptr_t handle)
    : shared_(std::make_shared<Shared>())
{
    shared_->target = target;
    std::thread([shared = shared_, name, handle] {
        std::vector<TSocketAddress> addresses;
        uint16_t error = Resolve(name, addresses);
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->addresses = std::move(addresses);
        if (shared->target)
            PostMessageTo(shared->target, kMsgLookupDone, handle, MakeNoticeParam(0, error), handle);
    }).detach();
}

HostLookup::~HostLookup() { Cancel(); }

void HostLookup::Cancel()
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->target = nullptr;
}

std::vector<TSocketAddress> HostLookup::Addresses() const
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->addresses;
}

void HostLookup::SetFixedAnswers(std::vector<std::pair<std::string, std::vector<std::string>>> answers)
{
    std::lock_guard<std::mutex> lock(fixedMutex);
    fixedAnswers = std::move(answers);
}

uint16_t HostLookup::Resolve(const std::string &name, std::vector<TSocketAddress> &addresses)
{
    addresses.clear();
    if (FixedAnswer(name, addresses))
        return addresses.empty() ? WSAHOST_NOT_FOUND : 0;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // No IPv6 addresses for a PC without IPv6 (and no IPv4 ones without IPv4): they cannot work.
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo *found = nullptr;
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    int savedErrno = errno;
    if (rc != 0)
        return WinsockErrorFromResolver(rc, savedErrno);
    for (addrinfo *entry = found; entry; entry = entry->ai_next) {
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) || !entry->ai_addr ||
            entry->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        sockaddr_storage record{};
        std::memcpy(&record, entry->ai_addr, entry->ai_addrlen);
        TSocketAddress address = TSocketAddress::FromRecord(record);
        address.SetPort(0);
        bool known = false;
        for (const TSocketAddress &seen : addresses)
            known = known || (seen.SameHost(address) && seen.Family() == address.Family());
        if (!known)
            addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    return addresses.empty() ? WSANO_DATA : 0;
}
