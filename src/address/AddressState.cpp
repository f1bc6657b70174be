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

}  // namespace orvex
