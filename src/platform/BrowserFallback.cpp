#include "platform/BrowserFallback.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/ChildProcess.h"
#include "platform/DesktopLauncher.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace {

std::vector<std::string> SplitList(const char* value, const std::string& fallback) {
    const std::string text = (value != nullptr && *value != '\0') ? value : fallback;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(':', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            parts.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

// The value of `key` in section `section` of a desktop-style key file; empty when absent.
std::string KeyFileValue(const std::string& path, const std::string& section,
                         const std::string& key) {
    std::ifstream in(path);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.front() == '[') {
            inSection = line == "[" + section + "]";
            continue;
        }
        if (!inSection) {
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        if (TrimBlanks(line.substr(0, equals)) == key) {
            return TrimBlanks(line.substr(equals + 1));
        }
    }
    return std::string();
}

std::string DesktopEntryExec(const XdgPaths& paths, const std::string& desktopId) {
    std::vector<std::string> dirs{paths.dataHome};
    dirs.insert(dirs.end(), paths.dataDirs.begin(), paths.dataDirs.end());
    for (const std::string& dir : dirs) {
        if (dir.empty()) {
            continue;
        }
        const std::string path = dir + "/applications/" + desktopId;
        if (::access(path.c_str(), R_OK) == 0) {
            return KeyFileValue(path, "Desktop Entry", "Exec");
        }
    }
    return std::string();
}

}  // namespace

std::string OpenErrorText(int code) {
    std::string reason;
    switch (code) {
        case 0:
            reason = "The operating system is out\nof memory or resources.";
            break;
        case 2:
            reason = "The specified file was not found.";
            break;
        case 3:
            reason = "The specified path was not found.";
            break;
        case 5:
            reason = "The operating system denied\naccess to the specified file.";
            break;
        case 8:
            reason = "There was not enough memory to complete the operation.";
            break;
        case 11:
            reason = "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
            break;
        case 26:
            reason = "A sharing violation occurred. ";
            break;
        case 27:
            reason = "The filename association is\nincomplete or invalid.";
            break;
        case 28:
            reason = "The DDE transaction could not\nbe completed because the request timed out.";
            break;
        case 29:
            reason = "The DDE transaction failed.";
            break;
        case 30:
            reason =
                "The DDE transaction could not\nbe completed because other DDE "
                "transactions\nwere being processed.";
            break;
        case 31:
            reason = "There is no application associated\nwith the given filename extension.";
            break;
        case 32:
            reason = "The specified dynamic-link library was not found.";
            break;
        default:
            reason = "Unknown Error (" + std::to_string(code) + ") occurred.";
            break;
    }
    return "Unable to open hyperlink:\n\n" + reason;
}

std::string BrowserCommandLine(const std::string& execLine, const std::string& target) {
    static constexpr std::array<const char*, 4> kPlaceholders{"%u", "%U", "%f", "%F"};
    size_t cut = std::string::npos;
    for (const char* placeholder : kPlaceholders) {
        // Appended rather than prefixed: g++ 12 at -O3 warns falsely on a literal + string.
        const std::string quoted = std::string(1, '"').append(placeholder).append(1, '"');
        cut = std::min(cut, execLine.find(quoted));
    }
    if (cut == std::string::npos) {
        for (const char* placeholder : kPlaceholders) {
            cut = std::min(cut, execLine.find(placeholder));
        }
    }
    return execLine.substr(0, cut) + " " + target;
}

std::vector<std::string> BrowserArguments(const std::string& execLine, const std::string& target) {
    const std::string command = BrowserCommandLine(execLine, target);
    // Only the part before the target is split into words.
    const std::string head = command.substr(0, command.size() - target.size() - 1);
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < head.size(); ++i) {
        const char c = head[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < head.size()) {
                word += head[++i];
            } else {
                word += c;
            }
        } else if (c == '"') {
            quoted = true;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(word);
            }
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    std::vector<std::string> arguments;
    for (std::string& w : words) {
        // Field codes other than the page's (%i, %c, %k, ...) stand for nothing here.
        if (w.size() == 2 && w[0] == '%' && w[1] != '%') {
            continue;
        }
        std::string plain;
        for (size_t i = 0; i < w.size(); ++i) {
            plain += w[i];
            if (w[i] == '%' && i + 1 < w.size() && w[i + 1] == '%') {
                ++i;
            }
        }
        arguments.push_back(plain);
    }
    arguments.push_back(target);
    return arguments;
}

XdgPaths XdgPaths::FromEnvironment() {
    XdgPaths paths;
    const char* home = std::getenv("HOME");
    const std::string homeDir = home != nullptr ? home : "";
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    paths.configHome = (configHome != nullptr && *configHome != '\0')
                           ? configHome
                           : (homeDir.empty() ? "" : homeDir + "/.config");
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    paths.dataHome = (dataHome != nullptr && *dataHome != '\0')
                         ? dataHome
                         : (homeDir.empty() ? "" : homeDir + "/.local/share");
    paths.configDirs = SplitList(std::getenv("XDG_CONFIG_DIRS"), "/etc/xdg");
    paths.dataDirs = SplitList(std::getenv("XDG_DATA_DIRS"), "/usr/local/share:/usr/share");
    return paths;
}

std::string DefaultBrowserExec(const XdgPaths& paths) {
    std::vector<std::string> lists;
    if (!paths.configHome.empty()) {
        lists.push_back(paths.configHome + "/mimeapps.list");
    }
    for (const std::string& dir : paths.configDirs) {
        lists.push_back(dir + "/mimeapps.list");
    }
    std::vector<std::string> dataDirs{paths.dataHome};
    dataDirs.insert(dataDirs.end(), paths.dataDirs.begin(), paths.dataDirs.end());
    for (const std::string& dir : dataDirs) {
        if (!dir.empty()) {
            lists.push_back(dir + "/applications/mimeapps.list");
            lists.push_back(dir + "/applications/defaults.list");
        }
    }
    for (const char* type : {"text/html", "x-scheme-handler/http"}) {
        for (const std::string& list : lists) {
            const std::string ids = KeyFileValue(list, "Default Applications", type);
            size_t start = 0;
            while (start < ids.size()) {
                size_t end = ids.find(';', start);
                if (end == std::string::npos) {
                    end = ids.size();
                }
                const std::string id = TrimBlanks(ids.substr(start, end - start));
                if (!id.empty()) {
                    std::string exec = DesktopEntryExec(paths, id);
                    if (!exec.empty()) {
                        return exec;
                    }
                }
                start = end + 1;
            }
        }
    }
    return std::string();
}

int StartProgram(const std::vector<std::string>& arguments) {
    const std::string program = arguments.empty() ? std::string() : FindExecutable(arguments[0]);
    if (program.empty()) {
        return kOpenFileNotFound;
    }
    // The arguments go to the program as they are; no shell ever reads them.
    ChildRequest request;
    request.arguments = arguments;
    request.arguments[0] = program;
    const int error = StartChild(request);
    if (error != 0) {
        return error == ENOMEM ? kOpenOutOfMemory : kOpenOutOfResources;
    }
    return kOpenSucceeded;
}

}  // namespace orvex
