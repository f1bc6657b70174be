#pragma once

#include <optional>
#include <string>

#include "platform/SecretStore.h"

namespace orvex {

// The desktop's Secret Service keyring, through libsecret (loaded when first asked). Without a
// session bus nothing is tried; after the keyring failed to answer once, nothing more is tried in
// this run (every call then answers "none"), so a missing keyring costs one wait at most.
class KeyringStore : public SecretStore {
public:
    std::optional<std::string> Lookup(const std::string& iniPath, const std::string& key) override;
    bool Store(const std::string& iniPath, const std::string& key,
               const std::string& secret) override;

private:
    bool Reachable();
    bool failed_ = false;
};

}  // namespace orvex
