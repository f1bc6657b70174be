#pragma once

#include <string>
#include <vector>

namespace orvex {

// One top-level window of the desktop as the window lists of the program see it.
struct TopLevelWindow {
    unsigned long id = 0;
    std::string title;
    // False for windows a task bar would leave out: transient (owned) windows, windows that
    // ask to be skipped by the task bar, and docks, menus, tool bars and the like.
    bool taskbar = true;
};

// The visible, titled top-level windows of the X display named by `display` (empty: the
// DISPLAY variable), in the window manager's client-list order, or in stacking order when no
// window manager publishes a client list. A window counts as visible when it is mapped or
// iconified. No display, or a display that fails, gives an empty list.
//
// Safe to call from any thread: every query opens its own short-lived connection under one
// process-wide lock, and X errors (a window that vanishes mid-query) never end the process.
std::vector<TopLevelWindow> ListTopLevelWindows(const std::string& display = "");

// True when one of the windows above has exactly `title`, compared without regard to case.
bool FindTopLevelWindow(const std::string& title, const std::string& display = "");

}  // namespace orvex
