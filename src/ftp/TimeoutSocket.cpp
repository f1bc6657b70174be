#include "ftp/TimeoutSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/NameResolver.h"

namespace orvex {

CTimeoutSocket::CTimeoutSocket(int timeoutSeconds, Clock& clock)
    : timeoutSeconds_(timeoutSeconds), clock_(clock) {}

bool CTimeoutSocket::Create(int family) {
    fd_.Reset(::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd_.Valid()) {
        detail_ = ftp::ErrnoText("socket", errno);
        return false;
    }
    family_ = family;
    return true;
}

bool CTimeoutSocket::Connect(const std::string& host, uint16_t port) {
    const std::vector<SocketAddress> targets = ResolveAll(host, port, &detail_);
    connectFailure_ = {};
    if (targets.empty()) {
        connectFailure_.kind = host.empty() ? FailureClass::kOther : FailureClass::kNameNotFound;
        connectFailure_.detail = detail_;
    }
    bool fresh = true;
    for (const SocketAddress& target : targets) {
        // A socket whose connect failed cannot be connected again: each further address
        // gets a new one, as does an address of the other family.
        if ((!fresh || target.Family() != family_) && !Create(target.Family())) {
            continue;
        }
        fresh = false;
        connectFailure_ = {};
        if (ConnectStep(target.Get(), target.length)) {
            return true;
        }
    }
    if (connectFailure_.kind == FailureClass::kNone) {
        connectFailure_ = {FailureClass::kOther, 0, detail_};
    }
    return false;
}

bool CTimeoutSocket::ConnectStep(const void* address, unsigned length) {
    if (!fd_.Valid()) {
        detail_ = "no socket";
        return false;
    }
    if (::connect(fd_.Get(), static_cast<const sockaddr*>(address), length) == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        detail_ = ftp::ErrnoText("connect", errno);
        connectFailure_ = FailureOfErrno(errno);
        return false;
    }
    const std::time_t start = clock_.Now();
    while (true) {
        const WaitResult waited = WaitUntil(fd_.Get(), POLLOUT, Deadline(ftp::kConnectTickMs));
        if (waited == WaitResult::kFailed) {
            detail_ = ftp::ErrnoText("poll", errno);
            return false;
        }
        if (waited == WaitResult::kReady) {
            break;
        }
        // Strictly later: the attempt may last up to one second beyond the time-out.
        if (clock_.Now() > start + timeoutSeconds_) {
            detail_ = "connect: no answer within " + std::to_string(timeoutSeconds_) + " s";
            connectFailure_ = {FailureClass::kNoAnswer, timeoutSeconds_, {}};
            return false;
        }
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd_.Get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        error = errno;
    }
    if (error != 0) {
        detail_ = ftp::ErrnoText("connect", error);
        connectFailure_ = FailureOfErrno(error);
        return false;
    }
    return true;
}

bool CTimeoutSocket::Listen(const std::string& address, int backlog) {
    SocketAddress local;
    if (address.empty()) {
        ParseNumericAddress("0.0.0.0", 0, &local);
    } else if (!ParseNumericAddress(address, 0, &local)) {
        detail_ = "bad local address " + address;
        return false;
    }
    if (local.Family() != family_ && !Create(local.Family())) {
        return false;
    }
    if (::bind(fd_.Get(), local.Get(), local.length) != 0) {
        detail_ = ftp::ErrnoText("bind", errno);
        return false;
    }
    if (::listen(fd_.Get(), backlog) != 0) {
        detail_ = ftp::ErrnoText("listen", errno);
        return false;
    }
    return true;
}

ftp::UniqueFd CTimeoutSocket::Accept(const Deadline& deadline, bool* timedOut) {
    *timedOut = false;
    while (true) {
        int fd = ::accept4(fd_.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            return ftp::UniqueFd(fd);
        }
        if (errno == EINTR || errno == ECONNABORTED) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            detail_ = ftp::ErrnoText("accept", errno);
            return {};
        }
        ftp::IoResult waited = ftp::WaitReady(fd_.Get(), POLLIN, deadline);
        if (waited == ftp::IoResult::kTimedOut) {
            *timedOut = true;
            detail_ = "no data connection came within " +
                      std::to_string(deadline.LimitMs() / 1000) + " s";
            return {};
        }
        if (waited != ftp::IoResult::kOk) {
            detail_ = ftp::ErrnoText("poll", errno);
            return {};
        }
    }
}

bool CTimeoutSocket::LocalAddress(std::string* address, uint16_t* port) const {
    SocketAddress local;
    local.length = sizeof local.storage;
    if (!fd_.Valid() ||
        ::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&local.storage), &local.length) != 0) {
        return false;
    }
    *address = AddressText(local);
    *port = local.Port();
    return !address->empty();
}

bool CTimeoutSocket::PeerAddress(std::string* address) const {
    SocketAddress peer;
    peer.length = sizeof peer.storage;
    if (!fd_.Valid() ||
        ::getpeername(fd_.Get(), reinterpret_cast<sockaddr*>(&peer.storage), &peer.length) != 0) {
        return false;
    }
    *address = AddressText(peer);
    return !address->empty();
}

}  // namespace orvex
