#pragma once

#include <string>

#include "platform/Clock.h"
#include "platform/Host.h"

namespace orvex {

inline constexpr const char* kLogNameMissingText =
    "Please specify log name file or disable logging.";
// The writer's own report of a failed event. The status display must not hand it back to the
// log (the writer also refuses it on the thread that reports it), so a failing log never loops.
inline constexpr const char* kLogErrorStatus = "Error opening log file.";
inline constexpr const char* kLogCleaningNotice = "Cleaning Log File...";

// The settings the event log works from, copied by the caller for each event.
struct LogSettings {
    int IsLogging = 0;
    std::string LogFilename;  // as the user wrote it; resolved against workDir
    int MaxLog = 0;           // days; 0 (or less) never purges
    std::string workDir;
};

// One open log file, kept only for one line. Opening never truncates and never locks others
// out; a name that is empty or cannot be opened leaves the object without a file, silently.
class LogFile {
public:
    LogFile(const std::string& path, Clock& clock);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool IsOpen() const { return fd_ >= 0; }

    // Appends "%m/%d/%y %H:%M:%S  " (local time), the text and CR LF in one write. Does
    // nothing when disabled, without a file, or for an empty text. False only when the write
    // itself failed.
    bool WriteLine(const std::string& text);

private:
    Clock& clock_;
    int fd_ = -1;
    bool enabled_ = true;
};

// The local-time stamp that starts every log line.
std::string LogStamp(const std::tm& localTime);

// The single entry to the event log: purges old lines, then appends one stamped line with
// `text`. With logging off nothing at all happens. An empty log name shows
// kLogNameMissingText for every event. A failed purge or write reports kLogErrorStatus through
// `host` and the event is not logged. Calls from several threads are serialised.
void LogEvent(const std::string& text, const LogSettings& settings, Host& host, Clock& clock);

}  // namespace orvex
