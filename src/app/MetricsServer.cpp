#include "app/MetricsServer.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/ListenAddress.h"

namespace orvex {

namespace {

// A label value as the exposition format wants it: backslash, double quote and line feed
// escaped.
std::string LabelValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n";
    out += std::string("# TYPE ") + name + " " + type + "\n";
}

constexpr size_t kMaxRequestBytes = 8192;

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 503:
            return "Service Unavailable";
        default:
            return "Bad Request";
    }
}

}  // namespace

std::string MetricsText(const CycleRecord::Snapshot& record, const MetricsAddresses& addresses) {
    std::string out;
    Family(out, "orvex_cycles_total", "counter",
           "Online cycles since the start, by how they ended.");
    out += "orvex_cycles_total{result=\"online\"} " + std::to_string(record.onlineCycles) + "\n";
    out += "orvex_cycles_total{result=\"failed\"} " + std::to_string(record.failedCycles) + "\n";
    Family(out, "orvex_step_failures_total", "counter",
           "Failed steps of the online cycles since the start.");
    for (CycleStep step : kCycleSteps) {
        out += std::string("orvex_step_failures_total{step=\"") + CycleStepName(step) + "\"} " +
               std::to_string(record.stepFailures[static_cast<size_t>(step)]) + "\n";
    }
    Family(out, "orvex_last_success_timestamp_seconds", "gauge",
           "When an online cycle last ended well (Unix time; 0: not since the start).");
    out += "orvex_last_success_timestamp_seconds " +
           std::to_string(static_cast<long long>(record.lastSuccess)) + "\n";
    Family(out, "orvex_wan_address_info", "gauge", "The WAN address found last.");
    if (!addresses.wan.empty()) {
        out += "orvex_wan_address_info{address=\"" + LabelValue(addresses.wan) + "\"} 1\n";
    }
    Family(out, "orvex_wan6_address_info", "gauge", "The WAN IPv6 address found last.");
    if (!addresses.wan6.empty()) {
        out += "orvex_wan6_address_info{address=\"" + LabelValue(addresses.wan6) + "\"} 1\n";
    }
    Family(out, "orvex_dynamic_dns_updates_total", "counter",
           "Dynamic DNS updates sent since the start, by host name and result.");
    for (const CycleRecord::NameCounts& name : record.names) {
        for (NameResult result :
             {NameResult::kUpdated, NameResult::kCurrent, NameResult::kFailed}) {
            out += "orvex_dynamic_dns_updates_total{host=\"" + LabelValue(name.host) +
                   "\",result=\"" + NameResultName(result) + "\"} " +
                   std::to_string(name.byResult[static_cast<size_t>(result)]) + "\n";
        }
    }
    return out;
}

MetricsAnswer AnswerMetricsRequest(const std::string& method, const std::string& path,
                                   const CycleRecord::Snapshot& record,
                                   const MetricsAddresses& addresses) {
    MetricsAnswer answer;
    // The query, if any, changes nothing.
    const std::string target = path.substr(0, path.find('?'));
    if (method != "GET" && method != "HEAD") {
        answer.status = 405;
        answer.body = "only GET\n";
    } else if (target == "/metrics") {
        answer.contentType = "text/plain; version=0.0.4; charset=utf-8";
        answer.body = MetricsText(record, addresses);
    } else if (target == "/healthz") {
        if (record.anyEnded && !record.lastOk) {
            answer.status = 503;
            answer.body = "failed: " + record.lastFailure + "\n";
        } else {
            answer.body = "ok\n";
        }
    } else {
        answer.status = 404;
        answer.body = "not found: /metrics and /healthz are served\n";
    }
    return answer;
}

MetricsServer::MetricsServer(Handler handler, int timeoutSeconds)
    : handler_(std::move(handler)), timeoutSeconds_(timeoutSeconds < 1 ? 1 : timeoutSeconds) {}

MetricsServer::~MetricsServer() {
    if (thread_.joinable()) {
        const char stop = 's';
        [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &stop, 1);
        thread_.join();
    }
    for (int fd : {listenFd_, stopPipe_[0], stopPipe_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool MetricsServer::Start(const std::string& address, std::string* error) {
    std::string host;
    int port = 0;
    if (!SplitListenAddress(address, &host, &port)) {
        *error = "\"" + address + "\" is not host:port (an IPv6 address in brackets)";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int rc =
        ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        *error = "cannot resolve " + host + ": " + ::gai_strerror(rc);
        return false;
    }
    int fd = -1;
    int lastError = 0;
    for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 8) != 0) {
            lastError = errno;
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        *error = "cannot listen on " + address + ": " + std::strerror(lastError);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                        : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    if (::pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = std::string("cannot make a pipe: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    listenFd_ = fd;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void MetricsServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            AnswerOne(fd);
            ::close(fd);
        }
    }
}

void MetricsServer::AnswerOne(int fd) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds_);
    auto wait = [&](short events) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        pollfd fds[2] = {{fd, events, 0}, {stopPipe_[0], POLLIN, 0}};
        return ::poll(fds, 2, static_cast<int>(left)) > 0 && (fds[1].revents & POLLIN) == 0 &&
               (fds[0].revents & (events | POLLHUP | POLLERR)) != 0;
    };

    std::string request;
    while (request.find("\r\n\r\n") == std::string::npos &&
           request.find("\n\n") == std::string::npos) {
        if (request.size() >= kMaxRequestBytes || !wait(POLLIN)) {
            return;
        }
        char buffer[1024];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        request.append(buffer, static_cast<size_t>(n));
    }
    // "METHOD /path HTTP/1.x"
    const std::string line = request.substr(0, request.find_first_of("\r\n"));
    const size_t first = line.find(' ');
    const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    MetricsAnswer answer;
    std::string method;
    if (second == std::string::npos) {
        answer.status = 400;
        answer.body = "bad request\n";
    } else {
        method = line.substr(0, first);
        answer = handler_(method, line.substr(first + 1, second - first - 1));
    }
    std::string reply = "HTTP/1.1 " + std::to_string(answer.status) + " " + Reason(answer.status) +
                        "\r\nContent-Type: " + answer.contentType +
                        "\r\nContent-Length: " + std::to_string(answer.body.size()) +
                        "\r\nConnection: close\r\n\r\n";
    if (method != "HEAD") {
        reply += answer.body;
    }
    size_t sent = 0;
    while (sent < reply.size()) {
        const ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!wait(POLLOUT)) {
                return;
            }
            continue;
        }
        if (n <= 0) {
            return;
        }
        sent += static_cast<size_t>(n);
    }
}

}  // namespace orvex
