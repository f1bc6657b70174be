#include "page/TemplateExpansion.h"

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

std::string ExpandText(std::string text, const PageValues& values, Clock& clock,
                       const WindowFinder& finder) {
    const std::tm now = clock.LocalTime(clock.Now());
    char date[32];
    std::snprintf(date, sizeof date, "%02d/%02d/%04d", now.tm_mon + 1, now.tm_mday,
                  now.tm_year + 1900);
    char time24[32];
    std::snprintf(time24, sizeof time24, "%02d:%02d:%02d", now.tm_hour, now.tm_min, now.tm_sec);
    const char* weekday = kWeekdays[std::clamp(now.tm_wday, 0, 6)];

    std::string scratch;
    scratch.reserve(2 * text.size());
    // No other token starts with "%N", and no value of these two holds a "%".
    ReplaceAll(text, scratch, "%NAT", values.natState);
    ReplaceAll(text, scratch, "%NVIA", values.wanVia);
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
    return text;
}

int ExpandTemplate(const std::string& templatePath, const std::string& outputPath,
                   const PageValues& values, Host& host, Clock& clock, const WindowFinder& finder,
                   std::string* outputError, std::string* copyError) {
    if (outputError != nullptr) {
        outputError->clear();
    }
    if (copyError != nullptr) {
        copyError->clear();
    }
    const std::string source = MapPath(values.workDir, templatePath);
    std::string text;
    if (!ReadFileBounded(source, kMaxTemplateBytes, &text)) {
        host.Status(HostMessage::Coded(status::kFileErrorPrefix,
                                       FileErrorText(source, errno).substr(0, kMaxFileErrorText)));
        return -1;
    }
    text = ExpandText(std::move(text), values, clock, finder);

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
        // The output is the program's own file: a read-only one left behind is replaced.
        ReplaceOptions options;
        options.replaceReadOnly = i == 0;
        const ReplaceResult result = ReplaceFile(target.path, *target.bytes, options);
        const int error = errno;
        // Only the output decides whether the page may be published; a local copy that
        // cannot be written is reported and the cycle goes on.
        if (i == 0 && result != ReplaceResult::kOk && outputError != nullptr) {
            *outputError = FileErrorText(target.path, error);
        }
        if (i > 0 && result != ReplaceResult::kOk && copyError != nullptr && copyError->empty()) {
            *copyError = FileErrorText(target.path, error);
        }
        if (result == ReplaceResult::kOpenFailed) {
            if (!values.suppressError) {
                MessageBoxRequest box;
                box.text = FileErrorText(target.path, error);
                box.icon = MsgIcon::Warning;
                host.MessageBox(box);
            }
        } else if (result == ReplaceResult::kWriteFailed) {
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
