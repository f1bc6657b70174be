#include "ScriptedPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <sstream>

namespace orvex::test {

namespace {

constexpr int kSliceMs = 20;

std::string Chomp(std::string line) {
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

}  // namespace

ScriptedPeer::ScriptedPeer() : ScriptedPeer("127.0.0.1", 0) {}

ScriptedPeer::ScriptedPeer(const std::string& address, uint16_t port) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    addr.sin_port = htons(port);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 8) != 0) {
        return;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
}

ScriptedPeer::~ScriptedPeer() {
    Stop();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
    }
}

ScriptedPeer& ScriptedPeer::Add(Step step) {
    steps_.push_back(std::move(step));
    return *this;
}

ScriptedPeer& ScriptedPeer::Accept() {
    return Add({Step::kAccept, "", 0, {}, {}});
}
ScriptedPeer& ScriptedPeer::Send(const std::string& bytes) {
    return Add({Step::kSend, bytes, 0, {}, {}});
}
ScriptedPeer& ScriptedPeer::SendLine(const std::string& line) {
    return Send(line + "\r\n");
}
ScriptedPeer& ScriptedPeer::SendComputed(std::function<std::string()> bytes) {
    return Add({Step::kSend, "", 0, std::move(bytes), {}});
}
ScriptedPeer& ScriptedPeer::Expect(const std::string& line) {
    return Add({Step::kExpect, line, 0, {}, {}});
}
ScriptedPeer& ScriptedPeer::ExpectPrefix(const std::string& prefix) {
    return Add({Step::kExpectPrefix, prefix, 0, {}, {}});
}
ScriptedPeer& ScriptedPeer::ReadLine() {
    return Add({Step::kReadLine, "", 0, {}, {}});
}
ScriptedPeer& ScriptedPeer::ReadUntil(const std::string& marker) {
    return Add({Step::kReadUntil, marker, 0, {}, {}});
}
ScriptedPeer& ScriptedPeer::ReadToEnd() {
    return Add({Step::kReadToEnd, "", 0, {}, {}});
}
ScriptedPeer& ScriptedPeer::Pause(int milliseconds) {
    return Add({Step::kPause, "", milliseconds, {}, {}});
}
ScriptedPeer& ScriptedPeer::Trickle(const std::string& bytes, int intervalMs) {
    for (char c : bytes) {
        Pause(intervalMs).Send(std::string(1, c));
    }
    return *this;
}
ScriptedPeer& ScriptedPeer::Hold() {
    return Add({Step::kHold, "", 0, {}, {}});
}
ScriptedPeer& ScriptedPeer::Close() {
    return Add({Step::kClose, "", 0, {}, {}});
}
ScriptedPeer& ScriptedPeer::Do(std::function<void(int fd)> step) {
    return Add({Step::kDo, "", 0, {}, std::move(step)});
}
ScriptedPeer& ScriptedPeer::SetStepTimeout(int milliseconds) {
    stepTimeoutMs_ = milliseconds;
    return *this;
}

void ScriptedPeer::Start() {
    thread_ = std::thread([this] { Run(); });
}

bool ScriptedPeer::Finish(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done_.load() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!done_.load()) {
        Fail("script did not finish in time");
    }
    Stop();
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_.empty();
}

void ScriptedPeer::Stop() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    CloseClient();
}

std::string ScriptedPeer::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<std::string> ScriptedPeer::ReceivedLines() const {
    std::vector<std::string> lines;
    std::istringstream in(Received());
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(Chomp(line));
    }
    return lines;
}

std::vector<std::string> ScriptedPeer::Errors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_;
}

std::string ScriptedPeer::Report() const {
    std::ostringstream out;
    for (const std::string& e : Errors()) {
        out << "peer: " << e << "\n";
    }
    out << "received:\n";
    for (const std::string& line : ReceivedLines()) {
        out << "  > " << line << "\n";
    }
    return out.str();
}

void ScriptedPeer::Fail(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.push_back(what);
}

void ScriptedPeer::CloseClient() {
    if (clientFd_ >= 0) {
        ::close(clientFd_);
        clientFd_ = -1;
    }
}

bool ScriptedPeer::AcceptOne() {
    CloseClient();
    pending_.clear();
    connectionBytes_.clear();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(stepTimeoutMs_);
    while (!stop_.load()) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, kSliceMs) > 0) {
            clientFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (clientFd_ >= 0) {
                ++connections_;
                return true;
            }
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Fail("no connection came");
            return false;
        }
    }
    return false;
}

bool ScriptedPeer::EnsureConnected() {
    return clientFd_ >= 0 || AcceptOne();
}

// Reads what is there; false on time-out, close or stop.
bool ScriptedPeer::ReadMore(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!stop_.load()) {
        pollfd p{clientFd_, POLLIN, 0};
        int ready = ::poll(&p, 1, kSliceMs);
        if (ready > 0) {
            char buffer[4096];
            ssize_t n = ::recv(clientFd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return false;
            }
            pending_.append(buffer, static_cast<size_t>(n));
            connectionBytes_.append(buffer, static_cast<size_t>(n));
            std::lock_guard<std::mutex> lock(mutex_);
            received_.append(buffer, static_cast<size_t>(n));
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
    }
    return false;
}

bool ScriptedPeer::TakeLine(std::string* line) {
    while (true) {
        size_t nl = pending_.find('\n');
        if (nl != std::string::npos) {
            *line = Chomp(pending_.substr(0, nl + 1));
            pending_.erase(0, nl + 1);
            return true;
        }
        if (!ReadMore(stepTimeoutMs_)) {
            return false;
        }
    }
}

void ScriptedPeer::Run() {
    for (size_t i = 0; i < steps_.size() && !stop_.load(); ++i) {
        Step& step = steps_[i];
        const std::string where = "step " + std::to_string(i) + ": ";
        if (step.kind == Step::kAccept) {
            if (!AcceptOne()) {
                break;
            }
            continue;
        }
        if (step.kind == Step::kPause) {
            auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(step.number);
            while (!stop_.load() && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            continue;
        }
        if (step.kind == Step::kDo) {
            step.action(clientFd_);
            continue;
        }
        if (!EnsureConnected()) {
            break;
        }
        switch (step.kind) {
            case Step::kSend: {
                std::string bytes = step.computed ? step.computed() : step.text;
                size_t sent = 0;
                while (sent < bytes.size()) {
                    ssize_t n =
                        ::send(clientFd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                    if (n <= 0) {
                        Fail(where + "send failed");
                        break;
                    }
                    sent += static_cast<size_t>(n);
                }
                break;
            }
            case Step::kExpect:
            case Step::kExpectPrefix:
            case Step::kReadLine: {
                std::string line;
                if (!TakeLine(&line)) {
                    Fail(where + "no line came (expected \"" + step.text + "\")");
                    break;
                }
                if (step.kind == Step::kExpect && line != step.text) {
                    Fail(where + "expected \"" + step.text + "\", got \"" + line + "\"");
                } else if (step.kind == Step::kExpectPrefix && line.rfind(step.text, 0) != 0) {
                    Fail(where + "expected a line starting \"" + step.text + "\", got \"" + line +
                         "\"");
                }
                break;
            }
            case Step::kReadUntil: {
                auto ends = [&] {
                    return connectionBytes_.size() >= step.text.size() &&
                           connectionBytes_.compare(connectionBytes_.size() - step.text.size(),
                                                    step.text.size(), step.text) == 0;
                };
                while (!ends()) {
                    if (!ReadMore(stepTimeoutMs_)) {
                        Fail(where + "marker never came");
                        break;
                    }
                }
                pending_.clear();
                break;
            }
            case Step::kReadToEnd:
                while (ReadMore(stepTimeoutMs_)) {
                }
                pending_.clear();
                break;
            case Step::kHold:
                while (!stop_.load() && ReadMore(1000 * 3600)) {
                }
                break;
            case Step::kClose:
                CloseClient();
                break;
            default:
                break;
        }
    }
    done_ = true;
}

}  // namespace orvex::test
