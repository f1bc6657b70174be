#include "service/ControlSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace orvex {

namespace {

using SteadyClock = std::chrono::steady_clock;

bool MakeAddress(const std::string& path, sockaddr_un* address, std::string* error) {
    *address = {};
    address->sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address->sun_path) {
        *error = "the socket path " + path + " is empty or longer than " +
                 std::to_string(sizeof address->sun_path - 1) + " bytes";
        return false;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

int MillisecondsLeft(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
            .count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// Waits for `events` on `fd` until `deadline`; false when the time ran out first.
bool WaitFor(int fd, short events, SteadyClock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n > 0;
    }
}

bool SendAll(int fd, const std::string& text, SteadyClock::time_point deadline) {
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n =
            ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!WaitFor(fd, POLLOUT, deadline)) {
                return false;
            }
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::string ControlSocketPath(const std::string& given, const std::string& iniFolder) {
    if (!given.empty()) {
        return given;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') {
        return std::string(runtime) + "/orvexd.sock";
    }
    return iniFolder + "/orvexd.sock";
}

ControlServer::~ControlServer() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
}

bool ControlServer::Listen(const std::string& path, std::string* error) {
    sockaddr_un address;
    if (!MakeAddress(path, &address, error)) {
        return false;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            *error = path + " exists and is not a socket; remove it or choose another --socket";
            return false;
        }
        // A socket someone still answers on is not ours to take.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool live = probe >= 0 && ::connect(probe, reinterpret_cast<sockaddr*>(&address),
                                                  sizeof address) == 0;
        if (probe >= 0) {
            ::close(probe);
        }
        if (live) {
            *error = "another program listens on " + path + "; choose another --socket";
            return false;
        }
        ::unlink(path.c_str());
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = std::string("cannot make a socket: ") + std::strerror(errno);
        return false;
    }
    // Only this user may connect: the socket is made without any right for others.
    const mode_t old = ::umask(0177);
    const int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const int bindError = errno;
    ::umask(old);
    if (bound != 0 || ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 8) != 0) {
        *error = "cannot listen on " + path + ": " + std::strerror(bound != 0 ? bindError : errno);
        ::close(fd);
        if (bound == 0) {
            ::unlink(path.c_str());
        }
        return false;
    }
    fd_ = fd;
    path_ = path;
    return true;
}

int ControlServer::Accept(std::string* request) {
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kRequestMs);
    std::string line;
    while (line.find('\n') == std::string::npos && line.size() < kMaxRequest) {
        char buffer[kMaxRequest];
        const ssize_t n = ::recv(fd, buffer, kMaxRequest - line.size(), 0);
        if (n > 0) {
            line.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR) && WaitFor(fd, POLLIN, deadline)) {
            continue;
        }
        break;
    }
    const size_t end = line.find('\n');
    if (end == std::string::npos) {
        ::close(fd);
        return -1;
    }
    *request = line.substr(0, end);
    if (!request->empty() && request->back() == '\r') {
        request->pop_back();
    }
    return fd;
}

void ControlServer::Answer(int fd, const std::string& text) {
    SendAll(fd, text, SteadyClock::now() + std::chrono::milliseconds(kAnswerMs));
    ::close(fd);
}

CallResult CallService(const std::string& path, const std::string& request, int timeoutMs,
                       std::string* answer, std::string* error) {
    sockaddr_un address;
    if (!MakeAddress(path, &address, error)) {
        return CallResult::kFailed;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("cannot make a socket: ") + std::strerror(errno);
        return CallResult::kFailed;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int why = errno;
        ::close(fd);
        *error = std::strerror(why);
        return why == ENOENT || why == ECONNREFUSED ? CallResult::kNoService : CallResult::kFailed;
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    if (!SendAll(fd, request + "\n", deadline)) {
        *error = "the service did not take the request";
        ::close(fd);
        return CallResult::kFailed;
    }
    answer->clear();
    for (;;) {
        if (!WaitFor(fd, POLLIN, deadline)) {
            *error = "no answer within " + std::to_string(timeoutMs / 1000) + " s";
            ::close(fd);
            return CallResult::kFailed;
        }
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            *error = std::strerror(errno);
            ::close(fd);
            return CallResult::kFailed;
        }
        if (n == 0) {
            break;
        }
        // A status is a few kilobytes; a peer that never stops is no service of ours.
        if (answer->size() > (1u << 20)) {
            *error = "the answer is too long";
            ::close(fd);
            return CallResult::kFailed;
        }
        answer->append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return CallResult::kAnswered;
}

}  // namespace orvex
