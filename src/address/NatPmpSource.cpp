// The router's WAN address through NAT-PMP's external address request, and through a PCP MAP
// request where the router speaks only PCP (PCP has no request for the address alone: a short
// mapping is asked for, its assigned external address read, and the mapping deleted again).
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "address/DatagramLink.h"
#include "address/WanSources.h"
#include "platform/FailureSentence.h"
#include "platform/NameResolver.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace {

constexpr uint16_t kNatPmpPort = 5351;
constexpr uint8_t kNatPmpVersion = 0;
constexpr uint8_t kPcpVersion = 2;
constexpr uint8_t kReplyBit = 0x80;
constexpr uint8_t kPcpMap = 1;
constexpr uint8_t kUdp = 17;
constexpr int kFirstRetryMs = 250;
// How long the mapping asked for only to learn the address may live.
constexpr uint32_t kProbeLifetime = 30;

using Bytes = std::vector<uint8_t>;

std::string NatPmpResultWords(unsigned result) {
    switch (result) {
        case 1:
            return "unsupported version";
        case 2:
            return "not authorized";
        case 3:
            return "network failure: the router has no WAN address yet";
        case 4:
            return "out of resources";
        case 5:
            return "unsupported request";
        default:
            return "result " + std::to_string(result);
    }
}

std::string PcpResultWords(unsigned result) {
    static const char* const kWords[] = {
        "success",
        "unsupported version",
        "not authorized",
        "malformed request",
        "unsupported request",
        "unsupported option",
        "malformed option",
        "network failure",
        "no resources",
        "unsupported protocol",
        "user quota exceeded",
        "cannot provide an external address",
        "address mismatch (a NAT between this machine and the router)",
        "too many remote peers"};
    if (result < sizeof kWords / sizeof kWords[0]) {
        return kWords[result];
    }
    return "result " + std::to_string(result);
}

void Put32(Bytes& out, size_t at, uint32_t value) {
    out[at] = static_cast<uint8_t>(value >> 24);
    out[at + 1] = static_cast<uint8_t>(value >> 16);
    out[at + 2] = static_cast<uint8_t>(value >> 8);
    out[at + 3] = static_cast<uint8_t>(value);
}

// A 16-byte PCP address field: IPv4 addresses in their IPv4-mapped form.
void PutAddress(Bytes& out, size_t at, const SocketAddress& address) {
    if (address.Family() == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address.Get());
        std::memcpy(out.data() + at, in6->sin6_addr.s6_addr, 16);
        return;
    }
    out[at + 10] = 0xFF;
    out[at + 11] = 0xFF;
    if (address.Family() == AF_INET) {
        const auto* in4 = reinterpret_cast<const sockaddr_in*>(address.Get());
        std::memcpy(out.data() + at + 12, &in4->sin_addr, 4);
    }
}

std::string AddressField(const Bytes& in, size_t at) {
    char text[INET6_ADDRSTRLEN] = {};
    static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(in.data() + at, kMapped, sizeof kMapped) == 0) {
        ::inet_ntop(AF_INET, in.data() + at + 12, text, sizeof text);
    } else {
        ::inet_ntop(AF_INET6, in.data() + at, text, sizeof text);
    }
    return text;
}

Bytes PcpMapRequest(const SocketAddress& local, const uint8_t* nonce, uint32_t lifetime) {
    Bytes request(60, 0);
    request[0] = kPcpVersion;
    request[1] = kPcpMap;
    Put32(request, 4, lifetime);
    PutAddress(request, 8, local);
    std::memcpy(request.data() + 24, nonce, 12);
    request[36] = kUdp;
    const uint16_t port = local.Port();
    request[40] = static_cast<uint8_t>(port >> 8);
    request[41] = static_cast<uint8_t>(port);
    // No preferred external port; no preferred external address (::ffff:0.0.0.0 for IPv4).
    if (local.Family() == AF_INET) {
        request[54] = 0xFF;
        request[55] = 0xFF;
    }
    return request;
}

class NatPmpSource : public WanAddressSource {
public:
    explicit NatPmpSource(std::string gateway) : gateway_(std::move(gateway)) {}
    std::string Name() const override { return kSourceNatPmp; }
    bool IsRouter() const override { return true; }

    SourceAnswer Ask(IpFamily, long boundMs) override {
        SocketAddress router;
        std::string problem;
        if (!RouterAddress(&router, &problem)) {
            return {"", problem};
        }
        const std::string where = ServerAndPort(AddressText(router), router.Port());
        const int boundSeconds = static_cast<int>((boundMs + 999) / 1000);
        const Deadline deadline(boundMs);
        DatagramLink link;
        if (!link.Open(router, &problem)) {
            return {"", "cannot reach " + where + ": " + problem};
        }
        // A NAT-PMP answer to the address request, or any PCP answer (a PCP-only router
        // answers the version 0 request with "unsupported version").
        const DatagramLink::Result natPmp = link.Exchange(
            {kNatPmpVersion, 0},
            [](const Bytes& in) {
                return in.size() >= 4 &&
                       ((in[0] == kNatPmpVersion && in[1] == kReplyBit) || in[0] != 0);
            },
            deadline, kFirstRetryMs);
        if (natPmp.outcome != DatagramLink::Outcome::kAnswer) {
            return {"", DatagramFailureWords(natPmp, where, boundSeconds)};
        }
        const Bytes& in = natPmp.answer;
        const unsigned result = in[0] == kNatPmpVersion ? (in[2] << 8 | in[3]) : 1;
        if (in[0] == kNatPmpVersion && result == 0) {
            if (in.size() < 12) {
                return {"", where + " answered with a short NAT-PMP message"};
            }
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, in.data() + 8, text, sizeof text);
            return {text, ""};
        }
        if (result != 1) {
            return {"",
                    where + " refused the NAT-PMP address request: " + NatPmpResultWords(result)};
        }
        return AskPcp(link, where, deadline, boundSeconds);
    }

private:
    bool RouterAddress(SocketAddress* router, std::string* problem) const {
        if (!gateway_.empty()) {
            std::string host = gateway_;
            uint16_t port = kNatPmpPort;
            const size_t colon = host.rfind(':');
            const bool bracketed = !host.empty() && host[0] == '[';
            // "a.b.c.d:port" or "[v6]:port"; a bare IPv6 address has no port.
            if (colon != std::string::npos &&
                (bracketed ? host[colon - 1] == ']' : host.find(':') == colon)) {
                const int number = AsciiToInt(host.substr(colon + 1));
                if (number <= 0 || number > 65535) {
                    *problem = "NATPMPGateway \"" + gateway_ + "\" has no usable port";
                    return false;
                }
                port = static_cast<uint16_t>(number);
                host = host.substr(0, colon);
            }
            if (!ParseNumericAddress(host, port, router)) {
                *problem = "NATPMPGateway \"" + gateway_ +
                           "\" is no address (\"192.168.1.1\" or \"192.168.1.1:5351\")";
                return false;
            }
            return true;
        }
        std::ifstream routes("/proc/net/route");
        std::string line;
        std::getline(routes, line);
        while (std::getline(routes, line)) {
            std::istringstream fields(line);
            std::string name, destination, gateway, flags;
            if (!(fields >> name >> destination >> gateway >> flags) || destination != "00000000") {
                continue;
            }
            // The kernel writes the address's bytes as one number in the machine's order.
            const uint32_t raw = static_cast<uint32_t>(std::stoul(gateway, nullptr, 16));
            sockaddr_in in{};
            in.sin_family = AF_INET;
            in.sin_port = htons(kNatPmpPort);
            in.sin_addr.s_addr = raw;
            std::memcpy(&router->storage, &in, sizeof in);
            router->length = sizeof in;
            if (raw != 0) {
                return true;
            }
        }
        *problem = "this machine has no default gateway to ask (set NATPMPGateway)";
        return false;
    }

    SourceAnswer AskPcp(DatagramLink& link, const std::string& where, const Deadline& deadline,
                        int boundSeconds) {
        const SocketAddress local = link.Local();
        uint8_t nonce[12];
        std::random_device random;
        for (uint8_t& byte : nonce) {
            byte = static_cast<uint8_t>(random());
        }
        auto isMapAnswer = [&nonce](const Bytes& in) {
            return in.size() >= 4 && in[0] == kPcpVersion && in[1] == (kReplyBit | kPcpMap) &&
                   (in.size() < 60 || std::memcmp(in.data() + 24, nonce, 12) == 0);
        };
        const DatagramLink::Result pcp = link.Exchange(PcpMapRequest(local, nonce, kProbeLifetime),
                                                       isMapAnswer, deadline, kFirstRetryMs);
        if (pcp.outcome != DatagramLink::Outcome::kAnswer) {
            return {"", "PCP: " + DatagramFailureWords(pcp, where, boundSeconds)};
        }
        const Bytes& in = pcp.answer;
        if (in[3] != 0) {
            return {"", where + " refused the PCP request: " + PcpResultWords(in[3])};
        }
        if (in.size() < 60) {
            return {"", where + " answered with a short PCP message"};
        }
        const std::string address = AddressField(in, 44);
        // The mapping was wanted only for its address: delete it (lifetime 0), best effort.
        const Deadline shortly(500);
        link.Exchange(PcpMapRequest(local, nonce, 0), isMapAnswer, shortly.Earlier(deadline),
                      kFirstRetryMs);
        return {address, ""};
    }

    std::string gateway_;
};

}  // namespace

std::unique_ptr<WanAddressSource> MakeNatPmpSource(const std::string& gateway) {
    return std::make_unique<NatPmpSource>(gateway);
}

}  // namespace orvex
