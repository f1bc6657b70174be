#include "platform/NameResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

#include "platform/TextUtil.h"

namespace orvex {

namespace {

bool SameAddress(const SocketAddress& a, const SocketAddress& b) {
    return a.length == b.length && std::memcmp(&a.storage, &b.storage, a.length) == 0;
}

void AddUnique(std::vector<SocketAddress>& list, const SocketAddress& address) {
    for (const SocketAddress& known : list) {
        if (SameAddress(known, address)) {
            return;
        }
    }
    list.push_back(address);
}

bool IsLocalhostName(const std::string& host) {
    const std::string upper = ToUpperAscii(host);
    return upper == "LOCALHOST" || upper == "LOCALHOST.";
}

}  // namespace

uint16_t SocketAddress::Port() const {
    if (Family() == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage)->sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in*>(&storage)->sin_port);
}

void SocketAddress::SetPort(uint16_t port) {
    if (Family() == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port = htons(port);
    } else {
        reinterpret_cast<sockaddr_in*>(&storage)->sin_port = htons(port);
    }
}

std::string StripBrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

bool ParseNumericAddress(const std::string& text, uint16_t port, SocketAddress* address) {
    SocketAddress parsed;
    auto* in4 = reinterpret_cast<sockaddr_in*>(&parsed.storage);
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&parsed.storage);
    const std::string bare = StripBrackets(text);
    if (bare.size() == text.size() && ::inet_pton(AF_INET, text.c_str(), &in4->sin_addr) == 1) {
        in4->sin_family = AF_INET;
        parsed.length = sizeof(sockaddr_in);
    } else if (::inet_pton(AF_INET6, bare.c_str(), &in6->sin6_addr) == 1) {
        in6->sin6_family = AF_INET6;
        parsed.length = sizeof(sockaddr_in6);
    } else {
        return false;
    }
    parsed.SetPort(port);
    *address = parsed;
    return true;
}

std::vector<SocketAddress> ResolveAll(const std::string& host, uint16_t port, std::string* detail) {
    std::vector<SocketAddress> result;
    std::string ignored;
    std::string& why = detail != nullptr ? *detail : ignored;
    if (host.empty()) {
        why = "no host name";
        return result;
    }
    SocketAddress numeric;
    if (ParseNumericAddress(host, port, &numeric)) {
        result.push_back(numeric);
        return result;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    // One entry per address rather than one per socket type.
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string name = StripBrackets(host);
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
    std::vector<SocketAddress> v4;
    std::vector<SocketAddress> v6;
    if (rc == 0) {
        for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
            if (entry->ai_addr == nullptr || entry->ai_addrlen > sizeof(sockaddr_storage) ||
                (entry->ai_family != AF_INET && entry->ai_family != AF_INET6)) {
                continue;
            }
            SocketAddress address;
            std::memcpy(&address.storage, entry->ai_addr, entry->ai_addrlen);
            address.length = entry->ai_addrlen;
            address.SetPort(port);
            AddUnique(entry->ai_family == AF_INET ? v4 : v6, address);
        }
        ::freeaddrinfo(found);
    }
    if (IsLocalhostName(name)) {
        SocketAddress loopback;
        ParseNumericAddress("127.0.0.1", port, &loopback);
        AddUnique(v4, loopback);
        ParseNumericAddress("::1", port, &loopback);
        AddUnique(v6, loopback);
    }
    result = std::move(v4);
    result.insert(result.end(), v6.begin(), v6.end());
    if (result.empty()) {
        why = "cannot resolve " + host + ": " + (rc != 0 ? ::gai_strerror(rc) : "no address");
    }
    return result;
}

std::string AddressText(const SocketAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* bytes =
        address.Family() == AF_INET6
            ? static_cast<const void*>(
                  &reinterpret_cast<const sockaddr_in6*>(&address.storage)->sin6_addr)
            : static_cast<const void*>(
                  &reinterpret_cast<const sockaddr_in*>(&address.storage)->sin_addr);
    if (::inet_ntop(address.Family(), bytes, text, sizeof text) == nullptr) {
        return "";
    }
    return text;
}

}  // namespace orvex
