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

SingleInstance::Result SingleInstance::Acquire() {
    const std::string path = RuntimeDir() + "/Orvex.lock";
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
    return Result::First;
}

SingleInstance::~SingleInstance() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

}  // namespace orvex

namespace orvex {

bool SingleInstance::AskFirstCopyToShow() {
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
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
              ::send(fd, "show\n", 5, MSG_NOSIGNAL) == 5;
    if (ok) {
        // Wait (bounded) for the first copy to close its end: it has handled the request.
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 1000);
    }
    ::close(fd);
    return ok;
}

}  // namespace orvex
