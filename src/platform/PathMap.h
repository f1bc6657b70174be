#pragma once

#include <string>

namespace orvex {

// The one mapping from a path as the user wrote it (".\samples\online.htm") to a file-system
// path: backslashes become slashes and a relative path resolves against `workDir`. Nothing in
// the program changes the process's current directory; every local file goes through here.
std::string MapPath(const std::string& workDir, const std::string& path);

}  // namespace orvex
