#include "ftp/FtpLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "platform/NameResolver.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace ftp {

namespace {

// One number of a PASV reply: blanks around it and leading zeros are allowed ("001"); -1 when
// it is no number from 0 to 255.
int PasvByte(const std::string& field) {
    const size_t first = field.find_first_not_of(" \t");
    const size_t last = field.find_last_not_of(" \t");
    if (first == std::string::npos) {
        return -1;
    }
    const std::string digits = field.substr(first, last - first + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos) {
        return -1;
    }
    const size_t significant = digits.find_first_not_of('0');
    if (significant != std::string::npos && digits.size() - significant > 3) {
        return -1;
    }
    const int value = AsciiToInt(digits);
    return value <= 255 ? value : -1;
}

}  // namespace

bool ParsePasvReply(const std::string& reply, std::string* host, int* port) {
    const size_t open = reply.find('(');
    const size_t close = reply.find(')');
    if (open == std::string::npos || close == std::string::npos) {
        return false;
    }
    const std::string inner =
        close > open ? reply.substr(open + 1, close - open - 1) : std::string();
    std::vector<std::string> fields;
    size_t start = 0;
    while (true) {
        const size_t comma = inner.find(',', start);
        fields.push_back(inner.substr(start, comma - start));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    std::vector<int> bytes;
    for (const std::string& field : fields) {
        bytes.push_back(PasvByte(field));
    }
    if (bytes.size() != 6 || std::find(bytes.begin(), bytes.end(), -1) != bytes.end()) {
        // Not six numbers from 0 to 255: no usable address, which the connect reports.
        *host = inner;
        *port = -1;
        return true;
    }
    *host = std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
            std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
    *port = bytes[4] * 256 + bytes[5];
    return true;
}

bool ParseEpsvReply(const std::string& reply, int* port) {
    // "229 Entering Extended Passive Mode (|||6446|)": any one printable delimiter, used four
    // times, with only the port between the third and the fourth.
    const size_t open = reply.find('(');
    if (open == std::string::npos || open + 5 > reply.size()) {
        return false;
    }
    const char d = reply[open + 1];
    if (d < 33 || d > 126 || reply[open + 2] != d || reply[open + 3] != d) {
        return false;
    }
    size_t i = open + 4;
    long value = 0;
    size_t digits = 0;
    while (i < reply.size() && reply[i] >= '0' && reply[i] <= '9' && digits < 6) {
        value = value * 10 + (reply[i] - '0');
        ++digits;
        ++i;
    }
    if (digits == 0 || i >= reply.size() || reply[i] != d || value < 1 || value > 65535) {
        return false;
    }
    *port = static_cast<int>(value);
    return true;
}

std::string EprtArgument(const std::string& address, int port) {
    const bool v6 = address.find(':') != std::string::npos;
    return std::string(v6 ? "|2|" : "|1|") + address + "|" + std::to_string(port) + "|";
}

int64_t TransferLimitMs(int64_t floorMs, uint64_t bytes) {
    const uint64_t allowance = bytes / kSlowestBytesPerSecond * 1000 +
                               bytes % kSlowestBytesPerSecond * 1000 / kSlowestBytesPerSecond;
    return static_cast<int64_t>(
        std::min<uint64_t>(static_cast<uint64_t>(floorMs) + allowance, kMaxDeadlineMs));
}

std::string PortArgument(const std::string& address, int port) {
    std::string text = address;
    for (char& c : text) {
        if (c == '.') {
            c = ',';
        }
    }
    return text + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

namespace {

// How long the clean close of a TLS data connection waits for the server's close_notify.
constexpr int kDataTlsCloseMs = 2000;

enum class DataConnect { kMade, kRefused, kTimedOut };

// Starts a non-blocking connect of a new socket to the passive data address; the outcome is
// awaited only after the server has answered the transfer command. An invalid socket with
// `refused` false is a local failure; with `refused` true the peer turned the connection down.
UniqueFd StartDataConnect(const std::string& host, int port, std::string* detail, bool* refused) {
    *refused = false;
    SocketAddress target;
    if (port <= 0 || port > 65535 ||
        !ParseNumericAddress(host, static_cast<uint16_t>(port), &target)) {
        *detail = "unusable passive address " + host + ":" + std::to_string(port);
        return {};
    }
    UniqueFd fd(::socket(target.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.Valid()) {
        *detail = ErrnoText("socket", errno);
        return {};
    }
    if (::connect(fd.Get(), target.Get(), target.length) != 0 && errno != EINPROGRESS &&
        errno != EINTR) {
        *detail = ErrnoText("data connect", errno);
        *refused = true;
        return {};
    }
    return fd;
}

// Waits for a started data connect to complete.
DataConnect FinishDataConnect(int fd, const Deadline& deadline, std::string* detail) {
    IoResult waited = WaitReady(fd, POLLOUT, deadline);
    if (waited == IoResult::kTimedOut) {
        *detail =
            "data connection not made within " + std::to_string(deadline.LimitMs() / 1000) + " s";
        return DataConnect::kTimedOut;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (waited != IoResult::kOk || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
        error = errno;
    }
    if (error != 0) {
        *detail = ErrnoText("data connect", error);
        return DataConnect::kRefused;
    }
    return DataConnect::kMade;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

}  // namespace ftp

bool CFtpLink::Transfer(const std::string& remoteName, const std::string& localName, bool passive,
                        bool download) {
    using ftp::IoResult;
    using ftp::UniqueFd;

    const std::string path = MapLocal(localName);
    UniqueFd file(download ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                           : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid()) {
        return FailLocal(FtpLocalFailure::kLocalFile, ftp::ErrnoText("open " + path, errno));
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return FailLocal(FtpLocalFailure::kLocalFile, "open " + path + ": not a file");
    }

    // Image type always, whatever the caller set before: the bytes must cross unchanged.
    if (!Command("TYPE I")) {
        return false;
    }

    std::string dataHost;
    int dataPort = 0;
    CTimeoutSocket listener(timeoutSeconds_, clock_);
    if (!AnnounceDataChannel(passive, listener, &dataHost, &dataPort)) {
        return false;
    }

    if (!SendLine((download ? "RETR " : "STOR ") + remoteName)) {
        return false;
    }

    // A passive data connection the server's side turns down is not the end: the server
    // notices too, and its final reply ("425 ...") is what the user should see.
    UniqueFd data;
    bool dataRefused = false;
    std::string dataDetail;
    if (passive) {
        data = ftp::StartDataConnect(dataHost, dataPort, &dataDetail, &dataRefused);
        if (!data.Valid() && !dataRefused) {
            return FailLocal(FtpLocalFailure::kConnection, dataDetail);
        }
    }

    if (!ReadReply()) {
        return false;
    }
    if (replyClass_ != 1) {
        return false;
    }

    // From here the data connection, its handshake and every byte have one bound, so a server
    // that trickles its data cannot hold the cycle. A download's grows with what it takes.
    Deadline whole(
        ftp::TransferLimitMs(idleLimitMs_, download ? 0 : static_cast<uint64_t>(info.st_size)),
        clock_);
    const Deadline idle(idleLimitMs_, clock_);
    if (passive) {
        const ftp::DataConnect made =
            dataRefused ? ftp::DataConnect::kRefused
                        : ftp::FinishDataConnect(data.Get(), idle.Earlier(whole), &dataDetail);
        if (made == ftp::DataConnect::kTimedOut) {
            return FailLocal(FtpLocalFailure::kConnection, dataDetail);
        }
        if (made == ftp::DataConnect::kRefused) {
            data.Reset();
            file.Reset();
            return Command("");
        }
    } else {
        bool timedOut = false;
        data = listener.Accept(idle.Earlier(whole), &timedOut);
        if (!data.Valid()) {
            if (timedOut) {
                return FailLocal(FtpLocalFailure::kConnection, listener.FailureDetail());
            }
            NoteFailure(FtpLocalFailure::kConnection, listener.FailureDetail());
            return false;
        }
    }

    // With TLS the data connection resumes the control connection's session: servers tie
    // the two together that way.
    std::unique_ptr<TlsSession> dataTls;
    if (controlTls_) {
        dataTls = std::make_unique<TlsSession>();
        if (!dataTls->ConnectResuming(data.Get(), *controlTls_,
                                      std::min(idleLimitMs_, whole.LeftMs()))) {
            return FailLocal(FtpLocalFailure::kTls, "data connection: " + dataTls->Error());
        }
    }

    if (!(download ? ReceiveToFile(data.Get(), dataTls.get(), file.Get(), path, whole)
                   : SendFromFile(data.Get(), dataTls.get(), file.Get(), path, whole))) {
        return false;
    }

    // The data socket closes first: for an upload that is what tells the server it is done.
    // Over TLS a close_notify says so first; without it a server may count the file as cut.
    if (dataTls) {
        dataTls->Close(ftp::kDataTlsCloseMs);
        dataTls.reset();
    }
    data.Reset();
    if (file.Reset() != 0 && download) {
        return FailLocal(FtpLocalFailure::kFileData, ftp::ErrnoText("close " + path, errno));
    }
    return Command("");
}

bool CFtpLink::AnnounceDataChannel(bool passive, CTimeoutSocket& listener, std::string* dataHost,
                                   int* dataPort) {
    // PASV and PORT carry IPv4 addresses only; over IPv6 the extended commands take their
    // place, and the data connection goes to the control connection's peer.
    const bool extended = control_ && control_->Family() == AF_INET6;
    if (passive && extended) {
        if (!Command("EPSV")) {
            return false;
        }
        if (!ftp::ParseEpsvReply(replyText_, dataPort) || !control_->PeerAddress(dataHost)) {
            NoteFailure(FtpLocalFailure::kNone, "extended passive reply without a port");
            return false;
        }
    } else if (passive) {
        if (!Command("PASV")) {
            return false;
        }
        if (!ftp::ParsePasvReply(replyText_, dataHost, dataPort)) {
            NoteFailure(FtpLocalFailure::kNone, "passive reply without an address");
            return false;
        }
        // Straight to the server, the data connection goes where the control connection went:
        // a server behind NAT often names its private address, and a hostile one could send
        // the upload to a third machine. A proxy relays the data itself, so its reply stands.
        std::string peer;
        if (direct_ && *dataPort >= 0 && control_ && control_->PeerAddress(&peer) &&
            peer != *dataHost) {
            if (replacedPassiveAddress_.empty()) {
                replacedPassiveAddress_ = *dataHost;
                passivePeerAddress_ = peer;
            }
            *dataHost = peer;
        }
    } else {
        replyText_.clear();
        std::string address;
        uint16_t controlPort = 0;
        if (!control_ || !control_->LocalAddress(&address, &controlPort)) {
            return FailLocal(FtpLocalFailure::kConnection, "no local address");
        }
        // Listen only on the address PORT names, not on every interface of the machine.
        uint16_t listenPort = 0;
        std::string listenAddress;
        if (!listener.Create() || !listener.Listen(address, 5) ||
            !listener.LocalAddress(&listenAddress, &listenPort)) {
            return FailLocal(FtpLocalFailure::kConnection, listener.FailureDetail());
        }
        if (!Command(extended ? "EPRT " + ftp::EprtArgument(address, listenPort)
                              : "PORT " + ftp::PortArgument(address, listenPort))) {
            return false;
        }
    }
    return true;
}

std::string CFtpLink::PassiveRouteNotice() const {
    if (replacedPassiveAddress_.empty()) {
        return "";
    }
    return "The server's passive reply named " + replacedPassiveAddress_ +
           "; the data connection went to " + passivePeerAddress_ +
           ", where the control connection went.";
}

bool CFtpLink::FailDataWait(const Deadline& whole) {
    if (!whole.Passed()) {
        return FailLocal(FtpLocalFailure::kConnection, "data stalled");
    }
    const std::string detail =
        "the transfer was not done within " + std::to_string(whole.LimitMs() / 1000) + " s";
    return FailAs(FtpLocalFailure::kConnection, detail, {FailureClass::kOther, 0, detail});
}

bool CFtpLink::ReceiveToFile(int data, TlsSession* tls, int file, const std::string& path,
                             Deadline& whole) {
    using ftp::IoResult;
    // One buffer for the whole transfer: large passes keep the system calls per megabyte few.
    auto buffer = std::make_unique_for_overwrite<char[]>(ftp::kDataPassSize);
    uint64_t total = 0;
    while (true) {
        size_t received = 0;
        IoResult result =
            ftp::StreamReceive(data, tls, buffer.get(), ftp::kDataPassSize,
                               Deadline(idleLimitMs_, clock_).Earlier(whole), &received);
        if (result == IoResult::kTimedOut) {
            return FailDataWait(whole);
        }
        if (result != IoResult::kOk) {
            return true;
        }
        if (!ftp::WriteAll(file, buffer.get(), received)) {
            return FailLocal(FtpLocalFailure::kFileData, ftp::ErrnoText("write " + path, errno));
        }
        whole.Extend(ftp::TransferLimitMs(0, total + received) - ftp::TransferLimitMs(0, total));
        total += received;
    }
}

bool CFtpLink::SendFromFile(int data, TlsSession* tls, int file, const std::string& path,
                            const Deadline& whole) {
    using ftp::IoResult;
    auto buffer = std::make_unique_for_overwrite<char[]>(ftp::kDataPassSize);
    // [pending, filled) is read from the file but not yet taken by the socket; what one pass
    // leaves goes out in the next, before the file is read again.
    size_t pending = 0;
    size_t filled = 0;
    while (true) {
        if (pending == filled) {
            ssize_t got = ::read(file, buffer.get(), ftp::kDataPassSize);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return FailLocal(FtpLocalFailure::kFileData, ftp::ErrnoText("read " + path, errno));
            }
            if (got == 0) {
                return true;
            }
            pending = 0;
            filled = static_cast<size_t>(got);
        }
        size_t sent = 0;
        IoResult result;
        const Deadline wait = Deadline(idleLimitMs_, clock_).Earlier(whole);
        if (tls != nullptr) {
            result = ftp::StreamSendAll(data, tls, buffer.get() + pending, filled - pending, wait);
            sent = filled - pending;
        } else {
            result = ftp::SendSome(data, buffer.get() + pending, filled - pending, wait, &sent);
        }
        if (result == IoResult::kTimedOut) {
            return FailDataWait(whole);
        }
        if (result != IoResult::kOk) {
            return true;
        }
        pending += sent;
    }
}

}  // namespace orvex
