#pragma once

#include <string>
#include <utility>
#include <vector>

#include "settings/AppSettings.h"

namespace orvex {

// A secret read from outside the settings file, or why none could be.
struct OutsideSecret {
    // A credential or a file names the secret; without either the stored password counts.
    bool given = false;
    std::string secret;
    // Where it came from ("credential Password", "file /etc/orvex/ftp.pass"), for messages.
    std::string source;
    // Set when the secret is given but cannot be used (the file is missing, readable by others,
    // empty, ...): the password is then empty, never the stored one.
    std::string error;
};

// The secret of password key `key` ("Password", "EmailPassword", "ProxyPass", "Password<n>",
// "TSIGSecret<n>"): a file named `key` in `credentialsDir` (systemd's $CREDENTIALS_DIRECTORY;
// empty: none) first, then the file `file` names (relative to `iniDir`; empty: none). The first
// line of the file, without its line end, is the secret. A file others may read is refused.
OutsideSecret ReadOutsideSecret(const std::string& key, const std::string& file,
                                const std::string& iniDir, const std::string& credentialsDir);

// $CREDENTIALS_DIRECTORY, empty when unset.
std::string CredentialsDirectory();

// Puts every secret given outside the file into `settings` (the FTP, mail and proxy passwords,
// each dynamic DNS entry's password and TSIG secret). Returns the secrets that could not be
// used, as (key, why) pairs; their passwords are emptied.
std::vector<std::pair<std::string, std::string>> ApplyOutsideSecrets(
    AppSettings& settings, const std::string& iniDir, const std::string& credentialsDir);

// The passwords a keyring may keep, by the name of their key: "Password" (from `page`, the FTP
// page's values), "EmailPassword", "ProxyPass". The dynamic DNS entries keep theirs in the file
// (or in PasswordFile<n>): the file's entry is how a cycle knows where to write its result.
std::vector<std::pair<std::string, std::string*>> PasswordSlots(AppSettings& settings,
                                                                FtpPageValues& page);

// Whether the FTP password comes from outside the file (PasswordFile, or a credential named
// Password), so an empty stored one is no missing setting.
bool FtpPasswordKeptOutside(const AppSettings& settings, const std::string& credentialsDir);

}  // namespace orvex
