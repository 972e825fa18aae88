#include "net/HostLookup.h"

#include "net/PostedMessage.h"
#include "net/WinsockErrors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <thread>

// The worker and the owner meet here; the owner clears `target` under the lock, so a late
// answer is never posted to an object that has gone.
struct HostLookup::Shared {
    std::mutex mutex;
    QObject *target = nullptr;
};

HostLookup::HostLookup(QObject *target, const std::string &name, uintptr_t handle)
    : shared_(std::make_shared<Shared>())
{
    shared_->target = target;
    std::thread([shared = shared_, name, handle] {
        uint32_t address = 0;
        uint16_t error = Resolve(name, address);
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->target)
            PostMessageTo(shared->target, kMsgLookupDone, handle, MakeNoticeParam(0, error), handle,
                          address);
    }).detach();
}

HostLookup::~HostLookup() { Cancel(); }

void HostLookup::Cancel()
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->target = nullptr;
}

uint16_t HostLookup::Resolve(const std::string &name, uint32_t &address)
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    int savedErrno = errno;
    if (rc != 0)
        return WinsockErrorFromResolver(rc, savedErrno);
    uint16_t error = WSANO_DATA;
    for (addrinfo *entry = found; entry; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addr) {
            address = reinterpret_cast<sockaddr_in *>(entry->ai_addr)->sin_addr.s_addr;
            error = 0;
            break;
        }
    }
    ::freeaddrinfo(found);
    return error;
}
