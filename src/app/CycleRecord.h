#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace orvex {

// The steps of an online cycle that fail on their own: the address lookup, the mail, the
// dynamic DNS names, the upload of the page and the page with its local copies on this machine.
enum class CycleStep { kLookup, kMail, kNames, kUpload, kCopy };
inline constexpr std::array kCycleSteps = {CycleStep::kLookup, CycleStep::kMail, CycleStep::kNames,
                                           CycleStep::kUpload, CycleStep::kCopy};
// "lookup", "mail", "names", "upload", "copy": how status and metrics name a step.
const char* CycleStepName(CycleStep step);

// What one dynamic DNS entry came to when it was sent.
enum class NameResult { kUpdated, kCurrent, kFailed };
const char* NameResultName(NameResult result);

// What the online cycles came to since the program started, for the service's status call and
// the metrics. Written by the cycles' worker threads, read by anyone: every access is guarded
// and hands out copies.
class CycleRecord {
public:
    // How often each host name of the dynamic DNS entries was updated, found current, or failed.
    struct NameCounts {
        std::string host;
        std::array<std::uint64_t, 3> byResult{};  // indexed by NameResult
    };
    // The latest result of entry `index` (0-based) of the settings in use, in words: "updated",
    // "current", "failed", "not due", "held", "stopped", "invalid", "no address".
    struct EntryResult {
        std::string hosts;
        std::string result;
    };
    struct Snapshot {
        std::uint64_t onlineCycles = 0;
        std::uint64_t failedCycles = 0;
        std::array<std::uint64_t, kCycleSteps.size()> stepFailures{};
        // The latest cycle that ended: when, whether it ended well, the steps that failed in it
        // and why the last of them failed.
        bool anyEnded = false;
        bool lastOk = false;
        std::time_t lastEnd = 0;
        std::vector<std::string> lastFailedSteps;
        std::string lastFailure;
        std::time_t lastSuccess = 0;  // 0: no cycle has ended well yet
        std::vector<NameCounts> names;
        std::vector<EntryResult> entries;
        // Cycles ended so far, well or not: a caller waiting for "the next cycle" compares it.
        std::uint64_t ended = 0;
    };

    // A cycle starts with `entryCount` dynamic DNS entries in its settings.
    void BeginCycle(size_t entryCount);
    void StepFailed(CycleStep step, const std::string& why);
    // Entry `index` (0-based) of the cycle's settings came to `result` ("updated", "not due",
    // ...); `sent` is set when it was sent, and then counted for each of its `hostNames`.
    void EntryEnded(size_t index, const std::string& hosts,
                    const std::vector<std::string>& hostNames, const std::string& result,
                    const NameResult* sent);
    // The cycle ended; when it did not end well, the last failed step says why.
    void EndCycle(bool ok, std::time_t when);

    Snapshot Get() const;

private:
    mutable std::mutex mutex_;
    Snapshot values_;
    std::vector<std::string> currentSteps_;
    std::string currentFailure_;
};

}  // namespace orvex
