#include "ddns/DnsTransport.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/DeadlineWait.h"
#include "platform/UniqueFd.h"

namespace orvex::ddns {

namespace {

constexpr size_t kHeaderSize = 12;
constexpr uint8_t kReplyFlag = 0x80;      // QR, in the third byte
constexpr uint8_t kTruncatedFlag = 0x02;  // TC, in the third byte

DnsExchange Failure(DnsExchange::Outcome outcome, const std::string& detail = {}) {
    DnsExchange result;
    result.outcome = outcome;
    result.detail = detail;
    return result;
}

DnsExchange SystemFailure(const char* what, int error) {
    if (error == ECONNREFUSED) {
        return Failure(DnsExchange::Outcome::kRefused);
    }
    return Failure(DnsExchange::Outcome::kFailed, std::string(what) + ": " + std::strerror(error));
}

// Waits for `events` on `fd` until `deadline`; false when the time ran out. A failed wait
// counts as ready: the following call reports the socket's own error.
bool WaitFor(int fd, short events, const Deadline& deadline) {
    return WaitUntil(fd, events, deadline) != WaitResult::kTimedOut;
}

bool IsReplyTo(const uint8_t* reply, size_t size, const std::vector<uint8_t>& message) {
    return size >= kHeaderSize && reply[0] == message[0] && reply[1] == message[1] &&
           (reply[2] & kReplyFlag) != 0;
}

UniqueFd OpenSocket(const SocketAddress& address, int type) {
    return UniqueFd(::socket(address.Family(), type | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
}

DnsExchange ExchangeByTcp(const SocketAddress& address, const std::vector<uint8_t>& message,
                          const Deadline& deadline) {
    UniqueFd fd = OpenSocket(address, SOCK_STREAM);
    if (!fd.Valid()) {
        return SystemFailure("socket", errno);
    }
    if (::connect(fd.Get(), address.Get(), address.length) != 0) {
        if (errno != EINPROGRESS) {
            return SystemFailure("connect", errno);
        }
        if (!WaitFor(fd.Get(), POLLOUT, deadline)) {
            return Failure(DnsExchange::Outcome::kNoAnswer);
        }
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &length);
        if (error != 0) {
            return SystemFailure("connect", error);
        }
    }
    // TCP carries each message behind its length in two bytes.
    std::vector<uint8_t> framed{static_cast<uint8_t>(message.size() >> 8),
                                static_cast<uint8_t>(message.size() & 0xff)};
    framed.insert(framed.end(), message.begin(), message.end());
    size_t sent = 0;
    while (sent < framed.size()) {
        const ssize_t n =
            ::send(fd.Get(), framed.data() + sent, framed.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (errno == EAGAIN || errno == EINTR) {
            if (!WaitFor(fd.Get(), POLLOUT, deadline)) {
                return Failure(DnsExchange::Outcome::kNoAnswer);
            }
        } else {
            return SystemFailure("send", errno);
        }
    }
    std::vector<uint8_t> received;
    for (;;) {
        // Replies with another ID are skipped; the first complete one with ours is the answer.
        while (received.size() >= 2) {
            const size_t length = (size_t{received[0]} << 8) | received[1];
            if (received.size() < 2 + length) {
                break;
            }
            if (IsReplyTo(received.data() + 2, length, message)) {
                DnsExchange result;
                result.outcome = DnsExchange::Outcome::kAnswer;
                result.answer.assign(received.begin() + 2, received.begin() + 2 + length);
                return result;
            }
            received.erase(received.begin(), received.begin() + 2 + length);
        }
        if (!WaitFor(fd.Get(), POLLIN, deadline)) {
            return Failure(DnsExchange::Outcome::kNoAnswer);
        }
        uint8_t buffer[4096];
        const ssize_t n = ::recv(fd.Get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            received.insert(received.end(), buffer, buffer + n);
        } else if (n == 0) {
            return Failure(DnsExchange::Outcome::kFailed,
                           "the name server closed the connection without an answer");
        } else if (errno != EAGAIN && errno != EINTR) {
            return SystemFailure("recv", errno);
        }
    }
}

}  // namespace

DnsExchange ExchangeDnsMessage(const SocketAddress& address, const std::vector<uint8_t>& message,
                               int timeoutMs, const DnsReplyFilter& acceptUdp) {
    const Deadline deadline(timeoutMs);
    if (message.size() < kHeaderSize || message.size() > 0xffff) {
        return Failure(DnsExchange::Outcome::kFailed, "the message cannot be sent");
    }
    if (message.size() > kDnsUdpLimit) {
        return ExchangeByTcp(address, message, deadline);
    }
    UniqueFd fd = OpenSocket(address, SOCK_DGRAM);
    if (!fd.Valid()) {
        return SystemFailure("socket", errno);
    }
    // Connected, so the system drops datagrams from anyone else and reports a closed port.
    if (::connect(fd.Get(), address.Get(), address.length) != 0) {
        return SystemFailure("connect", errno);
    }
    int ignored = 0;
    int64_t interval = 1000;
    Deadline nextSend(0);
    for (;;) {
        if (nextSend.Passed()) {
            // A datagram the system cannot queue now is as good as lost: the resend covers it.
            if (::send(fd.Get(), message.data(), message.size(), 0) < 0 && errno != EAGAIN &&
                errno != EINTR) {
                return SystemFailure("send", errno);
            }
            nextSend = Deadline(interval);
            interval *= 2;
        }
        if (!WaitFor(fd.Get(), POLLIN, nextSend.Earlier(deadline))) {
            if (deadline.Passed()) {
                DnsExchange none = Failure(DnsExchange::Outcome::kNoAnswer);
                none.ignored = ignored;
                return none;
            }
            continue;
        }
        uint8_t buffer[65535];
        const ssize_t n = ::recv(fd.Get(), buffer, sizeof buffer, 0);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            return SystemFailure("recv", errno);
        }
        if (!IsReplyTo(buffer, static_cast<size_t>(n), message)) {
            continue;
        }
        if ((buffer[2] & kTruncatedFlag) != 0) {
            return ExchangeByTcp(address, message, deadline);
        }
        DnsExchange result;
        result.outcome = DnsExchange::Outcome::kAnswer;
        result.answer.assign(buffer, buffer + n);
        if (acceptUdp && !acceptUdp(result.answer)) {
            ++ignored;
            continue;
        }
        return result;
    }
}

}  // namespace orvex::ddns
