#include "platform/HostResolver.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/NameResolver.h"

namespace orvex {

namespace {

Ipv4Address FromSockaddr(const sockaddr* address) {
    Ipv4Address bytes{};
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    std::memcpy(bytes.data(), &in->sin_addr.s_addr, bytes.size());
    return bytes;
}

bool SystemHostName(std::string& name) {
    char buffer[128] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0) {
        return false;
    }
    name = buffer;
    return true;
}

bool SystemResolve(const std::string& name, std::vector<Ipv4Address>& addresses) {
    const std::vector<SocketAddress> found = ResolveAll(name, 0);
    for (const SocketAddress& address : found) {
        if (address.Family() == AF_INET) {
            addresses.push_back(FromSockaddr(address.Get()));
        }
    }
    return !addresses.empty();
}

std::vector<Ipv4Address> SystemInterfaceAddresses() {
    std::vector<Ipv4Address> addresses;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return addresses;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        Ipv4Address address = FromSockaddr(entry->ifa_addr);
        if (!IsLoopback(address)) {
            addresses.push_back(address);
        }
    }
    ::freeifaddrs(list);
    return addresses;
}

std::vector<Ipv6InterfaceAddress> SystemIpv6Addresses() {
    std::string table;
    std::ifstream in("/proc/net/if_inet6");
    table.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return ParseIpv6InterfaceTable(table);
}

}  // namespace

std::vector<Ipv6InterfaceAddress> ParseIpv6InterfaceTable(const std::string& table) {
    // Address flags of the kernel's table.
    constexpr unsigned kTemporary = 0x01;
    constexpr unsigned kDeprecated = 0x20;
    constexpr unsigned kTentative = 0x40;
    constexpr unsigned kFailed = 0x08;
    std::vector<Ipv6InterfaceAddress> addresses;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string hex, index, prefix, scope, flags, name;
        if (!(fields >> hex >> index >> prefix >> scope >> flags >> name) || hex.size() != 32) {
            continue;
        }
        unsigned long scopeValue = 0;
        unsigned long flagValue = 0;
        try {
            scopeValue = std::stoul(scope, nullptr, 16);
            flagValue = std::stoul(flags, nullptr, 16);
        } catch (const std::exception&) {
            continue;
        }
        if (scopeValue != 0 || (flagValue & (kTentative | kFailed)) != 0) {
            continue;
        }
        in6_addr bytes{};
        bool valid = true;
        for (size_t i = 0; i < 16 && valid; ++i) {
            const std::string pair = hex.substr(2 * i, 2);
            valid = std::isxdigit(static_cast<unsigned char>(pair[0])) &&
                    std::isxdigit(static_cast<unsigned char>(pair[1]));
            bytes.s6_addr[i] = valid ? static_cast<uint8_t>(std::stoul(pair, nullptr, 16)) : 0;
        }
        char text[INET6_ADDRSTRLEN] = {};
        if (!valid || ::inet_ntop(AF_INET6, &bytes, text, sizeof text) == nullptr) {
            continue;
        }
        addresses.push_back({text, (flagValue & kTemporary) != 0, (flagValue & kDeprecated) != 0});
    }
    return addresses;
}

NameServices SystemNameServices() {
    return NameServices{SystemHostName, SystemResolve, SystemInterfaceAddresses,
                        SystemIpv6Addresses};
}

std::vector<Ipv6InterfaceAddress> SystemHostResolver::Ipv6Addresses() {
    return services_.ipv6Addresses ? services_.ipv6Addresses()
                                   : std::vector<Ipv6InterfaceAddress>{};
}

std::vector<Ipv4Address> SystemHostResolver::OwnAddresses() {
    std::string name;
    if (!services_.hostName || !services_.hostName(name)) {
        return {};
    }
    std::vector<Ipv4Address> addresses;
    if (!services_.resolve || !services_.resolve(name, addresses)) {
        return {};
    }
    bool loopbackOnly = !addresses.empty();
    for (const Ipv4Address& address : addresses) {
        loopbackOnly = loopbackOnly && IsLoopback(address);
    }
    if (loopbackOnly && services_.interfaceAddresses) {
        std::vector<Ipv4Address> real = services_.interfaceAddresses();
        if (!real.empty()) {
            return real;
        }
    }
    return addresses;
}

bool IsLoopback(const Ipv4Address& address) {
    return address[0] == 127;
}

std::string DottedDecimal(const Ipv4Address& address) {
    std::string text;
    for (size_t i = 0; i < address.size(); ++i) {
        if (i > 0) {
            text += '.';
        }
        text += std::to_string(static_cast<unsigned>(address[i]));
    }
    return text;
}

}  // namespace orvex
