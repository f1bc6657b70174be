#pragma once

#include <functional>
#include <string>

#include "app/AppState.h"
#include "app/Scheduler.h"
#include "app/WindowPort.h"
#include "platform/Host.h"
#include "platform/SecretStore.h"

namespace orvex {

// Loading the settings when the window is created, the Save command, and committing the FTP
// page's fields.
class SettingsCommands {
public:
    // `boxes` shows why a Save is refused (none: refused silently).
    SettingsCommands(AppState& state, WindowPort& window, Scheduler& scheduler,
                     std::string passwordKey, Host* boxes = nullptr);

    // Loads the settings file, writing the default set first when it has no FTP server.
    void LoadAtStart();
    // Writes the settings (a read-only settings file is left as it is and reported), marks
    // the pages saved, applies the interval and, after an edit of the interval, starts a
    // refresh. Refuses (false, nothing written, the pages keep their changes) when FTPS or
    // SFTP is chosen together with a proxy logon type.
    bool Save();
    void CommitFtpPage();

    // Where Save reports a settings file it may not write (the status display).
    void SetNoticeFunction(std::function<void(const HostMessage&)> notice) {
        notice_ = std::move(notice);
    }

    const std::string& PasswordKey() const { return passwordKey_; }

    // The desktop's keyring, used for the passwords while UseKeyring is 1 (none: never).
    void SetSecretStore(SecretStore* store) { secrets_ = store; }

    // Called after every load and save, when the settings in use may have changed.
    void SetAppliedFunction(std::function<void()> applied) { applied_ = std::move(applied); }

private:
    AppState& state_;
    WindowPort& window_;
    Scheduler& scheduler_;
    std::string passwordKey_;
    std::function<void(const HostMessage&)> notice_;
    std::function<void()> applied_;
    SecretStore* secrets_ = nullptr;
    // The record as last loaded or saved: Save writes the lookup services only when changed.
    AppSettings asLoaded_;
    Host* boxes_;
};

}  // namespace orvex
