#include "platform/HelpPages.h"

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

std::string FindHelpPage(const std::vector<std::string>& dirs, const std::string& page) {
    if (page.empty() || page.find('/') != std::string::npos) {
        return std::string();
    }
    for (const std::string& dir : dirs) {
        // Only absolute paths: a relative one would depend on the current directory.
        const std::string candidate = dir + "/" + page;
        if (!dir.empty() && dir.front() == '/' && IsFile(candidate)) {
            return candidate;
        }
    }
    return std::string();
}

}  // namespace orvex
