#pragma once

#include <string>

#include "app/AppState.h"
#include "app/Scheduler.h"
#include "app/WindowPort.h"

namespace orvex {

// Loading the settings when the window is created, the Save command, and committing the FTP
// page's fields.
class SettingsCommands {
public:
    SettingsCommands(AppState& state, WindowPort& window, Scheduler& scheduler,
                     std::string passwordKey);

    // Loads the settings file, writing the default set first when it has no FTP server.
    void LoadAtStart();
    // Writes the settings, marks the pages saved, applies the interval and, after an edit of
    // the interval, starts a refresh.
    void Save();
    void CommitFtpPage();

    const std::string& PasswordKey() const { return passwordKey_; }

private:
    AppState& state_;
    WindowPort& window_;
    Scheduler& scheduler_;
    std::string passwordKey_;
};

}  // namespace orvex
