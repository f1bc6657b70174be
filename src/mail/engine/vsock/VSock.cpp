#include "mail/engine/vsock/VSock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/DeadlineWait.h"
#include "platform/NameResolver.h"

namespace orvex {

int WinSockCode(int posixErrno) {
    switch (posixErrno) {
        case EINTR:
            return 10004;
        case EBADF:
            return 10009;
        case EACCES:
            return 10013;
        case EFAULT:
            return 10014;
        case EINVAL:
            return 10022;
        case EMFILE:
            return 10024;
        case EWOULDBLOCK:
            return 10035;
        case EINPROGRESS:
            return 10036;
        case EALREADY:
            return 10037;
        case ENOTSOCK:
            return 10038;
        case EDESTADDRREQ:
            return 10039;
        case EMSGSIZE:
            return 10040;
        case EPROTOTYPE:
            return 10041;
        case ENOPROTOOPT:
            return 10042;
        case EPROTONOSUPPORT:
            return 10043;
        case ESOCKTNOSUPPORT:
            return 10044;
        case EOPNOTSUPP:
            return 10045;
        case EAFNOSUPPORT:
            return 10047;
        case EADDRINUSE:
            return 10048;
        case EADDRNOTAVAIL:
            return 10049;
        case ENETDOWN:
            return 10050;
        case ENETUNREACH:
            return 10051;
        case ENETRESET:
            return 10052;
        case ECONNABORTED:
            return 10053;
        case ECONNRESET:
            return 10054;
        case ENOBUFS:
            return 10055;
        case EISCONN:
            return 10056;
        case ENOTCONN:
            return 10057;
        case EPIPE:
        case ESHUTDOWN:
            return 10058;
        case ETIMEDOUT:
            return 10060;
        case ECONNREFUSED:
            return 10061;
        case EHOSTDOWN:
            return 10064;
        case EHOSTUNREACH:
            return 10065;
        default:
            return 10050;
    }
}

bool ParseDottedAddress(const std::string& text, uint32_t* address) {
    uint32_t value = 0;
    int fields = 0;
    size_t i = 0;
    while (fields < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return false;
        }
        unsigned field = 0;
        size_t digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            field = field * 10 + static_cast<unsigned>(text[i] - '0');
            if (++digits > 3 || field > 255) {
                return false;
            }
            ++i;
        }
        value = (value << 8) | field;
        ++fields;
        if (fields < 4) {
            if (i >= text.size() || text[i] != '.') {
                return false;
            }
            ++i;
        }
    }
    if (i != text.size()) {
        return false;
    }
    *address = value;
    return true;
}

namespace {

// The server's addresses in the order they are tried: a dotted address as the engine reads
// it, else every address the name resolves to. An IPv4 address of 0 is no answer.
std::vector<SocketAddress> ServerAddresses(const std::string& name, int port) {
    std::vector<SocketAddress> targets;
    const auto wirePort = static_cast<uint16_t>(port);
    uint32_t dotted = 0;
    if (ParseDottedAddress(name, &dotted)) {
        SocketAddress target;
        auto* in = reinterpret_cast<sockaddr_in*>(&target.storage);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = htonl(dotted);
        in->sin_port = htons(wirePort);
        target.length = sizeof(sockaddr_in);
        targets.push_back(target);
        return targets;
    }
    for (const SocketAddress& found : ResolveAll(name, wirePort)) {
        if (found.Family() == AF_INET &&
            reinterpret_cast<const sockaddr_in*>(&found.storage)->sin_addr.s_addr == 0) {
            continue;
        }
        targets.push_back(found);
    }
    return targets;
}

int OpenStreamSocket(int family) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd >= 0) {
        // The dialogue writes line by line and waits for replies: without this, a line
        // held back for the peer's delayed acknowledgement costs tens of milliseconds.
        int noDelay = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    }
    return fd;
}

int SocketFamily(int fd) {
    int family = AF_UNSPEC;
    socklen_t size = sizeof family;
    ::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &family, &size);
    return family;
}

// Waits at most `ms` for a started connect: 0 once connected, else the errno that ended it
// (ETIMEDOUT when the time ran out).
int ConnectOutcome(int fd, int ms) {
    const WaitResult waited = WaitUntil(fd, POLLOUT, Deadline(ms));
    if (waited == WaitResult::kTimedOut) {
        return ETIMEDOUT;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (waited == WaitResult::kFailed ||
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        return errno;
    }
    return error;
}

}  // namespace

int ResolveHostName(const std::string& name, uint32_t* address) {
    if (name.size() > VSock::kMaxHostName) {
        return kVsNameTooLong;
    }
    const std::vector<SocketAddress> targets = ServerAddresses(name, 0);
    if (targets.empty()) {
        return kVsUnresolved;
    }
    // An IPv6-only server resolves too; its IPv4 address reads 0.
    *address = 0;
    for (const SocketAddress& target : targets) {
        if (target.Family() == AF_INET) {
            *address =
                ntohl(reinterpret_cast<const sockaddr_in*>(&target.storage)->sin_addr.s_addr);
            break;
        }
    }
    return kVsOk;
}

VSock::~VSock() {
    std::lock_guard lock(mutex_);
    CloseAllLocked();
}

void VSock::CloseAllLocked() {
    for (Slot& s : slots_) {
        if (s.fd >= 0) {
            ::close(s.fd);
        }
        s = Slot{};
    }
}

int VSock::Start(int wanted, int /*pollSleepMs*/, Clock& /*clock*/) {
    std::lock_guard lock(mutex_);
    CloseAllLocked();
    slotCount_ = std::clamp(wanted, 0, kMaxSlots);
    return kVsOk;
}

int VSock::End() {
    std::lock_guard lock(mutex_);
    CloseAllLocked();
    slotCount_ = 0;
    return kVsOk;
}

int VSock::CreateSocket() {
    std::lock_guard lock(mutex_);
    int count = slotCount_.load();
    for (int i = 0; i < count; ++i) {
        Slot& s = slots_[i];
        if (s.state != SlotState::kFree) {
            continue;
        }
        s = Slot{};
        s.state = SlotState::kReserved;
        int fd = OpenStreamSocket(AF_INET);
        if (fd < 0) {
            s.state = SlotState::kFree;
            return kVsCannotCreate;
        }
        s.fd = fd;
        s.state = SlotState::kOpen;
        s.connected = true;
        return i;
    }
    return kVsNoFreeSlot;
}

int VSock::ResolveHost(int slot, const std::string& name) {
    if (!Valid(slot)) {
        return kVsBadSlot;
    }
    Slot& s = slots_[slot];
    if (name.size() > kMaxHostName) {
        return kVsNameTooLong;
    }
    s.host = name;
    uint32_t address = 0;
    if (ResolveHostName(name, &address) != kVsOk) {
        return kVsUnresolved;
    }
    s.address = address;
    return kVsOk;
}

int VSock::Connect(int slot, const std::string& name, int port) {
    if (!Valid(slot)) {
        return kVsBadSlot;
    }
    Slot& s = slots_[slot];
    s.port = port;
    ResolveHost(slot, name);
    std::vector<SocketAddress> targets = ServerAddresses(name, port);
    if (targets.empty()) {
        // Nothing resolved: the attempt goes to the slot's address and fails there, as ever.
        SocketAddress fallback;
        auto* in = reinterpret_cast<sockaddr_in*>(&fallback.storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(static_cast<uint16_t>(port));
        in->sin_addr.s_addr = htonl(s.address);
        fallback.length = sizeof(sockaddr_in);
        targets.push_back(fallback);
    }
    int error = 0;
    s.connectError = 0;
    for (size_t i = 0; i < targets.size(); ++i) {
        const SocketAddress& target = targets[i];
        // A socket whose connect failed cannot be connected again.
        if (i > 0 || target.Family() != SocketFamily(s.fd)) {
            const int fd = OpenStreamSocket(target.Family());
            if (fd < 0) {
                error = errno;
                continue;
            }
            ::close(s.fd);
            s.fd = fd;
        }
        if (::connect(s.fd, target.Get(), target.length) == 0) {
            return kVsOk;
        }
        error = errno;
        if (error != EINPROGRESS && error != EWOULDBLOCK) {
            continue;
        }
        // The last address is awaited by the dialogue under its own deadline; an earlier one
        // gets a bounded time before the next is tried.
        if (i + 1 == targets.size()) {
            return kVsOk;
        }
        error = ConnectOutcome(s.fd, kNextAddressAfterMs);
        if (error == 0) {
            return kVsOk;
        }
    }
    s.connectError = error;
    return -WinSockCode(error);
}

int VSock::ConnectError(int slot) {
    if (!Valid(slot)) {
        return 0;
    }
    Slot& s = slots_[slot];
    int pending = 0;
    socklen_t size = sizeof pending;
    if (s.fd >= 0 && ::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &pending, &size) == 0 &&
        pending != 0) {
        return pending;
    }
    return s.connectError;
}

int VSock::SetBlocking(int slot, bool /*on*/) {
    return Valid(slot) ? kVsOk : kVsBadSlot;
}

int VSock::PollEvents(int fd, short events, int timeoutMs) const {
    if (fd < 0) {
        return POLLNVAL;
    }
    short revents = 0;
    WaitUntil(fd, events, Deadline(timeoutMs), &revents);
    return revents;
}

int VSock::Poll(int slot, int kind) {
    if (!Valid(slot)) {
        return kVsBadSlot;
    }
    int fd = slots_[slot].fd;
    switch (kind) {
        case kVsReadable:
            return (PollEvents(fd, POLLIN, 0) & (POLLIN | POLLHUP)) ? 1 : 0;
        case kVsWritable:
            return (PollEvents(fd, POLLOUT, 0) & POLLOUT) ? 1 : 0;
        case kVsError:
            return (PollEvents(fd, 0, 0) & (POLLERR | POLLNVAL)) ? 1 : 0;
        default:
            return kVsBadPollKind;
    }
}

int VSock::WaitFor(int slot, short events, int ms) {
    const Slot& s = slots_[slot];
    if (s.fd < 0) {
        return 0;
    }
    short revents = 0;
    WaitUntil(s.fd, events, Deadline(ms), &revents);
    if (events == POLLOUT) {
        return (revents & POLLOUT) && !(revents & (POLLERR | POLLNVAL)) ? 1 : 0;
    }
    return (revents & (POLLIN | POLLHUP | POLLERR)) ? 1 : 0;
}

int VSock::WaitWritable(int slot, int ms) {
    if (!Valid(slot)) {
        return kVsBadSlot;
    }
    return WaitFor(slot, POLLOUT, ms);
}

int VSock::WaitReadable(int slot, int ms) {
    if (!Valid(slot)) {
        return kVsBadSlot;
    }
    if (RingUsed(slots_[slot]) > 0 || !slots_[slot].plain.empty()) {
        return 1;
    }
    return WaitFor(slot, POLLIN, ms);
}

int VSock::Send(int slot, const char* bytes, int count, bool more) {
    if (!Valid(slot)) {
        return kVsBadSlot;
    }
    if (count < 1) {
        return kVsBadCount;
    }
    Slot& s = slots_[slot];
    int stall = sendStallMs_.load();
    if (WaitFor(slot, POLLOUT, 0) != 1 && WaitFor(slot, POLLOUT, stall) != 1) {
        return kVsClosed;
    }
    if (s.tls) {
        TlsIo io = s.tls->Write(bytes, static_cast<size_t>(count), stall);
        if (io == TlsIo::kOk) {
            return count;
        }
        s.connected = false;
        s.tlsError = s.tls->Error();
        return -WinSockCode(io == TlsIo::kTimedOut ? ETIMEDOUT : ECONNRESET);
    }
    int sent = 0;
    while (sent < count) {
        ssize_t n = ::send(s.fd, bytes + sent, static_cast<size_t>(count - sent),
                           MSG_NOSIGNAL | (more ? MSG_MORE : 0));
        if (n > 0) {
            sent += static_cast<int>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            // The peer reads slower than we write: wait for room, but never without bound.
            if (errno != EINTR && WaitFor(slot, POLLOUT, stall) != 1) {
                s.connected = false;
                return -WinSockCode(ETIMEDOUT);
            }
            continue;
        }
        s.connected = false;
        return -WinSockCode(n == 0 ? ECONNRESET : errno);
    }
    return count;
}

int VSock::SendLine(int slot, const std::string& text, bool more) {
    if (text.size() <= 125) {
        std::string line = text + "\r\n";
        return Send(slot, line.data(), static_cast<int>(line.size()), more);
    }
    int first = Send(slot, text.data(), static_cast<int>(text.size()), true);
    if (first < 0) {
        return first;
    }
    int second = Send(slot, "\r\n", 2, more);
    return second < 0 ? second : first + second;
}

int VSock::Fill(Slot& s) {
    char buffer[kRingSize - 1];
    size_t room = kRingSize - 1 - RingUsed(s);
    if (room == 0) {
        return 0;
    }
    ssize_t n = 0;
    if (s.tls) {
        if (s.plain.empty()) {
            // A whole record at once: decrypted bytes left inside the TLS layer would be
            // invisible to the readiness polls on the socket.
            char record[16 * 1024];
            size_t got = 0;
            TlsIo io = s.tls->Read(record, sizeof record, 0, &got);
            if (io == TlsIo::kTimedOut) {
                return 0;
            }
            if (io != TlsIo::kOk) {
                s.connected = false;
                s.tlsError = s.tls->Error();
                return kVsClosed;
            }
            s.plain.assign(record, got);
        }
        n = static_cast<ssize_t>(std::min(room, s.plain.size()));
        std::memcpy(buffer, s.plain.data(), static_cast<size_t>(n));
        s.plain.erase(0, static_cast<size_t>(n));
    } else {
        n = ::recv(s.fd, buffer, room, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return 0;
        }
        if (n <= 0) {
            s.connected = false;
            return kVsClosed;
        }
    }
    for (ssize_t i = 0; i < n; ++i) {
        s.ring[s.writePos] = buffer[i];
        s.writePos = (s.writePos + 1) % kRingSize;
    }
    return static_cast<int>(n);
}

int VSock::ReadLine(int slot, std::string& out, int size, int firstWaitMs, int nextWaitMs) {
    if (!Valid(slot)) {
        return kVsBadSlot;
    }
    out.clear();
    Slot& s = slots_[slot];
    if (size < 2 || WaitReadable(slot, firstWaitMs) != 1) {
        return 0;
    }
    const size_t limit = static_cast<size_t>(size) - 1;
    while (out.size() < limit) {
        if (RingUsed(s) == 0) {
            if (!out.empty() && WaitReadable(slot, nextWaitMs) != 1) {
                break;  // the rest of the line has not come in time
            }
            int got = Fill(s);
            if (got == kVsClosed) {
                if (out.empty()) {
                    return kVsClosed;
                }
                break;
            }
            if (got == 0) {
                if (out.empty()) {
                    return 0;
                }
                continue;
            }
        }
        bool lineEnd = false;
        while (RingUsed(s) > 0 && out.size() < limit) {
            char c = s.ring[s.readPos];
            s.readPos = (s.readPos + 1) % kRingSize;
            out += c;
            if (c == '\n') {
                lineEnd = true;
                break;
            }
        }
        if (lineEnd) {
            break;
        }
    }
    return static_cast<int>(out.size());
}

int VSock::StartTls(int slot, const std::string& serverName, const TlsOptions& options,
                    int limitMs) {
    if (!Valid(slot)) {
        return kVsBadSlot;
    }
    Slot& s = slots_[slot];
    // Anything that came in the clear before the handshake must not pass for the server's
    // words afterwards.
    s.readPos = s.writePos = 0;
    s.plain.clear();
    auto tls = std::make_unique<TlsSession>();
    if (!tls->Connect(s.fd, serverName, options, limitMs)) {
        s.tlsError = tls->Error();
        return tls->VerifyFailed() ? kVsTlsNotTrusted : kVsTlsFailed;
    }
    s.tls = std::move(tls);
    s.tlsError.clear();
    return kVsOk;
}

std::string VSock::TlsError(int slot) const {
    return Valid(slot) ? slots_[slot].tlsError : std::string();
}

std::string VSock::TlsVersion(int slot) const {
    return Valid(slot) && slots_[slot].tls ? slots_[slot].tls->Version() : std::string();
}

int VSock::Close(int slot) {
    if (!Valid(slot)) {
        return kVsBadSlot;
    }
    Slot& s = slots_[slot];
    int fd;
    {
        std::lock_guard lock(mutex_);
        fd = s.fd;
        if (fd < 0) {
            s.state = SlotState::kFree;
            s.connected = false;
            return kVsOk;
        }
    }
    if (s.tls) {
        s.tls->Close(0);  // close_notify, without waiting for the peer's
    }
    // Linger so queued data still reaches the peer, but for a bounded time.
    linger lingerOption{1, 1};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lingerOption, sizeof lingerOption);
    int rc = ::close(fd);
    int closeErrno = errno;
    {
        std::lock_guard lock(mutex_);
        s.fd = -1;
        s.tls.reset();
        s.plain.clear();
        s.readPos = s.writePos = 0;
        s.connected = false;
        s.state = SlotState::kFree;
    }
    return rc == 0 ? kVsOk : -WinSockCode(closeErrno);
}

int VSock::Connected(int slot) {
    if (!Valid(slot)) {
        return kVsBadSlot;
    }
    return slots_[slot].connected ? 1 : 0;
}

void VSock::EmptyReceiveBuffer(int slot) {
    if (Valid(slot)) {
        slots_[slot].readPos = slots_[slot].writePos = 0;
    }
}

uint32_t VSock::Address(int slot) const {
    return Valid(slot) ? slots_[slot].address : 0;
}

}  // namespace orvex
