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

// Hands targets to a desktop opener program ("xdg-open" by default). The opener runs in the
// background of a short-lived shell, so it belongs to no thread of ours and never becomes a
// zombie of this process, however long the viewer it starts lives. Starting is bounded by a
// few seconds.
class XdgLauncher : public DesktopLauncher {
public:
    explicit XdgLauncher(std::string opener = "xdg-open") : opener_(std::move(opener)) {}

    // False when the opener is not an executable file (looked up in PATH when it names no
    // folder), when the target is empty or starts with "-" (an opener would take it for an
    // option), or when the shell could not be started or did not finish in time.
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
