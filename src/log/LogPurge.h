#pragma once

#include <string>

#include "log/EventLog.h"
#include "platform/Clock.h"
#include "platform/FileIo.h"

namespace orvex {

// Whether an eight-digit YYYYMMDD text is a date the purge accepts: digits only, a month up
// to 12, a day within the month's length (29 for February, then only in leap years). Month and
// day 0 pass, as the purge always let them.
bool IsValidLogDate(const std::string& yyyymmdd);

// A day count for YYYYMMDD (valid or not); differences are exact within 2000 to 2099.
long LogDayNumber(long yyyymmdd);

// The YYYYMMDD text of a log line's leading "mm/dd/yy" (century 20; separators not checked).
std::string LogLineDate(const std::string& line);

enum class PurgeResult {
    kNothingToDo,  // purge off, no name, no log, or no dated line too old
    kPurged,       // the notice was appended and the log rewritten
    kFailed        // a file error; the log itself is left whole
};

// Before every event: when the first dated line is more than MaxLog days older than today
// (UTC), appends kLogCleaningNotice and rewrites the log keeping only dated lines at most
// MaxLog days old. The kept lines replace the log in one rename of a hidden file beside it, so a
// crash at any point leaves the whole log in place; a log that cannot be replaced so is kept.
PurgeResult PurgeLog(const LogSettings& settings, Clock& clock);

namespace detail {
// Lets tests fail the final rename on purpose; nullptr restores the real one.
void SetPurgeRenameForTest(RenameFunction rename);
}  // namespace detail

}  // namespace orvex
