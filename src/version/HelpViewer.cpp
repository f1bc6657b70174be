#include "version/HelpViewer.h"

#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

namespace {

std::string ProgramDir() {
    char buffer[4096];
    ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return std::string();
    }
    std::string path(buffer, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
}

bool IsFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::vector<std::string> DefaultHelpDirs() {
    std::vector<std::string> dirs;
    const std::string programDir = ProgramDir();
    if (!programDir.empty()) {
        dirs.push_back(programDir + "/help");
        dirs.push_back(programDir + "/../share/orvex/help");
    }
#ifdef ORVEX_HELP_SOURCE_DIR
    dirs.push_back(ORVEX_HELP_SOURCE_DIR);
#endif
    return dirs;
}

bool HelpViewer::ShowHelp() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unavailable_) {
        return false;
    }
    if (topicPath_.empty()) {
        for (const std::string& dir : helpDirs_) {
            std::string candidate = dir + "/" + kHelpTopic;
            // The viewer gets an absolute path; a relative one would depend on its directory.
            if (!candidate.empty() && candidate.front() == '/' && IsFile(candidate)) {
                topicPath_ = candidate;
                break;
            }
        }
    }
    if (topicPath_.empty() || !launcher_.Open(topicPath_)) {
        unavailable_ = true;
        return false;
    }
    return true;
}

}  // namespace orvex
