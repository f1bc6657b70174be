#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace orvex::test {

class XvfbServer;

// A private desktop for window tests that need a real X server: Xvfb on a free display,
// openbox as the window manager and trayer as the notification area. Everything started here
// is stopped with the object. Ready() is false, with Error() saying why, when a piece is
// missing or does not come up in time.
class TestDesktop {
public:
    explicit TestDesktop(const std::string& screen = "1024x768x24");
    ~TestDesktop();
    TestDesktop(const TestDesktop&) = delete;
    TestDesktop& operator=(const TestDesktop&) = delete;

    bool Ready() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    const std::string& Display() const { return display_; }

    // Runs a program on the desktop and waits for it (bounded); true when it exited with 0.
    bool Run(const std::vector<std::string>& arguments, int timeoutMs = 10000) const;

private:
    pid_t Start(const std::vector<std::string>& arguments);
    // Waits until the X selection (or root property) `name` is owned / set.
    bool WaitForSelection(const char* name, int timeoutMs);
    bool WaitForWindowManager(int timeoutMs);

    std::unique_ptr<XvfbServer> server_;
    std::vector<pid_t> children_;
    std::string display_;
    std::string error_;
};

}  // namespace orvex::test
