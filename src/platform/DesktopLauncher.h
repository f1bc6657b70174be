#pragma once

#include <string>

namespace orvex {

// Opens a file or a URL in the desktop's viewer for it (a browser for pages).
class DesktopLauncher {
public:
    virtual ~DesktopLauncher() = default;

    // Starts the viewer for `target` (an absolute file path or a URL) and returns without
    // waiting for it. True when the viewer could be started; whether it then finds something
    // to show the target with is the desktop's affair.
    virtual bool Open(const std::string& target) = 0;
};

// Hands targets to a desktop opener program ("xdg-open" by default), started as a child of
// its own (platform/ChildProcess) that is reaped whenever it ends, however long the viewer it
// starts lives.
class XdgLauncher : public DesktopLauncher {
public:
    explicit XdgLauncher(std::string opener = "xdg-open") : opener_(std::move(opener)) {}

    // False when the opener is not an executable file (looked up in PATH when it names no
    // folder), when the target is empty or starts with "-" (an opener would take it for an
    // option), or when it could not be started.
    bool Open(const std::string& target) override;

private:
    std::string opener_;
};

// The full path of `program` ("xdg-open" through PATH, "/usr/bin/x" as it is) when it is an
// executable file; empty otherwise.
std::string FindExecutable(const std::string& program);

// The launcher of the running program.
DesktopLauncher& DefaultDesktopLauncher();

}  // namespace orvex
