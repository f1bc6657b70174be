#pragma once

#include <string>

#include "platform/Host.h"
#include "settings/AppSettings.h"

namespace orvex {

// The main window's pages, in tab order (the type the Host passes on, platform/Host.h).
enum class Page : int {
    LocalSettings = 0,
    Options = 1,
    Status = 2,
    ProgramMonitor = 3,
    Proxy = 4,
    Email = 5,
    DynamicDns = 6,
    Notifications = 7,
};

// The five text fields of the Status page.
struct StatusFields {
    std::string hostMessage;
    std::string lanAddress;
    std::string wanAddress;
    // What the WAN address lookup learnt of reaching this line ("The router's WAN address
    // 100.64.1.2 is shared: ..."); empty: nothing to tell.
    std::string wanReachability;
    // Shown only when IPv6 is enabled.
    bool ipv6 = false;
    std::string lanAddress6;
    std::string wanAddress6;
    std::string lastRefresh;
    std::string nextRefresh;
};

// What the program's logic asks of the main window. Every call happens on the window's thread.
class WindowPort {
public:
    virtual ~WindowPort() = default;

    virtual void MinimizeWindow() = 0;  // hides it behind the notification icon
    virtual void RestoreWindow() = 0;
    virtual bool WindowVisible() const = 0;
    // Removes the notification icon and destroys the window, which ends the program.
    virtual void DestroyWindow() = 0;
    virtual void ActivatePage(Page page) = 0;

    // True while some page holds unsaved changes (the "&Save" button is enabled).
    virtual bool HasUnsavedChanges() const = 0;
    // The pages' changes were saved: every page but the Program Monitor loses its mark.
    virtual void MarkPagesSaved() = 0;

    // The FTP page's own copy of the connection fields.
    virtual FtpPageFields& FtpPage() = 0;

    // The Status page's fields changed; shown at once once the page has been shown.
    virtual void StatusFieldsChanged(const StatusFields& fields) = 0;
    // Refreshes the Program Monitor table if that page has been shown.
    virtual void RefreshProgramMonitor() = 0;
    // Shows the program icon or the second icon, by whether the last cycle ended well.
    virtual void UpdateTrayIcon() = 0;
    // Shows the shutdown window (true) or hides it.
    virtual void ShowShutdownWindow(bool show) = 0;
    // Enables or disables the "&Refresh" button.
    virtual void EnableRefreshButton(bool enable) = 0;
};

// The one timer of the main window. Arming replaces whatever timer is pending; a timer fires
// repeatedly until it is killed.
class WindowTimer {
public:
    static constexpr unsigned kTimerId = 1224;
    virtual ~WindowTimer() = default;
    virtual bool Set(unsigned milliseconds) = 0;
    // False when no timer was running.
    virtual bool Kill() = 0;
};

}  // namespace orvex
