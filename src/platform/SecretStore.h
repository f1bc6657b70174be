#pragma once

#include <optional>
#include <string>

namespace orvex {

// A place for passwords outside the settings file: the desktop's keyring. Each secret is
// filed under the settings file's path and the name of the key it stands for.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    // The secret filed for `key`; nothing when none is, or when no keyring answers.
    virtual std::optional<std::string> Lookup(const std::string& iniPath,
                                              const std::string& key) = 0;
    // Files `secret` for `key`; false when no keyring took it.
    virtual bool Store(const std::string& iniPath, const std::string& key,
                       const std::string& secret) = 0;
};

}  // namespace orvex
