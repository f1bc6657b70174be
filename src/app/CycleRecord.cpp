#include "app/CycleRecord.h"

#include <algorithm>

namespace orvex {

const char* CycleStepName(CycleStep step) {
    switch (step) {
        case CycleStep::kLookup:
            return "lookup";
        case CycleStep::kMail:
            return "mail";
        case CycleStep::kNames:
            return "names";
        case CycleStep::kUpload:
            return "upload";
        case CycleStep::kCopy:
            break;
    }
    return "copy";
}

const char* NameResultName(NameResult result) {
    switch (result) {
        case NameResult::kUpdated:
            return "updated";
        case NameResult::kCurrent:
            return "current";
        case NameResult::kFailed:
            break;
    }
    return "failed";
}

void CycleRecord::BeginCycle(size_t entryCount) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.entries.resize(entryCount);
    currentSteps_.clear();
    currentFailure_.clear();
}

void CycleRecord::StepFailed(CycleStep step, const std::string& why) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++values_.stepFailures[static_cast<size_t>(step)];
    const std::string name = CycleStepName(step);
    if (std::find(currentSteps_.begin(), currentSteps_.end(), name) == currentSteps_.end()) {
        currentSteps_.push_back(name);
    }
    currentFailure_ = name + ": " + why;
}

void CycleRecord::EntryEnded(size_t index, const std::string& hosts,
                             const std::vector<std::string>& hostNames, const std::string& result,
                             const NameResult* sent) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (values_.entries.size() <= index) {
        values_.entries.resize(index + 1);
    }
    values_.entries[index] = {hosts, result};
    if (sent == nullptr) {
        return;
    }
    for (const std::string& host : hostNames) {
        auto it = std::find_if(values_.names.begin(), values_.names.end(),
                               [&](const NameCounts& counts) { return counts.host == host; });
        if (it == values_.names.end()) {
            values_.names.push_back({host, {}});
            it = values_.names.end() - 1;
        }
        ++it->byResult[static_cast<size_t>(*sent)];
    }
}

void CycleRecord::EndCycle(bool ok, std::time_t when) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++(ok ? values_.onlineCycles : values_.failedCycles);
    ++values_.ended;
    values_.anyEnded = true;
    values_.lastOk = ok;
    values_.lastEnd = when;
    values_.lastFailedSteps = currentSteps_;
    values_.lastFailure = ok ? std::string() : currentFailure_;
    if (ok) {
        values_.lastSuccess = when;
    }
}

CycleRecord::Snapshot CycleRecord::Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_;
}

}  // namespace orvex
