#include "address/AddressState.h"

namespace orvex {

AddressState::Snapshot AddressState::Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_;
}

std::string AddressState::CurrentLANIP() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.CurrentLANIP;
}

std::string AddressState::PreviousLANIP() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.PreviousLANIP;
}

std::string AddressState::CurrentWANIP() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.CurrentWANIP;
}

std::string AddressState::PreviousWANIP() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.PreviousWANIP;
}

void AddressState::SetCurrentLANIP(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.CurrentLANIP = text;
}

void AddressState::SetPreviousLANIP(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.PreviousLANIP = text;
}

void AddressState::SetCurrentWANIP(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.CurrentWANIP = text;
}

void AddressState::SetPreviousWANIP(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.PreviousWANIP = text;
}

void AddressState::SetCurrentLANIP6(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.CurrentLANIP6 = text;
}

void AddressState::SetPreviousLANIP6(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.PreviousLANIP6 = text;
}

void AddressState::SetCurrentWANIP6(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.CurrentWANIP6 = text;
}

void AddressState::SetPreviousWANIP6(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.PreviousWANIP6 = text;
}

void AddressState::SetWanReach(const std::string& nat, const std::string& via,
                               const std::string& sentence) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_.WanNat = nat;
    values_.WanVia = via;
    values_.WanReachability = sentence;
}

bool AddressState::Snapshot::Unchanged(bool withIpv6) const {
    if (PreviousWANIP != CurrentWANIP || PreviousLANIP != CurrentLANIP) {
        return false;
    }
    return !withIpv6 || (PreviousWANIP6 == CurrentWANIP6 && PreviousLANIP6 == CurrentLANIP6);
}

}  // namespace orvex
