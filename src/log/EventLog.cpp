#include "log/EventLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "log/LogPurge.h"
#include "platform/FileIo.h"
#include "platform/PathMap.h"

namespace orvex {
namespace {

// One event at a time: the purge's scan, rewrite and the append must not interleave with
// another thread's.
std::mutex& LogMutex() {
    static std::mutex mutex;
    return mutex;
}

// Set while this thread hands the writer's own failure report to the host, whose status
// display would log it again.
thread_local bool reportingFailure = false;

}  // namespace

std::string LogStamp(const std::tm& t) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d %02d:%02d:%02d  ", t.tm_mon + 1, t.tm_mday,
                  (t.tm_year + 1900) % 100, t.tm_hour, t.tm_min, t.tm_sec);
    return buffer;
}

LogFile::LogFile(const std::string& path, Clock& clock) : clock_(clock) {
    if (!path.empty()) {
        // Append mode: every write lands at the end even if another process writes too.
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    }
}

LogFile::~LogFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool LogFile::WriteLine(const std::string& text) {
    if (!enabled_ || fd_ < 0 || text.empty()) {
        return true;
    }
    std::string line = LogStamp(clock_.LocalTime(clock_.Now())) + text + "\r\n";
    return WriteAllBytes(fd_, line);
}

void LogEvent(const std::string& text, const LogSettings& settings, Host& host, Clock& clock) {
    if (settings.IsLogging == 0 || reportingFailure) {
        return;
    }
    enum class Outcome { kLogged, kNoName, kFailed } outcome = Outcome::kLogged;
    {
        std::lock_guard<std::mutex> lock(LogMutex());
        if (PurgeLog(settings, clock) == PurgeResult::kFailed) {
            outcome = Outcome::kFailed;
        } else if (settings.LogFilename.empty()) {
            outcome = Outcome::kNoName;
        } else {
            LogFile file(MapPath(settings.workDir, settings.LogFilename), clock);
            file.SetEnabled(settings.IsLogging != 0);
            if (!file.WriteLine(text)) {
                outcome = Outcome::kFailed;
            }
        }
    }
    // The host is called without the lock: it may log from another thread meanwhile.
    if (outcome == Outcome::kNoName) {
        MessageBoxRequest box;
        box.text = kLogNameMissingText;
        host.MessageBox(box);
    } else if (outcome == Outcome::kFailed) {
        reportingFailure = true;
        host.Status(HostMessage::LocalFailure(kLogErrorStatus));
        reportingFailure = false;
    }
}

}  // namespace orvex
