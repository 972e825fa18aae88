#pragma once
// An asynchronous IPv4 host lookup: getaddrinfo runs on a worker thread and the answer is posted
// back to the target as message 1024 (WParam = handle, LParam high word = Winsock error, the
// address beside the record). Cancelling only stops the posting; the worker finishes on its own.
#include <QObject>

#include <cstdint>
#include <memory>
#include <string>

class HostLookup {
public:
    HostLookup(QObject *target, const std::string &name, uintptr_t handle);
    ~HostLookup(); // cancels
    HostLookup(const HostLookup &) = delete;
    HostLookup &operator=(const HostLookup &) = delete;

    void Cancel();

    // The blocking lookup itself: Winsock error (0 on success) and the first IPv4 address in
    // network byte order.
    static uint16_t Resolve(const std::string &name, uint32_t &address);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};
