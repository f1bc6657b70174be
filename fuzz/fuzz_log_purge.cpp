// The log purge: date parsing of arbitrary lines and the rewrite of arbitrary logs.
//
// Checks:
// - a date the purge accepts is eight digits with a month up to 12 and a day within that
//   month (29 February only in leap years);
// - the day numbers of two real dates within 2000 to 2099 differ by exactly their distance in
//   days (checked against the civil calendar);
// - the date of a line is its "mm/dd/yy" read as 20yy, and empty for a line under 8 bytes;
// - a purge of an arbitrary log for an arbitrary today and MaxLog either leaves the file byte
//   for byte as it was (nothing to do), or leaves exactly the dated lines (the cleaning notice
//   included) whose age is at most MaxLog, in order, each ending CR LF; no temporary file is
//   left behind and the purge never fails on a healthy disk.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "log/EventLog.h"
#include "log/LogPurge.h"

using orvex::fuzz::Shown;

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (an independent reckoning).
long CivilDays(long y, long m, long d) {
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool IsLeap(long y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

long MonthLength(long y, long m) {
    static constexpr long kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

void CheckDateText(const std::string& text) {
    const bool valid = orvex::IsValidLogDate(text);
    bool digits = text.size() == 8;
    for (char c : text) {
        digits = digits && c >= '0' && c <= '9';
    }
    if (!digits) {
        FUZZ_CHECK(!valid, Shown(text));
        return;
    }
    const long y = std::stol(text.substr(0, 4));
    const long m = std::stol(text.substr(4, 2));
    const long d = std::stol(text.substr(6, 2));
    // Month 0 (any day) and day 0 pass: old logs hold such lines and were always kept.
    const bool expected = m <= 12 && (m == 0 || d <= MonthLength(y, m));
    FUZZ_CHECK(valid == expected, Shown(text) + " valid=" + std::to_string(valid));
}

void CheckDayNumbers(long a, long b) {
    auto ymd = [](long n, long* y, long* m, long* d) {
        *y = 2000 + n / 372 % 100;
        *m = 1 + n / 31 % 12;
        *d = 1 + n % 31;
    };
    long ya, ma, da, yb, mb, db;
    ymd(a, &ya, &ma, &da);
    ymd(b, &yb, &mb, &db);
    if (da > MonthLength(ya, ma) || db > MonthLength(yb, mb)) {
        return;
    }
    const long got = orvex::LogDayNumber(ya * 10000 + ma * 100 + da) -
                     orvex::LogDayNumber(yb * 10000 + mb * 100 + db);
    const long want = CivilDays(ya, ma, da) - CivilDays(yb, mb, db);
    FUZZ_CHECK(got == want, std::to_string(ya * 10000 + ma * 100 + da) + " - " +
                                std::to_string(yb * 10000 + mb * 100 + db) + " = " +
                                std::to_string(got) + ", calendar says " + std::to_string(want));
}

// Lines as std::getline gives them, one trailing CR removed.
std::vector<std::string> LogLines(const std::string& data) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < data.size()) {
        size_t nl = data.find('\n', start);
        std::string line = data.substr(start, nl == std::string::npos ? nl : nl - start);
        start = nl == std::string::npos ? data.size() : nl + 1;
        lines.push_back(line);
    }
    return lines;
}

void CheckPurge(const std::string& log, std::time_t now, int maxLog) {
    orvex::fuzz::ClearScratchDir();
    orvex::fuzz::FastClock clock;
    clock.SetNow(now);
    const std::string path = orvex::fuzz::ScratchDir() + "/events.log";
    orvex::fuzz::WriteWholeFile(path, log);

    orvex::LogSettings settings;
    settings.IsLogging = 1;
    settings.LogFilename = "events.log";
    settings.MaxLog = maxLog;
    settings.workDir = orvex::fuzz::ScratchDir();
    const orvex::PurgeResult result = orvex::PurgeLog(settings, clock);
    const std::string after = orvex::fuzz::ReadWholeFile(path);
    const std::string context = "now " + std::to_string(now) + " MaxLog " + std::to_string(maxLog) +
                                " log " + Shown(log, 600) + " after " + Shown(after, 600);
    bool tmpExists = false;
    orvex::fuzz::ReadWholeFile(path + ".tmp", &tmpExists);
    FUZZ_CHECK(!tmpExists, "temporary file left; " + context);
    FUZZ_CHECK(result != orvex::PurgeResult::kFailed, "purge failed; " + context);

    std::tm utc = clock.UtcTime(now);
    const long today =
        orvex::LogDayNumber((utc.tm_year + 1900) * 10000L + (utc.tm_mon + 1) * 100L + utc.tm_mday);
    auto keep = [&](std::string line) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string date = orvex::LogLineDate(line);
        return orvex::IsValidLogDate(date) &&
               today - orvex::LogDayNumber(std::stol(date)) <= maxLog;
    };
    // Whether a purge is due: the first dated line is too old.
    bool due = false;
    for (const std::string& line : maxLog > 0 ? LogLines(log) : std::vector<std::string>()) {
        if (orvex::IsValidLogDate(orvex::LogLineDate(line))) {
            due = !keep(line);
            break;
        }
    }
    if (!due) {
        FUZZ_CHECK(result == orvex::PurgeResult::kNothingToDo, context);
        FUZZ_CHECK(after == log, "log changed without a purge; " + context);
        return;
    }
    FUZZ_CHECK(result == orvex::PurgeResult::kPurged, context);
    const std::string notice =
        orvex::LogStamp(clock.LocalTime(now)) + orvex::kLogCleaningNotice + "\r\n";
    std::string expected;
    for (std::string line : LogLines(log + notice)) {
        if (keep(line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            expected += line + "\r\n";
        }
    }
    FUZZ_CHECK(after == expected, "expected " + Shown(expected, 600) + "; " + context);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The notice's stamp is local time; UTC keeps "today" the same day for both.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int mode = in.ConsumeIntegral<uint8_t>();

    const std::string line = in.ConsumeRandomLengthString(16);
    const std::string date = orvex::LogLineDate(line);
    FUZZ_CHECK(line.size() < 8
                   ? date.empty()
                   : date == "20" + line.substr(6, 2) + line.substr(0, 2) + line.substr(3, 2),
               Shown(line) + " -> " + Shown(date));
    CheckDateText(date);
    CheckDateText(in.ConsumeBytesAsString(8));
    CheckDayNumbers(in.ConsumeIntegral<uint16_t>() * 4, in.ConsumeIntegral<uint16_t>() * 4);

    if ((mode & 1) == 0) {
        return 0;
    }
    // Today between 2000 and 2099, where day numbers are exact.
    const std::time_t now = in.ConsumeIntegralInRange<std::time_t>(946684800, 4102444799);
    const int maxLog = in.ConsumeIntegralInRange<int>(-1, 800);
    CheckPurge(in.ConsumeRemainingBytesAsString(), now, maxLog);
    return 0;
}
