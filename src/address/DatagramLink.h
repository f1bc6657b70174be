#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/DeadlineWait.h"
#include "platform/NameResolver.h"
#include "platform/UniqueFd.h"

namespace orvex {

// A UDP socket tied to one peer, for the small request/answer exchanges with a router or a
// name server. Every wait ends at the deadline it is given.
class DatagramLink {
public:
    enum class Outcome {
        kAnswer,    // `answer` holds the first datagram `accept` took
        kNoAnswer,  // nothing taken before the deadline
        kRefused,   // nothing listens at the peer's port (the system said so)
        kFailed,    // any other failure; `detail` says what
    };
    struct Result {
        Outcome outcome = Outcome::kFailed;
        std::vector<uint8_t> answer;
        std::string detail;
    };

    // Opens a socket of the peer's family and connects it to `peer`; false with `detail` set
    // when that fails.
    bool Open(const SocketAddress& peer, std::string* detail);

    // The address the system chose for this end (after Open).
    SocketAddress Local() const;

    // Sends `request` and waits for a datagram `accept` takes, sending the request again after
    // `firstRetryMs`, then after twice as long each time, until `deadline`.
    Result Exchange(const std::vector<uint8_t>& request,
                    const std::function<bool(const std::vector<uint8_t>&)>& accept,
                    const Deadline& deadline, int firstRetryMs);

private:
    UniqueFd fd_;
};

// The result in plain words, naming `peer` ("no answer from 192.0.2.1:5351 within 2 s").
std::string DatagramFailureWords(const DatagramLink::Result& result, const std::string& peer,
                                 int boundSeconds);

}  // namespace orvex
