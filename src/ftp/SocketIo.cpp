#include "ftp/SocketIo.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "platform/TextUtil.h"

namespace orvex::ftp {

IoResult WaitReady(int fd, short events, int limitMs) {
    using Steady = std::chrono::steady_clock;
    const auto deadline = Steady::now() + std::chrono::milliseconds(limitMs < 0 ? 0 : limitMs);
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now());
        pollfd p{fd, events, 0};
        int ready = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (ready > 0) {
            return IoResult::kOk;
        }
        if (ready < 0 && errno != EINTR) {
            return IoResult::kError;
        }
        if (ready == 0 && Steady::now() >= deadline) {
            return IoResult::kTimedOut;
        }
    }
}

IoResult ReceiveSome(int fd, char* data, size_t size, int idleMs, size_t* received) {
    *received = 0;
    while (true) {
        ssize_t n = ::recv(fd, data, size, MSG_DONTWAIT);
        if (n > 0) {
            *received = static_cast<size_t>(n);
            return IoResult::kOk;
        }
        if (n == 0) {
            return IoResult::kClosed;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return IoResult::kError;
        }
        IoResult waited = WaitReady(fd, POLLIN, idleMs);
        if (waited != IoResult::kOk) {
            return waited;
        }
    }
}

IoResult SendSome(int fd, const char* data, size_t size, int idleMs, size_t* sent) {
    *sent = 0;
    while (true) {
        ssize_t n = ::send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) {
            *sent = static_cast<size_t>(n);
            return IoResult::kOk;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return IoResult::kError;
        }
        IoResult waited = WaitReady(fd, POLLOUT, idleMs);
        if (waited != IoResult::kOk) {
            return waited;
        }
    }
}

IoResult SendAll(int fd, const char* data, size_t size, int idleMs) {
    size_t done = 0;
    while (done < size) {
        size_t sent = 0;
        IoResult result = SendSome(fd, data + done, size - done, idleMs, &sent);
        if (result != IoResult::kOk) {
            return result;
        }
        done += sent;
    }
    return IoResult::kOk;
}

std::string ErrnoText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

}  // namespace orvex::ftp
