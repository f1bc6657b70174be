#include "platform/PathMap.h"

namespace orvex {

std::string MapPath(const std::string& workDir, const std::string& path) {
    std::string mapped = path;
    for (char& c : mapped) {
        if (c == '\\') {
            c = '/';
        }
    }
    if (mapped.empty() || mapped.front() == '/' || workDir.empty()) {
        return mapped;
    }
    if (workDir.back() == '/') {
        return workDir + mapped;
    }
    return workDir + "/" + mapped;
}

}  // namespace orvex
