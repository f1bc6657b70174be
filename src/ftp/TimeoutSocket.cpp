#include "ftp/TimeoutSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace orvex {

namespace ftp {

bool ResolveIPv4(const std::string& host, uint32_t* address, std::string* detail) {
    if (host.empty()) {
        *detail = "no host name";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0 || found == nullptr) {
        *detail = "cannot resolve " + host + ": " + ::gai_strerror(rc);
        return false;
    }
    *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return true;
}

}  // namespace ftp

CTimeoutSocket::CTimeoutSocket(int timeoutSeconds, Clock& clock)
    : timeoutSeconds_(timeoutSeconds), clock_(clock) {}

bool CTimeoutSocket::Create() {
    fd_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd_.Valid()) {
        detail_ = ftp::ErrnoText("socket", errno);
        return false;
    }
    return true;
}

bool CTimeoutSocket::Connect(const std::string& host, uint16_t port) {
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    uint32_t address = 0;
    if (!ftp::ResolveIPv4(host, &address, &detail_)) {
        return false;
    }
    target.sin_addr.s_addr = address;
    return ConnectStep(&target, sizeof target);
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
        return false;
    }
    const std::time_t start = clock_.Now();
    while (true) {
        pollfd p{fd_.Get(), POLLOUT, 0};
        int ready = ::poll(&p, 1, ftp::kConnectTickMs);
        if (ready < 0 && errno != EINTR) {
            detail_ = ftp::ErrnoText("poll", errno);
            return false;
        }
        if (ready > 0) {
            break;
        }
        // Strictly later: the attempt may last up to one second beyond the time-out.
        if (clock_.Now() > start + timeoutSeconds_) {
            detail_ = "connect: no answer within " + std::to_string(timeoutSeconds_) + " s";
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
        return false;
    }
    return true;
}

bool CTimeoutSocket::Listen(const std::string& address, int backlog) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!address.empty() && ::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        detail_ = "bad local address " + address;
        return false;
    }
    if (::bind(fd_.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        detail_ = ftp::ErrnoText("bind", errno);
        return false;
    }
    if (::listen(fd_.Get(), backlog) != 0) {
        detail_ = ftp::ErrnoText("listen", errno);
        return false;
    }
    return true;
}

ftp::UniqueFd CTimeoutSocket::Accept(int limitMs, bool* timedOut) {
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
        ftp::IoResult waited = ftp::WaitReady(fd_.Get(), POLLIN, limitMs);
        if (waited == ftp::IoResult::kTimedOut) {
            *timedOut = true;
            detail_ = "no data connection came within " + std::to_string(limitMs / 1000) + " s";
            return {};
        }
        if (waited != ftp::IoResult::kOk) {
            detail_ = ftp::ErrnoText("poll", errno);
            return {};
        }
    }
}

bool CTimeoutSocket::LocalAddress(std::string* address, uint16_t* port) const {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (!fd_.Valid() || ::getsockname(fd_.Get(), reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return false;
    }
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text) == nullptr) {
        return false;
    }
    *address = text;
    *port = ntohs(local.sin_port);
    return true;
}

}  // namespace orvex
