#pragma once

#include <array>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Profile.h"

namespace orvex {

// Section text read for the monitored-program list, and for the Program Monitor table.
inline constexpr size_t kProgramListBytes = 3000;
inline constexpr size_t kProgramTableBytes = 25501;
inline constexpr size_t kProgramTableMaxRows = 1000;

// The indicator pairs every user is offered, in the order they are offered.
inline constexpr std::array<const char*, 6> kBuiltInIndicatorPairs = {
    "TRUE/FALSE",      "ON/OFF",        "RUNNING/NOT RUNNING",
    "ACTIVE/INACTIVE", "OPENED/CLOSED", "POSITIVE/NEGATIVE"};

// "ON/OFF" gives running "ON" and stopped "OFF". A pair without "/" has no running word: the
// whole text is the stopped word.
struct IndicatorPair {
    std::string running;
    std::string stopped;
};
IndicatorPair SplitIndicators(const std::string& pair);

// One watched program: its position in section "Programs" (empty entries counted), its tag
// "%P" + index, its window title and the indicator word found when the list was built.
struct MonitoredProgram {
    int index = 0;
    std::string tag;
    std::string windowTitle;
    std::string status;
};

// Answers whether a top-level window with the given title exists now.
using WindowFinder = std::function<bool(const std::string& title)>;

// True when a top-level window of the desktop has this title (without regard to case); no
// display means no window.
bool FindProgramWindow(const std::string& title);

// The monitored-program list shared by the window and the publishing cycles. It is only ever
// replaced whole; readers take a copy.
class MonitoredPrograms {
public:
    void Replace(std::vector<MonitoredProgram> programs);
    std::vector<MonitoredProgram> Snapshot() const;
    size_t Size() const;

    // True when the first program with exactly this window title has the running word of
    // `statusIndicators` as its stored status.
    bool IsShownRunning(const std::string& windowTitle, const std::string& statusIndicators) const;

private:
    mutable std::mutex mutex_;
    std::vector<MonitoredProgram> programs_;
};

// The list built from the "key=value" entries of section "Programs": entries numbered from 0
// in section order, empty values skipped without renumbering the rest, each window tested now.
std::vector<MonitoredProgram> BuildProgramList(const std::vector<std::string>& entries,
                                               const std::string& statusIndicators,
                                               const WindowFinder& finder);

// Rebuilds `programs` from section "Programs" of `file` (its first 3,000 bytes). The caller
// shows the window's data again afterwards.
void RefreshProgramList(const Profile& file, const std::string& statusIndicators,
                        MonitoredPrograms& programs,
                        const WindowFinder& finder = FindProgramWindow);

// One row of the Program Monitor table: every entry of the section, empty ones included.
struct ProgramTableRow {
    std::string tag;
    std::string windowTitle;
};
std::vector<ProgramTableRow> ReadProgramTable(const Profile& file);

// Stores the monitored titles as the Add/Remove Programs dialog's OK does: the section is
// replaced by Programs0, Programs1, ... in alphabetical order without regard to case, and the
// pair becomes "StatusIndicators" of section "LocalSettings". False when the file could not
// be written.
bool StoreMonitoredTitles(Profile& file, std::vector<std::string> titles,
                          const std::string& statusIndicators);

}  // namespace orvex
