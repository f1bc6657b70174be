#pragma once

#include <string>

namespace orvex {

// Where the control socket of the service lives: `given` (--socket) when set, else
// $XDG_RUNTIME_DIR/orvexd.sock, else orvexd.sock in `iniFolder`, the folder of Orvex.ini.
std::string ControlSocketPath(const std::string& given, const std::string& iniFolder);

// The service's end of the control socket: a Unix stream socket only its user may open. Each
// caller writes one request line ("status", "refresh") and reads the answer until the service
// closes the connection.
class ControlServer {
public:
    ControlServer() = default;
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Listens at `path`. A socket left there by a service that ended is replaced (the caller
    // holds the one-copy lock); anything else there is left alone and refused.
    bool Listen(const std::string& path, std::string* error);
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

    // Takes one waiting caller and reads its request line, at most kMaxRequest bytes within
    // kRequestMs; the caller's descriptor (to answer on) with `request` set, or -1 when there was
    // none or it sent no whole line in time (its connection is then closed).
    int Accept(std::string* request);

    // Writes `text` to a caller (within kAnswerMs) and closes its connection.
    static void Answer(int fd, const std::string& text);

    static constexpr size_t kMaxRequest = 256;
    static constexpr int kRequestMs = 1000;
    static constexpr int kAnswerMs = 2000;

private:
    int fd_ = -1;
    std::string path_;
};

// The caller's end: sends `request` to the service at `path` and reads its answer within
// `timeoutMs`.
enum class CallResult { kAnswered, kNoService, kFailed };
CallResult CallService(const std::string& path, const std::string& request, int timeoutMs,
                       std::string* answer, std::string* error);

}  // namespace orvex
