#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/NameResolver.h"

namespace orvex::test {

LoopbackListener::LoopbackListener(const std::string& address) {
    SocketAddress local;
    if (!ParseNumericAddress(address, 0, &local)) {
        return;
    }
    fd_ = ::socket(local.Family(), SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return;
    }
    int on = 1;
    if (local.Family() == AF_INET6) {
        ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    if (::bind(fd_, local.Get(), local.length) != 0 || ::listen(fd_, 8) != 0) {
        return;
    }
    local.length = sizeof local.storage;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local.storage), &local.length) == 0) {
        port_ = local.Port();
    }
}

LoopbackListener::~LoopbackListener() {
    if (accepted_ >= 0) {
        ::close(accepted_);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string LoopbackListener::AcceptOne(int ms) {
    pollfd p{fd_, POLLIN, 0};
    if (fd_ < 0 || ::poll(&p, 1, ms) != 1) {
        return "";
    }
    SocketAddress peer;
    peer.length = sizeof peer.storage;
    const int fd = ::accept(fd_, reinterpret_cast<sockaddr*>(&peer.storage), &peer.length);
    if (fd < 0) {
        return "";
    }
    if (accepted_ >= 0) {
        ::close(accepted_);
    }
    accepted_ = fd;
    return AddressText(peer);
}

}  // namespace orvex::test
