#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvex {

// An IPv4 address as four bytes in network order.
using Ipv4Address = std::array<uint8_t, 4>;

// One global-scope IPv6 address of an interface that is up.
struct Ipv6InterfaceAddress {
    std::string text;         // "2001:db8::5"
    bool temporary = false;   // a privacy address, replaced from time to time
    bool deprecated = false;  // still valid but no longer preferred
};

// The machine's own addresses, found through its host name.
class HostResolver {
public:
    virtual ~HostResolver() = default;

    // The IPv4 addresses of the machine's own name, in resolver order; empty when the name
    // cannot be read or resolved. Safe to call from any thread.
    virtual std::vector<Ipv4Address> OwnAddresses() = 0;
    // The global IPv6 addresses of the machine's interfaces, in interface order.
    virtual std::vector<Ipv6InterfaceAddress> Ipv6Addresses() { return {}; }
};

// The system services the own-name resolution is built from; tests replace them.
struct NameServices {
    // The host name; false when it cannot be read.
    std::function<bool(std::string& name)> hostName;
    // The IPv4 addresses of `name`, in resolver order; false when the name does not resolve.
    std::function<bool(const std::string& name, std::vector<Ipv4Address>& addresses)> resolve;
    // The IPv4 addresses of the interfaces that are up and not loopback, in interface order.
    std::function<std::vector<Ipv4Address>()> interfaceAddresses;
    // The global IPv6 addresses of the interfaces, in interface order.
    std::function<std::vector<Ipv6InterfaceAddress>()> ipv6Addresses;
};

// The services of this machine: gethostname, the shared resolver (IPv4 answers) and getifaddrs.
NameServices SystemNameServices();

// Own-name resolution. Debian maps the host name to 127.0.1.1, which no other machine can
// reach, so when the name resolves to loopback addresses only, the machine's non-loopback
// interface addresses stand in for them (when there are any).
class SystemHostResolver : public HostResolver {
public:
    SystemHostResolver() : services_(SystemNameServices()) {}
    explicit SystemHostResolver(NameServices services) : services_(std::move(services)) {}

    std::vector<Ipv4Address> OwnAddresses() override;
    std::vector<Ipv6InterfaceAddress> Ipv6Addresses() override;

private:
    NameServices services_;
};

bool IsLoopback(const Ipv4Address& address);

// The global addresses in the kernel's table of IPv6 interface addresses (the text of
// /proc/net/if_inet6: address, index, prefix length, scope, flags, name per line); tentative
// and failed addresses are left out.
std::vector<Ipv6InterfaceAddress> ParseIpv6InterfaceTable(const std::string& table);

// The address as dotted decimal, each byte as "%u" ("10.0.0.255").
std::string DottedDecimal(const Ipv4Address& address);

}  // namespace orvex
