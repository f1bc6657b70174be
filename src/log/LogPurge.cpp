#include "log/LogPurge.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include "platform/FileIo.h"
#include "platform/PathMap.h"

namespace orvex {
namespace {

bool IsLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int Digits(const std::string& text, size_t pos, size_t count) {
    int value = 0;
    for (size_t i = pos; i < pos + count; ++i) {
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// Age in days of a line dated `date` (a valid YYYYMMDD text); negative for a future date.
long AgeOf(const std::string& date, long todayNumber) {
    return todayNumber - LogDayNumber(std::stol(date));
}

long TodayNumber(Clock& clock) {
    std::tm utc = clock.UtcTime(clock.Now());
    return LogDayNumber((utc.tm_year + 1900) * 10000L + (utc.tm_mon + 1) * 100L + utc.tm_mday);
}

void StripCarriageReturn(std::string& line) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
}

// The lines worth keeping, each ended by CR LF. False when the log cannot be read whole.
bool KeptLines(std::ifstream& log, int maxLog, long todayNumber, std::string* kept) {
    std::string line;
    while (std::getline(log, line)) {
        StripCarriageReturn(line);
        std::string date = LogLineDate(line);
        if (!IsValidLogDate(date) || AgeOf(date, todayNumber) > maxLog) {
            continue;
        }
        *kept += line;
        *kept += "\r\n";
    }
    return !log.bad();
}

}  // namespace

namespace detail {
void SetPurgeRenameForTest(RenameFunction rename) {
    SetReplaceRenameForTest(rename);
}
}  // namespace detail

bool IsValidLogDate(const std::string& date) {
    if (date.size() != 8) {
        return false;
    }
    for (char c : date) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int y = Digits(date, 0, 4);
    int m = Digits(date, 4, 2);
    int d = Digits(date, 6, 2);
    if (m > 12) {
        return false;
    }
    if (m >= 1 && d > kMonthDays[m - 1]) {
        return false;
    }
    return !(m == 2 && d == 29 && !IsLeapYear(y));
}

long LogDayNumber(long x) {
    long y = x / 10000;
    long d = x % 100;
    long m = (x - y * 10000 - d) / 100;
    long b = m + 1;
    long c = y;
    if (m <= 2) {
        b = m + 13;
        c = y - 1;
    }
    return d + static_cast<long>(std::floor(c * 365.25)) +
           static_cast<long>(std::floor(b * 30.6001)) + 1720982;
}

std::string LogLineDate(const std::string& line) {
    if (line.size() < 8) {
        return std::string();
    }
    return "20" + line.substr(6, 2) + line.substr(0, 2) + line.substr(3, 2);
}

PurgeResult PurgeLog(const LogSettings& settings, Clock& clock) {
    if (settings.MaxLog <= 0 || settings.LogFilename.empty()) {
        return PurgeResult::kNothingToDo;
    }
    const std::string path = MapPath(settings.workDir, settings.LogFilename);
    const long today = TodayNumber(clock);

    // Only the first dated line counts, so a young log costs one line read.
    bool needed = false;
    {
        std::ifstream log(path, std::ios::binary);
        if (!log) {
            return PurgeResult::kNothingToDo;
        }
        std::string line;
        while (std::getline(log, line)) {
            std::string date = LogLineDate(line);
            if (IsValidLogDate(date)) {
                needed = AgeOf(date, today) > settings.MaxLog;
                break;
            }
        }
    }
    if (!needed) {
        return PurgeResult::kNothingToDo;
    }

    {
        LogFile notice(path, clock);
        if (!notice.WriteLine(kLogCleaningNotice)) {
            return PurgeResult::kFailed;
        }
    }

    std::ifstream log(path, std::ios::binary);
    if (!log) {
        return PurgeResult::kNothingToDo;
    }
    // Left behind by an interrupted purge of an earlier version.
    std::remove((path + ".tmp").c_str());
    std::string kept;
    if (!KeptLines(log, settings.MaxLog, today, &kept)) {
        return PurgeResult::kFailed;
    }
    log.close();
    // Replaced whole or not at all: a rewrite cut short in place would lose lines.
    ReplaceOptions options;
    options.durable = true;
    options.mayWriteInPlace = false;
    if (ReplaceFile(path, kept, options) != ReplaceResult::kOk) {
        return PurgeResult::kFailed;
    }
    return PurgeResult::kPurged;
}

}  // namespace orvex
