#pragma once

#include <string>

namespace orvex {

// The per-user guard that lets only one copy of the program run, the desktop program and the
// service alike. The first copy holds an
// exclusive lock on a file in the user's runtime directory for its whole life; the lock goes
// with the process, however it ends.
class SingleInstance {
public:
    enum class Result { First, AlreadyRunning, Failed };

    // Directory holding the lock and the local socket: $XDG_RUNTIME_DIR, else /tmp, with a
    // per-user folder "orvex-<uid>" made private to the user.
    static std::string RuntimeDir();
    // Path of the local socket named "Orvex" through which a second copy asks the first to
    // show its window.
    static std::string SocketPath();

    // Takes the lock for the program named `holder` ("orvex" for the desktop program,
    // "orvexd" for the service), which is noted in the lock file with the process id.
    Result Acquire(const std::string& holder = "orvex");

    // Who holds the lock: "<program> <pid>" as noted by Acquire, empty when unknown.
    static std::string Holder();

    // Asks the running copy to show its window; false when it cannot be reached within
    // about a second.
    static bool AskFirstCopyToShow();
    // Sends the running copy one request line ("show", "refresh") the same way.
    static bool AskFirstCopy(const std::string& request);
    ~SingleInstance();

private:
    int fd_ = -1;
};

}  // namespace orvex
