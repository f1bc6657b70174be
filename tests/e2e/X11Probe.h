#pragma once

#include <string>

namespace orvex::test {

// Looks at the program's window from outside, as a user's desktop would.
class X11Probe {
public:
    explicit X11Probe(const std::string& display);
    ~X11Probe();
    X11Probe(const X11Probe&) = delete;
    X11Probe& operator=(const X11Probe&) = delete;

    bool Connected() const { return display_ != nullptr; }
    // The top-level client window (one with a class) titled exactly `title` (0 when there is
    // none).
    unsigned long FindWindow(const std::string& title);
    // Whether the window is mapped and visible (not withdrawn, not iconified).
    bool Viewable(unsigned long window);
    // Whether the window manager has iconified the window (its WM_STATE reads Iconic).
    bool Iconic(unsigned long window);
    // Asks the window to close, as its close box does.
    void RequestClose(unsigned long window);
    // Whether a window manager's frame around the window is on the screen: the window's
    // top-level ancestor below the root is another window, and it is viewable. A hidden window
    // whose frame stays is the empty frame a user would see.
    bool FrameViewable(unsigned long window);
    // The icon of the program of class `programClass` that a notification area (trayer)
    // holds, when it is shown there (0 otherwise).
    unsigned long FindTrayIcon(const std::string& programClass);
    // The centre of the window in root coordinates.
    bool Centre(unsigned long window, int* x, int* y);

private:
    void* display_ = nullptr;
};

// A window manager (openbox) on `display`, stopped with the object; Running() is false when it
// is not installed.
class WindowManager {
public:
    explicit WindowManager(const std::string& display);
    ~WindowManager();
    bool Running() const { return pid_ > 0; }

private:
    int pid_ = -1;
};

}  // namespace orvex::test
