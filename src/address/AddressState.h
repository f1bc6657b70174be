#pragma once

#include <mutex>
#include <string>

namespace orvex {

// The program's current and previous LAN and WAN address texts. Written by the lookups on a
// cycle's worker thread and read by the window and the page expansion, so every access is
// guarded and hands out copies.
class AddressState {
public:
    struct Snapshot {
        std::string CurrentLANIP;
        std::string PreviousLANIP;
        std::string CurrentWANIP;
        std::string PreviousWANIP;
    };

    Snapshot Get() const;
    std::string CurrentLANIP() const;
    std::string PreviousLANIP() const;
    std::string CurrentWANIP() const;
    std::string PreviousWANIP() const;

    void SetCurrentLANIP(const std::string& text);
    void SetPreviousLANIP(const std::string& text);
    void SetCurrentWANIP(const std::string& text);
    void SetPreviousWANIP(const std::string& text);

private:
    mutable std::mutex mutex_;
    Snapshot values_;
};

}  // namespace orvex
