#include "platform/DesktopLauncher.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/ChildProcess.h"

namespace orvex {

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindExecutable(const std::string& program) {
    if (program.empty()) {
        return std::string();
    }
    if (program.find('/') != std::string::npos) {
        return IsExecutableFile(program) ? program : std::string();
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t colon = dirs.find(':', start);
        if (colon == std::string::npos) {
            colon = dirs.size();
        }
        std::string dir = dirs.substr(start, colon - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        start = colon + 1;
    }
    return std::string();
}

bool XdgLauncher::Open(const std::string& target) {
    if (target.empty() || target.front() == '-') {
        return false;
    }
    const std::string opener = FindExecutable(opener_);
    if (opener.empty()) {
        return false;
    }
    // The viewer may outlive the program: it keeps none of its files or sockets open and is
    // reaped whenever it ends.
    ChildRequest request;
    request.arguments = {opener, target};
    return StartChild(request) == 0;
}

DesktopLauncher& DefaultDesktopLauncher() {
    static XdgLauncher launcher;
    return launcher;
}

}  // namespace orvex
