#pragma once
// An asynchronous host lookup: getaddrinfo runs on a worker thread and the answer is posted back
// to the target as message 1024 (WParam = handle, LParam high word = Winsock error); the target
// then takes the addresses with Addresses(). Cancelling only stops the posting; the worker
// finishes on its own.
#include "net/SocketAddress.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class HostLookup {
public:
    HostLookup(QObject *target, const std::string &name, uintptr_t handle);
    ~HostLookup(); // cancels
    HostLookup(const HostLookup &) = delete;
    HostLookup &operator=(const HostLookup &) = delete;

    void Cancel();
    // The answer, once the message has come: IPv6 and IPv4 addresses in the resolver's order
    // (the order to try them in), port 0.
    std::vector<TSocketAddress> Addresses() const;

    // The blocking lookup itself: Winsock error (0 on success) and the addresses.
    static uint16_t Resolve(const std::string &name, std::vector<TSocketAddress> &addresses);

    // For tests: names answered with these numeric addresses, in this order, instead of by the
    // resolver (no name here resolves to more than one address). Empty: the resolver answers.
    static void SetFixedAnswers(std::vector<std::pair<std::string, std::vector<std::string>>> answers);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};
