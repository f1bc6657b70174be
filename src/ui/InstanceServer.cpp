#include "ui/InstanceServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include "platform/SingleInstance.h"

namespace orvex {

namespace {

// The longest request line read; a longer one is no request and asks to be shown.
constexpr int kMaxLine = 63;
constexpr int kLineWaitMs = 1000;

// One caller: its line is read as it comes, within a second.
class Caller : public QObject {
public:
    Caller(int fd, std::function<void(const QByteArray&)> handle, QObject* parent)
        : QObject(parent),
          fd_(fd),
          handle_(std::move(handle)),
          notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this)) {
        connect(notifier_, &QSocketNotifier::activated, this, &Caller::Read);
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this] { Finish(true); });
        timer->start(kLineWaitMs);
    }
    ~Caller() override { ::close(fd_); }

private:
    void Read() {
        char chunk[kMaxLine + 1];
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return;
        }
        if (got <= 0) {
            // Hung up (or failed) before a whole line: nothing was asked.
            Finish(false);
            return;
        }
        buffer_.append(chunk, static_cast<int>(got));
        if (buffer_.contains('\n') || buffer_.size() >= kMaxLine) {
            Finish(true);
        }
    }

    void Finish(bool handle) {
        if (done_) {
            return;
        }
        done_ = true;
        notifier_->setEnabled(false);
        if (handle) {
            const qsizetype end = buffer_.indexOf('\n');
            handle_(buffer_.left(end < 0 ? kMaxLine : end).left(kMaxLine).trimmed());
        }
        // Closing tells the caller its request was handled.
        deleteLater();
    }

    int fd_;
    std::function<void(const QByteArray&)> handle_;
    QSocketNotifier* notifier_;
    QByteArray buffer_;
    bool done_ = false;
};

}  // namespace

InstanceServer::InstanceServer(std::function<void()> onShowRequest,
                               std::function<void()> onRefreshRequest, QObject* parent)
    : QObject(parent),
      onShowRequest_(std::move(onShowRequest)),
      onRefreshRequest_(std::move(onRefreshRequest)) {}

InstanceServer::~InstanceServer() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void InstanceServer::Accept() {
    for (;;) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        new Caller(
            fd, [this](const QByteArray& line) { Handle(line); }, this);
    }
}

void InstanceServer::Handle(const QByteArray& line) {
    if (line == "refresh") {
        onRefreshRequest_();
    } else {
        onShowRequest_();
    }
}

bool InstanceServer::Listen() {
    const std::string path = SingleInstance::SocketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd_ >= 0 || path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        return false;
    }
    // We hold the instance lock, so a socket file left behind is stale.
    ::unlink(path.c_str());
    // Only this user may connect.
    const mode_t before = ::umask(0077);
    const bool bound = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::umask(before);
    if (!bound || ::chmod(path.c_str(), S_IRWXU) != 0 || ::listen(fd_, 8) != 0) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &InstanceServer::Accept);
    return true;
}

}  // namespace orvex
