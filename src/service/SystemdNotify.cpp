#include "service/SystemdNotify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/UniqueFd.h"

namespace orvex {

namespace {

// The manager's notification protocol: one datagram of "KEY=value" lines to the socket named
// by NOTIFY_SOCKET ("/path", or "@name" in the abstract namespace). Spoken here rather than
// through the manager's client library, which loads a compression and crypto stack that the
// service would otherwise hold resident for nothing. Outside a unit it does nothing.
void Notify(const std::string& state) {
    const char* name = std::getenv("NOTIFY_SOCKET");
    if (name == nullptr || (name[0] != '/' && name[0] != '@')) {
        return;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const size_t length = std::strlen(name);
    if (length < 2 || length >= sizeof address.sun_path) {
        return;
    }
    std::memcpy(address.sun_path, name, length);
    if (name[0] == '@') {
        address.sun_path[0] = '\0';
    }
    const UniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        return;
    }
    const auto size =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length + (name[0] == '/' ? 1 : 0));
    ssize_t sent = 0;
    do {
        sent = ::sendto(fd.Get(), state.data(), state.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), size);
    } while (sent < 0 && errno == EINTR);
}

// STATUS= is one line; a host message is one already, but a box may not be.
std::string OneLine(const std::string& text) {
    std::string line = text.substr(0, 512);
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

}  // namespace

uint64_t WatchdogMicroseconds(const char* usec, const char* pid, long ownPid) {
    if (usec == nullptr || *usec < '0' || *usec > '9') {
        return 0;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(usec, &end, 10);
    if (errno != 0 || *end != '\0') {
        return 0;
    }
    if (pid != nullptr) {
        // Meant for another process of the unit.
        char* pidEnd = nullptr;
        const long meant = std::strtol(pid, &pidEnd, 10);
        if (*pid == '\0' || *pidEnd != '\0' || meant != ownPid) {
            return 0;
        }
    }
    return value;
}

SystemdNotifier::SystemdNotifier() {
    const uint64_t usec =
        WatchdogMicroseconds(std::getenv("WATCHDOG_USEC"), std::getenv("WATCHDOG_PID"), ::getpid());
    if (usec > 0) {
        // Pinging at half the bound leaves room for a loop that is busy for a while.
        interval_ = std::chrono::microseconds(usec / 2);
        next_ = std::chrono::steady_clock::now();
    }
}

void SystemdNotifier::Ready() {
    Notify("READY=1");
}

void SystemdNotifier::Status(const std::string& line) {
    Notify("STATUS=" + OneLine(line));
}

void SystemdNotifier::Stopping() {
    Notify("STOPPING=1");
}

int SystemdNotifier::WatchdogWaitMs(TimePoint now) const {
    if (!WatchdogOn()) {
        return -1;
    }
    if (next_ <= now) {
        return 0;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next_ - now).count();
    return static_cast<int>(std::min<long long>(left, INT_MAX));
}

void SystemdNotifier::PingIfDue(TimePoint now) {
    if (!WatchdogOn() || now < next_) {
        return;
    }
    Notify("WATCHDOG=1");
    next_ = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval_);
}

}  // namespace orvex
