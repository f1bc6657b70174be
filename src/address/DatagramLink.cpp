#include "address/DatagramLink.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orvex {

namespace {

DatagramLink::Result Failed(int error, const char* what) {
    DatagramLink::Result result;
    if (error == ECONNREFUSED) {
        result.outcome = DatagramLink::Outcome::kRefused;
    } else {
        result.outcome = DatagramLink::Outcome::kFailed;
        result.detail = std::string(what) + ": " + std::strerror(error);
    }
    return result;
}

}  // namespace

bool DatagramLink::Open(const SocketAddress& peer, std::string* detail) {
    fd_.Reset(::socket(peer.Family(), SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd_.Valid() || ::connect(fd_.Get(), peer.Get(), peer.length) != 0) {
        *detail = std::strerror(errno);
        fd_.Reset();
        return false;
    }
    return true;
}

SocketAddress DatagramLink::Local() const {
    SocketAddress local;
    local.length = sizeof local.storage;
    if (::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&local.storage), &local.length) != 0) {
        local = SocketAddress{};
    }
    return local;
}

DatagramLink::Result DatagramLink::Exchange(
    const std::vector<uint8_t>& request,
    const std::function<bool(const std::vector<uint8_t>&)>& accept, const Deadline& deadline,
    int firstRetryMs) {
    if (!fd_.Valid()) {
        return Failed(EBADF, "socket");
    }
    int wait = std::max(firstRetryMs, 50);
    for (;;) {
        if (::send(fd_.Get(), request.data(), request.size(), 0) < 0 && errno != EINTR) {
            return Failed(errno, "send");
        }
        const Deadline retry(wait);
        const Deadline& resend = retry.Earlier(deadline);
        wait *= 2;
        for (;;) {
            const WaitResult ready = WaitUntil(fd_.Get(), POLLIN, resend);
            if (ready == WaitResult::kFailed) {
                return Failed(errno, "poll");
            }
            if (ready == WaitResult::kTimedOut) {
                break;
            }
            std::vector<uint8_t> answer(1500);
            const ssize_t got = ::recv(fd_.Get(), answer.data(), answer.size(), 0);
            if (got < 0) {
                if (errno == EAGAIN || errno == EINTR) {
                    continue;
                }
                return Failed(errno, "recv");
            }
            answer.resize(static_cast<size_t>(got));
            if (accept(answer)) {
                Result result;
                result.outcome = Outcome::kAnswer;
                result.answer = std::move(answer);
                return result;
            }
        }
        if (deadline.Passed()) {
            Result result;
            result.outcome = Outcome::kNoAnswer;
            return result;
        }
    }
}

std::string DatagramFailureWords(const DatagramLink::Result& result, const std::string& peer,
                                 int boundSeconds) {
    switch (result.outcome) {
        case DatagramLink::Outcome::kAnswer:
            return "";
        case DatagramLink::Outcome::kNoAnswer:
            return "no answer from " + peer + " within " + std::to_string(boundSeconds) + " s";
        case DatagramLink::Outcome::kRefused:
            return peer + " refused the request (nothing listens there)";
        case DatagramLink::Outcome::kFailed:
            break;
    }
    return "the request to " + peer + " failed: " + result.detail;
}

}  // namespace orvex
