#include "platform/HostResolver.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

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

}  // namespace

NameServices SystemNameServices() {
    return NameServices{SystemHostName, SystemResolve, SystemInterfaceAddresses};
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
