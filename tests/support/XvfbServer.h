#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace orvex::test {

// A private virtual X server on a free display number, stopped when the object goes.
// Started() is false (with Error() saying why) when Xvfb is missing or does not come up.
class XvfbServer {
public:
    explicit XvfbServer(const std::string& screen = "320x240x24");
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool Started() const { return !display_.empty(); }
    const std::string& Display() const { return display_; }
    const std::string& Error() const { return error_; }

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string error_;
};

// Points DISPLAY at `display` for the object's life and puts the old value (or its absence)
// back afterwards.
class DisplayOverride {
public:
    explicit DisplayOverride(const std::string& display);
    ~DisplayOverride();
    DisplayOverride(const DisplayOverride&) = delete;
    DisplayOverride& operator=(const DisplayOverride&) = delete;

private:
    bool hadDisplay_ = false;
    std::string oldDisplay_;
};

// A mapped top-level window with a title, on its own connection, destroyed with the object.
class TestWindow {
public:
    TestWindow(const std::string& display, const std::string& title, bool map = true);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    unsigned long Id() const { return window_; }
    // Publishes `windows` as the root's client list, as a window manager would.
    void SetClientList(const std::vector<unsigned long>& windows);
    void Unmap();

private:
    void* display_ = nullptr;
    unsigned long window_ = 0;
};

}  // namespace orvex::test
