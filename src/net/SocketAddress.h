#pragma once
// TSocketAddress: one IPv4 or IPv6 address with its port, the record the socket calls take, and
// its text forms. Text is always numeric: names are the host lookup's business.
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>

class TSocketAddress {
public:
    TSocketAddress(); // IPv4 0.0.0.0, port 0

    // A numeric address: dotted IPv4 ("10.0.0.1"), or IPv6 text with or without brackets ("::1",
    // "[2001:db8::5]", "fe80::1%eth0"). An IPv4-mapped IPv6 text ("::ffff:10.0.0.1") gives the
    // IPv4 address it carries, so that such a server is spoken to as the IPv4 server it is.
    // Nothing for any other text. The port is 0.
    static std::optional<TSocketAddress> FromText(const std::string &text);
    // The record a socket call filled in (accept, getsockname); an unknown family gives 0.0.0.0.
    static TSocketAddress FromRecord(const sockaddr_storage &record);
    static TSocketAddress Ipv4None(); // 255.255.255.255, the old answer to an invalid text

    int Family() const { return storage_.ss_family; }
    bool IsIpv6() const { return storage_.ss_family == AF_INET6; }
    uint16_t Port() const;
    void SetPort(uint16_t port);

    // "10.0.0.1", "::1", "fe80::1%eth0": the address without its port.
    std::string Text() const;
    // The address without an IPv6 zone, as it goes into an EPRT argument.
    std::string TextWithoutZone() const;

    // The same host: equal addresses, the port left aside. An IPv4-mapped IPv6 address equals
    // the IPv4 address it carries.
    bool SameHost(const TSocketAddress &other) const;

    const sockaddr *Record() const { return reinterpret_cast<const sockaddr *>(&storage_); }
    socklen_t RecordLength() const;

private:
    sockaddr_storage storage_{};
};
