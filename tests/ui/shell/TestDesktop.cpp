#include "TestDesktop.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include "XvfbServer.h"
#include "platform/DesktopLauncher.h"

extern char** environ;

namespace orvex::test {

namespace {

constexpr int kStartTimeoutMs = 20000;

std::vector<char*> Argv(std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return argv;
}

// The environment of the children: ours with DISPLAY set to the private server.
std::vector<std::string> ChildEnvironment(const std::string& display) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::string(*entry).rfind("DISPLAY=", 0) != 0) {
            env.emplace_back(*entry);
        }
    }
    if (!display.empty()) {
        env.push_back("DISPLAY=" + display);
    }
    return env;
}

}  // namespace

TestDesktop::TestDesktop(const std::string& screen) {
    for (const char* program : {"Xvfb", "openbox", "trayer"}) {
        if (FindExecutable(program).empty()) {
            error_ = std::string(program) + " is not installed";
            return;
        }
    }
    server_ = std::make_unique<XvfbServer>(screen);
    if (!server_->Started()) {
        error_ = server_->Error();
        return;
    }
    display_ = server_->Display();
    if (Start({"openbox", "--sm-disable"}) < 0 || !WaitForWindowManager(kStartTimeoutMs)) {
        error_ = "openbox did not come up";
        return;
    }
    if (Start({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
               "--height", "32", "--SetDockType", "true", "--transparent", "false"}) < 0 ||
        !WaitForSelection("_NET_SYSTEM_TRAY_S0", kStartTimeoutMs)) {
        error_ = "trayer did not come up";
        return;
    }
}

TestDesktop::~TestDesktop() {
    // The clients first, so they end quietly; the server goes with the object.
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        ::kill(*it, SIGTERM);
        int status = 0;
        ::waitpid(*it, &status, 0);
    }
}

pid_t TestDesktop::Start(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    std::vector<char*> argv = Argv(args);
    std::vector<std::string> envStrings = ChildEnvironment(display_);
    std::vector<char*> env = Argv(envStrings);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return -1;
    }
    children_.push_back(pid);
    return pid;
}

bool TestDesktop::WaitForSelection(const char* name, int timeoutMs) {
    ::Display* dpy = XOpenDisplay(display_.c_str());
    if (dpy == nullptr) {
        return false;
    }
    const Atom selection = XInternAtom(dpy, name, False);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool owned = false;
    while (!owned && std::chrono::steady_clock::now() < deadline) {
        owned = XGetSelectionOwner(dpy, selection) != None;
        if (!owned) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    XCloseDisplay(dpy);
    return owned;
}

bool TestDesktop::WaitForWindowManager(int timeoutMs) {
    // A window manager holds the WM_S0 selection of screen 0.
    return WaitForSelection("WM_S0", timeoutMs);
}

bool TestDesktop::Run(const std::vector<std::string>& arguments, int timeoutMs) const {
    std::vector<std::string> args = arguments;
    std::vector<char*> argv = Argv(args);
    std::vector<std::string> envStrings = ChildEnvironment(display_);
    std::vector<char*> env = Argv(envStrings);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), env.data()) != 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace orvex::test
