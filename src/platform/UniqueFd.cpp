#include "platform/UniqueFd.h"

#include <unistd.h>

namespace orvex {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

int UniqueFd::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

int UniqueFd::Reset(int fd) {
    int result = 0;
    if (fd_ >= 0) {
        result = ::close(fd_);
    }
    fd_ = fd;
    return result;
}

}  // namespace orvex
