#pragma once

#include <string>

namespace orvex::test {

// A bare TCP listener on one loopback address ("127.0.0.1" or "::1") at a port the system
// picks; it accepts and holds connections but says nothing. Closed on destruction.
class LoopbackListener {
public:
    explicit LoopbackListener(const std::string& address);
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool Ready() const { return port_ > 0; }
    int Port() const { return port_; }
    // Waits at most `ms` for a connection; its peer's numeric address, "" when none came.
    std::string AcceptOne(int ms);

private:
    int fd_ = -1;
    int port_ = 0;
    int accepted_ = -1;
};

}  // namespace orvex::test
