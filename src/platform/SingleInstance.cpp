#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvex {

std::string SingleInstance::RuntimeDir() {
    const char* base = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = (base != nullptr && *base != '\0') ? base : "/tmp";
    dir += "/orvex-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
    return dir;
}

std::string SingleInstance::SocketPath() {
    return RuntimeDir() + "/Orvex";
}

namespace {

std::string LockPath() {
    return SingleInstance::RuntimeDir() + "/Orvex.lock";
}

}  // namespace

SingleInstance::Result SingleInstance::Acquire(const std::string& holder) {
    const std::string path = LockPath();
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        return Result::Failed;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd_);
        fd_ = -1;
        return held ? Result::AlreadyRunning : Result::Failed;
    }
    // Only a note for a second copy's message; the lock itself is what counts.
    const std::string note = holder + " " + std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd_, 0) == 0) {
        [[maybe_unused]] ssize_t n = ::pwrite(fd_, note.data(), note.size(), 0);
    }
    return Result::First;
}

std::string SingleInstance::Holder() {
    const int fd = ::open(LockPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::string();
    }
    char buffer[128];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0) {
        return std::string();
    }
    std::string note(buffer, static_cast<size_t>(n));
    return note.substr(0, note.find('\n'));
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

}  // namespace orvex

namespace orvex {

bool SingleInstance::AskFirstCopyToShow() {
    return AskFirstCopy("show");
}

bool SingleInstance::AskFirstCopy(const std::string& request) {
    const std::string line = request + "\n";
    const std::string path = SocketPath();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        return false;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    bool ok =
        ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    if (ok) {
        // Wait (bounded) for the first copy to close its end: it has handled the request.
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 1000);
    }
    ::close(fd);
    return ok;
}

}  // namespace orvex
