#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "TempDir.h"

namespace orvex::test {

// A real name server (BIND 9, `named -g`) started by a test on 127.0.0.1 (and ::1 where the
// system has it) at a free port. It
// serves the zone "example.test" from a temporary directory and takes dynamic updates signed
// with its TSIG key (hmac-sha256), which may change every name in the zone. The zone starts
// with "home.example.test. 300 IN A 198.51.100.7". Stopped on destruction.
class NameServer {
public:
    NameServer();
    ~NameServer();
    NameServer(const NameServer&) = delete;
    NameServer& operator=(const NameServer&) = delete;

    // Whether `named` and `dig` are installed (scripts/deps installs them).
    static bool Installed();

    bool Ready() const { return port_ > 0; }
    int Port() const { return port_; }
    std::string Zone() const { return "example.test"; }
    std::string KeyName() const { return "orvex-update-key"; }
    std::string KeySecret() const;
    // A second key the server knows but that may update nothing.
    std::string OtherKeyName() const { return "orvex-other-key"; }
    std::string OtherKeySecret() const;
    // Seconds from starting the server until it answered.
    double StartSeconds() const { return startSeconds_; }
    // The server's own messages (why it did not start, what it did with an update).
    std::string Log() const;

    // The records of `name` and `type` ("A", "AAAA", ...) as the server answers them, each as
    // "<ttl> <data>" ("600 192.0.2.1"), sorted; empty when there are none or no answer came.
    std::vector<std::string> Query(const std::string& name, const std::string& type) const;

    void Stop();

private:
    bool Start(int port);

    TempDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
    double startSeconds_ = 0;
};

}  // namespace orvex::test
