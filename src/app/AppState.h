#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "address/AddressState.h"
#include "app/CycleRecord.h"
#include "ddns/DynamicDnsUpdater.h"
#include "monitor/MonitoredPrograms.h"
#include "notify/Notifier.h"
#include "platform/Profile.h"
#include "settings/AppSettings.h"

namespace orvex {

// The flags that tie the scheduler, the cycles and the exit routine together.
struct CycleFlags {
    std::atomic<int> StartupReady{0};          // refreshes are allowed
    std::atomic<int> ManualRefresh{0};         // the current refresh was asked for by the user
    std::atomic<int> UpdateOnStartPending{0};  // the first cycle ignores FTPOnIPChangeOnly
    std::atomic<int> CycleBusy{0};             // a cycle is past its address lookups
    std::atomic<int> CycleSucceeded{0};        // the last cycle ended well (tray icon)
    std::atomic<int> ProxyInUse{0};            // the cycle logs on through the proxy settings
    std::atomic<int> ExitCommitted{0};         // the user confirmed exit after a failure

    // Held from the moment a cycle is started until it ends, lookups included, so that two
    // cycles never run at once. Claimed on the window's thread before the worker starts.
    std::atomic<bool> CycleRunning{false};
    bool TryClaimCycle() {
        bool expected = false;
        return CycleRunning.compare_exchange_strong(expected, true);
    }
    void ReleaseCycle() { CycleRunning = false; }
};

// Process-wide values of one run of the program. The settings record is edited on the
// window's thread and copied out by the cycles when they start.
class AppState {
public:
    AppState(std::string workDir, std::string iniPath)
        : WorkDir(std::move(workDir)), IniPath(std::move(iniPath)), ini_(IniPath) {}

    const std::string WorkDir;
    const std::string IniPath;
    Profile& Ini() { return ini_; }

    CycleFlags Flags;
    AddressState Addresses;
    MonitoredPrograms Programs;
    // What dynamic DNS updates learned across cycles (retry holds, stopped entries).
    ddns::UpdateMemory DynamicDnsMemory;
    // What notification channels learned across cycles (last announcement, holds asked for).
    notify::Memory NotifyMemory;
    // What the online cycles came to (the service's status call and the metrics).
    CycleRecord Cycles;
    std::atomic<bool> DefaultLookupService{true};
    std::atomic<bool> IntervalEdited{false};

    AppSettings Settings() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return settings_;
    }
    template <typename Edit>
    void EditSettings(Edit&& edit) {
        std::lock_guard<std::mutex> lock(mutex_);
        edit(settings_);
    }

    std::string ConnectionState() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return connectionState_;
    }
    void SetConnectionState(const std::string& state) {
        std::lock_guard<std::mutex> lock(mutex_);
        connectionState_ = state;
    }

private:
    Profile ini_;
    mutable std::mutex mutex_;
    AppSettings settings_;
    std::string connectionState_;
};

}  // namespace orvex
