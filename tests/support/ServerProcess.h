#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace orvex::test {

// A server started by a test: a program run with arguments, which must print a line
// "READY <port>" on its standard output once it listens on 127.0.0.1. Everything else it
// prints goes to a log file the test can read. Stopped (SIGTERM, then SIGKILL) on destruction.
class ServerProcess {
public:
    ServerProcess(const std::string& program, const std::vector<std::string>& args,
                  int readyTimeoutMs = 15000);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool Ready() const { return port_ > 0; }
    int Port() const { return port_; }
    // Standard output after the ready line, and standard error.
    std::string Log() const;
    void Stop();

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string logPath_;
};

// Path of a launcher script in tests/peers/.
std::string PeerScript(const std::string& name);
// The Python interpreter tests use for their servers.
inline constexpr const char* kPython = "/usr/bin/python3";

}  // namespace orvex::test
