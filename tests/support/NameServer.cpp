#include "NameServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sstream>
#include <thread>

extern char** environ;

namespace orvex::test {

namespace {

constexpr const char* kNamed = "/usr/sbin/named";
constexpr const char* kDig = "/usr/bin/dig";
constexpr const char* kKeySecret = "b3J2ZXgtdXBkYXRlLWtleS1mb3ItdGhlLXRlc3RzLTI1Ng==";
constexpr const char* kOtherKeySecret = "b3J2ZXgtb3RoZXIta2V5LWZvci10aGUtdGVzdHMtMjU2Lg==";

using Clock = std::chrono::steady_clock;

// Binds a UDP socket and a TCP socket of `family` to the loopback address at `port` (0: any);
// the port they got, 0 when the port is taken, -1 when the family has no loopback here.
int ProbePort(int family, int port) {
    sockaddr_storage storage{};
    socklen_t size = 0;
    if (family == AF_INET) {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        in4->sin_port = htons(static_cast<uint16_t>(port));
        size = sizeof *in4;
    } else {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_addr = in6addr_loopback;
        in6->sin6_port = htons(static_cast<uint16_t>(port));
        size = sizeof *in6;
    }
    auto* address = reinterpret_cast<sockaddr*>(&storage);
    const int udp = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int tcp = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int result = 0;
    socklen_t length = size;
    if (::bind(udp, address, size) != 0) {
        result = errno == EADDRINUSE ? 0 : -1;
    } else if (::getsockname(udp, address, &length) == 0 && ::bind(tcp, address, size) == 0) {
        result = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in*>(address)->sin_port
                                         : reinterpret_cast<sockaddr_in6*>(address)->sin6_port);
    }
    ::close(udp);
    ::close(tcp);
    return result;
}

// A port free just now for UDP and TCP on 127.0.0.1, and on ::1 where there is one.
int FreePort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int port = ProbePort(AF_INET, 0);
        if (port > 0 && ProbePort(AF_INET6, port) != 0) {
            return port;
        }
    }
    return 0;
}

pid_t Spawn(const std::vector<std::string>& args, int outFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, outFd, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Whether `pid` ended within `ms`; reaps it.
bool WaitExit(pid_t pid, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    do {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < deadline);
    return false;
}

}  // namespace

bool NameServer::Installed() {
    return ::access(kNamed, X_OK) == 0 && ::access(kDig, X_OK) == 0;
}

std::string NameServer::KeySecret() const {
    return kKeySecret;
}

std::string NameServer::OtherKeySecret() const {
    return kOtherKeySecret;
}

NameServer::NameServer() {
    if (!Installed()) {
        return;
    }
    WriteFile(dir_.File("example.test.zone"),
              "$TTL 300\n"
              "@ IN SOA ns.example.test. admin.example.test. 1 3600 600 86400 300\n"
              "@ IN NS ns.example.test.\n"
              "ns IN A 127.0.0.1\n"
              "home IN A 198.51.100.7\n");
    // Another program may take the port between the probe and the start; try a new one then.
    for (int attempt = 0; attempt < 3 && !Ready(); ++attempt) {
        Start(FreePort());
    }
}

NameServer::~NameServer() {
    Stop();
}

bool NameServer::Start(int port) {
    if (port <= 0) {
        return false;
    }
    const std::string& d = dir_.Path();
    std::ostringstream conf;
    conf << "options {\n"
         << "  directory \"" << d << "\";\n"
         << "  pid-file none;\n"
         << "  session-keyfile none;\n"
         << "  listen-on port " << port << " { 127.0.0.1; };\n"
         << "  listen-on-v6 port " << port << " { ::1; };\n"
         << "  recursion no;\n"
         << "  dnssec-validation no;\n"
         << "  notify no;\n"
         << "};\n"
         << "controls { };\n"
         << "key \"" << KeyName() << "\" { algorithm hmac-sha256; secret \"" << kKeySecret
         << "\"; };\n"
         << "key \"" << OtherKeyName() << "\" { algorithm hmac-sha256; secret \"" << kOtherKeySecret
         << "\"; };\n"
         << "zone \"example.test\" {\n"
         << "  type primary;\n"
         << "  file \"" << d << "/example.test.zone\";\n"
         << "  update-policy { grant " << KeyName() << " zonesub ANY; };\n"
         << "};\n";
    WriteFile(dir_.File("named.conf"), conf.str());

    const std::string logPath = dir_.File("named.log");
    const int logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (logFd < 0) {
        return false;
    }
    const auto started = Clock::now();
    // In the foreground (-g), logging to standard error, as whoever runs the tests.
    pid_ = Spawn({kNamed, "-g", "-c", dir_.File("named.conf")}, logFd);
    ::close(logFd);
    if (pid_ <= 0) {
        return false;
    }
    const auto deadline = started + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        // Its last start-up line is the single word "running", after the time stamp.
        const std::string log = Log();
        if (log.find(" running\n") != std::string::npos) {
            port_ = port;
            startSeconds_ = std::chrono::duration<double>(Clock::now() - started).count();
            return true;
        }
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
    return false;
}

void NameServer::Stop() {
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    if (!WaitExit(pid_, 5000)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
    port_ = 0;
}

std::string NameServer::Log() const {
    return ReadFile(dir_.File("named.log"));
}

std::vector<std::string> NameServer::Query(const std::string& name, const std::string& type) const {
    std::vector<std::string> records;
    int pipeFd[2];
    if (!Ready() || ::pipe2(pipeFd, O_CLOEXEC) != 0) {
        return records;
    }
    const pid_t pid = Spawn({kDig, "@127.0.0.1", "-p", std::to_string(port_), "+norecurse",
                             "+noall", "+answer", "+time=3", "+tries=2", name, type},
                            pipeFd[1]);
    ::close(pipeFd[1]);
    std::string output;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (pid > 0 && Clock::now() < deadline) {
        pollfd p{pipeFd[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(pipeFd[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        output.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFd[0]);
    if (pid > 0 && !WaitExit(pid, 1000)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    // "home.example.test.  600  IN  A  192.0.2.1"
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string owner, ttl, rrClass, rrType, data, word;
        if (!(fields >> owner >> ttl >> rrClass >> rrType) || owner.front() == ';') {
            continue;
        }
        while (fields >> word) {
            data += (data.empty() ? "" : " ") + word;
        }
        records.push_back(ttl + " " + data);
    }
    std::sort(records.begin(), records.end());
    return records;
}

}  // namespace orvex::test
