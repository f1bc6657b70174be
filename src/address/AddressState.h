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
        // IPv6 counterparts; empty unless IPv6 is enabled.
        std::string CurrentLANIP6;
        std::string PreviousLANIP6;
        std::string CurrentWANIP6;
        std::string PreviousWANIP6;
        // What the last IPv4 lookup learnt of the line: %NAT, %NVIA (the source that gave the
        // WAN address; empty when none did) and the reachability sentence (empty: nothing to
        // tell).
        std::string WanNat = "unknown";
        std::string WanVia;
        std::string WanReachability;

        // Whether no address changed since the previous lookups: the IPv4 pair always, the
        // IPv6 pairs when `withIpv6`.
        bool Unchanged(bool withIpv6) const;
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
    void SetCurrentLANIP6(const std::string& text);
    void SetPreviousLANIP6(const std::string& text);
    void SetCurrentWANIP6(const std::string& text);
    void SetPreviousWANIP6(const std::string& text);
    void SetWanReach(const std::string& nat, const std::string& via, const std::string& sentence);

private:
    mutable std::mutex mutex_;
    Snapshot values_;
};

}  // namespace orvex
