#include "monitor/MonitoredPrograms.h"

#include <algorithm>

#include "platform/TextUtil.h"
#include "platform/X11Windows.h"
#include "settings/SettingsFile.h"

namespace orvex {
namespace {

// The text after the first "=" of a section entry.
std::string EntryValue(const std::string& entry) {
    size_t eq = entry.find('=');
    return eq == std::string::npos ? std::string() : entry.substr(eq + 1);
}

}  // namespace

IndicatorPair SplitIndicators(const std::string& pair) {
    size_t slash = pair.find('/');
    if (slash == std::string::npos) {
        return {"", pair};
    }
    return {pair.substr(0, slash), pair.substr(slash + 1)};
}

bool FindProgramWindow(const std::string& title) {
    return FindTopLevelWindow(title);
}

void MonitoredPrograms::Replace(std::vector<MonitoredProgram> programs) {
    std::lock_guard<std::mutex> lock(mutex_);
    programs_ = std::move(programs);
}

std::vector<MonitoredProgram> MonitoredPrograms::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return programs_;
}

size_t MonitoredPrograms::Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return programs_.size();
}

bool MonitoredPrograms::IsShownRunning(const std::string& windowTitle,
                                       const std::string& statusIndicators) const {
    std::string running = SplitIndicators(statusIndicators).running;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const MonitoredProgram& program : programs_) {
        if (program.windowTitle == windowTitle) {
            return program.status == running;
        }
    }
    return false;
}

std::vector<MonitoredProgram> BuildProgramList(const std::vector<std::string>& entries,
                                               const std::string& statusIndicators,
                                               const WindowFinder& finder) {
    IndicatorPair words = SplitIndicators(statusIndicators);
    std::vector<MonitoredProgram> programs;
    int n = 0;
    for (const std::string& entry : entries) {
        std::string title = EntryValue(entry);
        if (!title.empty()) {
            MonitoredProgram program;
            program.index = n;
            program.tag = "%P" + std::to_string(n);
            program.status = finder(title) ? words.running : words.stopped;
            program.windowTitle = std::move(title);
            programs.push_back(std::move(program));
        }
        ++n;
    }
    return programs;
}

void RefreshProgramList(const Profile& file, const std::string& statusIndicators,
                        MonitoredPrograms& programs, const WindowFinder& finder) {
    // Built outside the holder's lock: window tests may take a while.
    programs.Replace(
        BuildProgramList(ReadProgramEntries(file, kProgramListBytes), statusIndicators, finder));
}

std::vector<ProgramTableRow> ReadProgramTable(const Profile& file) {
    std::vector<std::string> entries = ReadProgramEntries(file, kProgramTableBytes);
    if (entries.size() > kProgramTableMaxRows) {
        entries.resize(kProgramTableMaxRows);
    }
    std::vector<ProgramTableRow> rows;
    rows.reserve(entries.size());
    for (size_t n = 0; n < entries.size(); ++n) {
        rows.push_back({"%P" + std::to_string(n), EntryValue(entries[n])});
    }
    return rows;
}

bool StoreMonitoredTitles(Profile& file, std::vector<std::string> titles,
                          const std::string& statusIndicators) {
    std::stable_sort(titles.begin(), titles.end(), [](const std::string& a, const std::string& b) {
        return ToUpperAscii(a) < ToUpperAscii(b);
    });
    // The pair first: it creates a missing file, so erasing an absent section then succeeds.
    const bool ok = WriteStatusIndicators(file, statusIndicators);
    return WriteProgramTitles(file, titles) && ok;
}

}  // namespace orvex
