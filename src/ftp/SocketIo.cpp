#include "ftp/SocketIo.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/TextUtil.h"

namespace orvex::ftp {

IoResult WaitReady(int fd, short events, const Deadline& deadline) {
    switch (WaitUntil(fd, events, deadline)) {
        case WaitResult::kReady:
            return IoResult::kOk;
        case WaitResult::kTimedOut:
            return IoResult::kTimedOut;
        case WaitResult::kFailed:
            break;
    }
    return IoResult::kError;
}

IoResult ReceiveSome(int fd, char* data, size_t size, const Deadline& deadline, size_t* received) {
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
        IoResult waited = WaitReady(fd, POLLIN, deadline);
        if (waited != IoResult::kOk) {
            return waited;
        }
    }
}

IoResult SendSome(int fd, const char* data, size_t size, const Deadline& deadline, size_t* sent) {
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
        IoResult waited = WaitReady(fd, POLLOUT, deadline);
        if (waited != IoResult::kOk) {
            return waited;
        }
    }
}

IoResult SendAll(int fd, const char* data, size_t size, const Deadline& deadline) {
    size_t done = 0;
    while (done < size) {
        size_t sent = 0;
        IoResult result = SendSome(fd, data + done, size - done, deadline, &sent);
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
