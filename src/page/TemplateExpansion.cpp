#include "page/TemplateExpansion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/FileIo.h"
#include "platform/PathMap.h"
#include "platform/StatusTexts.h"

namespace orvex {
namespace {

constexpr size_t kMaxFileErrorText = 255;

constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};

// Replaces every occurrence, left to right; text inserted here is not searched again for the
// same token (later tokens do search it). `out` is scratch space whose capacity the passes
// share, so a pass allocates nothing once the text has stopped growing.
void ReplaceAll(std::string& text, std::string& out, std::string_view token,
                std::string_view value) {
    size_t pos = text.find(token);
    if (pos == std::string::npos) {
        return;
    }
    out.clear();
    size_t start = 0;
    while (pos != std::string::npos) {
        out.append(text, start, pos - start);
        out.append(value);
        start = pos + token.size();
        pos = text.find(token, start);
    }
    out.append(text, start, std::string::npos);
    text.swap(out);
}

std::string TwelveHourTime(const std::tm& t) {
    int h = t.tm_hour;
    const char* suffix = " AM";
    if (h > 12) {
        h -= 12;
        suffix = " PM";
    }
    if (h == 12) {
        suffix = " PM";
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d:%02d:%02d%s", h == 0 ? 12 : h, t.tm_min, t.tm_sec,
                  suffix);
    return buffer;
}

// Reads at most kMaxTemplateBytes; false with errno set when the file cannot be read.
bool ReadTemplate(const std::string& path, std::string* text) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::string buffer(kMaxTemplateBytes, '\0');
    size_t got = 0;
    while (got < buffer.size()) {
        ssize_t n = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            int error = errno;
            ::close(fd);
            errno = error;
            return false;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    buffer.resize(got);
    size_t nul = buffer.find('\0');
    if (nul != std::string::npos) {
        buffer.resize(nul);
    }
    *text = std::move(buffer);
    return true;
}

enum class WriteResult { kOk, kOpenFailed, kWriteFailed };

// Replaces the file by `bytes`. The bytes go to a companion file that is renamed over the old
// one, so a full disk or a failing write never leaves the old file emptied or cut; where the
// folder takes no new files, or the name is a device, the file is written in place. On
// kOpenFailed errno tells why.
WriteResult WriteWhole(const std::string& path, const std::string& bytes) {
    const std::string temp = path + ".orvex-new";
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    const mode_t mode = exists ? (st.st_mode & 07777) : 0666;
    // Only a regular file (or none yet) is replaced; a device or pipe is written to as it is.
    const bool replace = !exists || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
    int fd = replace ? ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666) : -1;
    if (fd < 0) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd < 0) {
            return WriteResult::kOpenFailed;
        }
        bool ok = WriteAllBytes(fd, bytes);
        ok = ::close(fd) == 0 && ok;
        return ok ? WriteResult::kOk : WriteResult::kWriteFailed;
    }
    if (mode != 0666) {
        ::fchmod(fd, mode);
    }
    bool ok = WriteAllBytes(fd, bytes);
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(temp.c_str());
        return WriteResult::kWriteFailed;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        errno = error;
        return WriteResult::kOpenFailed;
    }
    return WriteResult::kOk;
}

}  // namespace

std::string FileErrorText(const std::string& path, int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return path + " was not found.";
        case EACCES:
        case EPERM:
        case EROFS:
            return "Access to " + path + " was denied.";
        default:
            return "An error occurred while accessing " + path + ": " + std::strerror(error) + ".";
    }
}

std::string ProgramStatusText(const std::string& token,
                              const std::vector<MonitoredProgram>& programs,
                              const std::string& statusIndicators, const WindowFinder& finder) {
    IndicatorPair words = SplitIndicators(statusIndicators);
    for (const MonitoredProgram& program : programs) {
        if (program.tag == token) {
            // Tested now, not taken from the status stored when the list was built.
            return finder(program.windowTitle) ? words.running : words.stopped;
        }
    }
    return words.stopped;
}

int ExpandTemplate(const std::string& templatePath, const std::string& outputPath,
                   const PageValues& values, Host& host, Clock& clock, const WindowFinder& finder,
                   std::string* outputError) {
    if (outputError != nullptr) {
        outputError->clear();
    }
    const std::tm now = clock.LocalTime(clock.Now());

    const std::string source = MapPath(values.workDir, templatePath);
    std::string text;
    if (!ReadTemplate(source, &text)) {
        host.Status(status::kFileErrorPrefix +
                    FileErrorText(source, errno).substr(0, kMaxFileErrorText));
        return -1;
    }

    char date[32];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", now.tm_mon + 1, now.tm_mday,
                  now.tm_year + 1900);
    char time24[32];
    std::snprintf(time24, sizeof time24, "%02d:%02d:%02d", now.tm_hour, now.tm_min, now.tm_sec);
    const char* weekday = kWeekdays[std::clamp(now.tm_wday, 0, 6)];

    std::string scratch;
    scratch.reserve(2 * text.size());
    // Before "%WI" and "%I", which would otherwise eat their front.
    if (values.ipv6Tokens) {
        ReplaceAll(text, scratch, "%WI6", values.currentWanIp6);
        ReplaceAll(text, scratch, "%I6", values.currentLanIp6);
    }
    ReplaceAll(text, scratch, "%WI", values.currentWanIp);
    ReplaceAll(text, scratch, "%I", values.currentLanIp);
    ReplaceAll(text, scratch, "%D", date);
    ReplaceAll(text, scratch, "%T", TwelveHourTime(now));
    ReplaceAll(text, scratch, "%24T", time24);
    ReplaceAll(text, scratch, "%W", weekday);
    ReplaceAll(text, scratch, "%H", values.siteName);
    ReplaceAll(text, scratch, "%S", values.connectionState);

    // Highest index first, so "%P1" never eats the front of "%P10". Indices, not the count,
    // bound the walk: a program after a skipped empty entry keeps its higher tag.
    int highest = -1;
    for (const MonitoredProgram& program : values.programs) {
        highest = std::max(highest, program.index);
    }
    for (int n = highest; n >= 0; --n) {
        std::string token = "%P" + std::to_string(n);
        if (text.find(token) != std::string::npos) {
            ReplaceAll(text, scratch, token,
                       ProgramStatusText(token, values.programs, values.statusIndicators, finder));
        }
    }

    struct Target {
        std::string path;
        const std::string* bytes;
    };
    std::vector<Target> targets{{MapPath(values.workDir, outputPath), &text}};
    if (!values.saveFileHtml.empty()) {
        targets.push_back({MapPath(values.workDir, values.saveFileHtml), &text});
    }
    if (!values.saveFileAscii.empty()) {
        targets.push_back({MapPath(values.workDir, values.saveFileAscii), &values.currentWanIp});
    }
    for (size_t i = 0; i < targets.size(); ++i) {
        const Target& target = targets[i];
        WriteResult result = WriteWhole(target.path, *target.bytes);
        if (result != WriteResult::kOk && outputError != nullptr) {
            // Reported for the output alone, and for a failing write, which stops all writing.
            if (i == 0) {
                *outputError = FileErrorText(target.path, errno);
            } else if (result == WriteResult::kWriteFailed && outputError->empty()) {
                *outputError = kDiskWriteErrorText;
            }
        }
        if (result == WriteResult::kOpenFailed) {
            int error = errno;
            if (!values.suppressError) {
                MessageBoxRequest box;
                box.text = FileErrorText(target.path, error);
                box.icon = MsgIcon::Warning;
                host.MessageBox(box);
            }
        } else if (result == WriteResult::kWriteFailed) {
            MessageBoxRequest box;
            box.text = kDiskWriteErrorText;
            box.icon = MsgIcon::Error;
            host.MessageBox(box);
            break;
        }
    }
    return 1;
}

}  // namespace orvex
