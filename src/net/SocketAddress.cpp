#include "net/SocketAddress.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cstring>

namespace {

// The IPv4 address an IPv4-mapped IPv6 address carries, in network byte order.
std::optional<in_addr> MappedIpv4(const sockaddr_in6 &address)
{
    if (!IN6_IS_ADDR_V4MAPPED(&address.sin6_addr))
        return std::nullopt;
    in_addr v4;
    std::memcpy(&v4, address.sin6_addr.s6_addr + 12, sizeof v4);
    return v4;
}

} // namespace

TSocketAddress::TSocketAddress()
{
    auto *v4 = reinterpret_cast<sockaddr_in *>(&storage_);
    v4->sin_family = AF_INET;
}

TSocketAddress TSocketAddress::Ipv4None()
{
    TSocketAddress result;
    reinterpret_cast<sockaddr_in *>(&result.storage_)->sin_addr.s_addr = INADDR_NONE;
    return result;
}

std::optional<TSocketAddress> TSocketAddress::FromText(const std::string &given)
{
    std::string text = given;
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    if (text.empty() || text.find('\0') != std::string::npos)
        return std::nullopt;
    TSocketAddress result;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&result.storage_);
    // inet_pton takes only the full dotted quad: "10.0.0" is a name, not 10.0.0.0.
    if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1)
        return result;
    if (text.find(':') == std::string::npos || text.find_first_of(" \t\r\n") != std::string::npos)
        return std::nullopt;
    // getaddrinfo with a numeric host is no lookup; it also reads a zone ("%eth0").
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(text.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    sockaddr_in6 v6{};
    if (found->ai_family == AF_INET6 && found->ai_addrlen <= sizeof v6)
        std::memcpy(&v6, found->ai_addr, found->ai_addrlen);
    ::freeaddrinfo(found);
    if (v6.sin6_family != AF_INET6)
        return std::nullopt;
    v6.sin6_port = 0;
    if (std::optional<in_addr> mapped = MappedIpv4(v6)) {
        v4->sin_addr = *mapped;
        return result;
    }
    std::memset(&result.storage_, 0, sizeof result.storage_);
    std::memcpy(&result.storage_, &v6, sizeof v6);
    return result;
}

TSocketAddress TSocketAddress::FromRecord(const sockaddr_storage &record)
{
    TSocketAddress result;
    if (record.ss_family == AF_INET)
        std::memcpy(&result.storage_, &record, sizeof(sockaddr_in));
    else if (record.ss_family == AF_INET6)
        std::memcpy(&result.storage_, &record, sizeof(sockaddr_in6));
    return result;
}

uint16_t TSocketAddress::Port() const
{
    if (IsIpv6())
        return ntohs(reinterpret_cast<const sockaddr_in6 *>(&storage_)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in *>(&storage_)->sin_port);
}

void TSocketAddress::SetPort(uint16_t port)
{
    if (IsIpv6())
        reinterpret_cast<sockaddr_in6 *>(&storage_)->sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in *>(&storage_)->sin_port = htons(port);
}

socklen_t TSocketAddress::RecordLength() const
{
    return IsIpv6() ? socklen_t(sizeof(sockaddr_in6)) : socklen_t(sizeof(sockaddr_in));
}

std::string TSocketAddress::Text() const
{
    char text[NI_MAXHOST] = {};
    if (::getnameinfo(Record(), RecordLength(), text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
        return "";
    return text;
}

std::string TSocketAddress::TextWithoutZone() const
{
    const std::string text = Text();
    return text.substr(0, text.find('%'));
}

bool TSocketAddress::SameHost(const TSocketAddress &other) const
{
    // Both sides as IPv4 where they can be, then byte by byte.
    auto asIpv4 = [](const TSocketAddress &a) -> std::optional<in_addr> {
        if (a.Family() == AF_INET)
            return reinterpret_cast<const sockaddr_in *>(&a.storage_)->sin_addr;
        if (a.IsIpv6())
            return MappedIpv4(*reinterpret_cast<const sockaddr_in6 *>(&a.storage_));
        return std::nullopt;
    };
    std::optional<in_addr> mine = asIpv4(*this);
    std::optional<in_addr> theirs = asIpv4(other);
    if (mine || theirs)
        return mine && theirs && mine->s_addr == theirs->s_addr;
    if (!IsIpv6() || !other.IsIpv6())
        return false;
    const auto &a = *reinterpret_cast<const sockaddr_in6 *>(&storage_);
    const auto &b = *reinterpret_cast<const sockaddr_in6 *>(&other.storage_);
    return std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof a.sin6_addr) == 0;
}
