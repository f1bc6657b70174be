#include "log/LogPurge.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "platform/PathMap.h"

namespace orvex {
namespace {

std::atomic<detail::RenameFunction> renameFunction{nullptr};

int RenameFile(const char* from, const char* to) {
    detail::RenameFunction hook = renameFunction.load();
    return hook != nullptr ? hook(from, to) : std::rename(from, to);
}

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

// Writes the lines worth keeping to `tmpPath`, flushed to disk. False on any file error.
bool WriteKeptLines(std::ifstream& log, const std::string& tmpPath, mode_t mode, int maxLog,
                    long todayNumber) {
    std::FILE* out = std::fopen(tmpPath.c_str(), "wbe");
    if (out == nullptr) {
        return false;
    }
    ::fchmod(::fileno(out), mode);
    bool ok = true;
    std::string line;
    while (ok && std::getline(log, line)) {
        StripCarriageReturn(line);
        std::string date = LogLineDate(line);
        if (!IsValidLogDate(date) || AgeOf(date, todayNumber) > maxLog) {
            continue;
        }
        line += "\r\n";
        ok = std::fwrite(line.data(), 1, line.size(), out) == line.size();
    }
    ok = ok && !log.bad();
    ok = std::fflush(out) == 0 && ok;
    // On disk before the rename, so a crash cannot leave an empty log in place of the old one.
    ok = ::fsync(::fileno(out)) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

}  // namespace

namespace detail {
void SetPurgeRenameForTest(RenameFunction rename) {
    renameFunction.store(rename);
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
    struct stat st {};
    mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    const std::string tmpPath = path + ".tmp";
    std::remove(tmpPath.c_str());  // left behind by an interrupted purge
    bool ok = WriteKeptLines(log, tmpPath, mode, settings.MaxLog, today);
    log.close();
    if (!ok || RenameFile(tmpPath.c_str(), path.c_str()) != 0) {
        std::remove(tmpPath.c_str());
        return PurgeResult::kFailed;
    }
    return PurgeResult::kPurged;
}

}  // namespace orvex
