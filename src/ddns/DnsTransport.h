#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/NameResolver.h"

namespace orvex::ddns {

// How one exchange with a name server ended.
struct DnsExchange {
    enum class Outcome {
        kAnswer,    // `answer` holds the reply with the request's ID
        kNoAnswer,  // nothing within the bound
        kRefused,   // nothing listens at that address and port
        kFailed,    // any other failure; `detail` says what
    };
    Outcome outcome = Outcome::kFailed;
    std::vector<uint8_t> answer;
    std::string detail;
    // UDP replies with the request's ID that `acceptUdp` turned down (kNoAnswer then means
    // only such replies came).
    int ignored = 0;
};

// Whether a UDP reply is taken as the answer; one that is not is ignored and the wait goes on.
using DnsReplyFilter = std::function<bool(const std::vector<uint8_t>& reply)>;

// Largest DNS message a name server is bound to take by UDP without extensions.
inline constexpr size_t kDnsUdpLimit = 512;

// Sends `message` (a whole DNS message; its first two bytes are its ID) to `address` and waits
// at most `timeoutMs` for the reply carrying the same ID with the reply flag set; other
// datagrams are ignored. A message that fits kDnsUdpLimit goes by UDP and is sent again after
// 1, 2, 4... s without a reply; a reply marked truncated, or a larger message, is exchanged
// again by TCP within what is left of the bound. Over UDP, where anyone on the path can send
// a datagram with the right ID, a reply `acceptUdp` (when given) turns down is ignored.
DnsExchange ExchangeDnsMessage(const SocketAddress& address, const std::vector<uint8_t>& message,
                               int timeoutMs, const DnsReplyFilter& acceptUdp = {});

}  // namespace orvex::ddns
