#include "XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace orvex::test {

namespace {
constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr int kStartTimeoutMs = 20000;
}  // namespace

XvfbServer::XvfbServer(const std::string& screen) {
    if (::access(kXvfb, X_OK) != 0) {
        error_ = "Xvfb is not installed";
        return;
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        error_ = "pipe failed";
        return;
    }
    // The server writes its display number to the pipe once it accepts connections.
    std::string fdText = std::to_string(fds[1]);
    std::vector<std::string> args = {kXvfb, "-displayfd", fdText, "-nolisten",
                                     "tcp", "-screen",    "0",    screen};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    int rc = posix_spawn(&pid_, kXvfb, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        pid_ = -1;
        error_ = "cannot start Xvfb";
        return;
    }
    std::string number;
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, kStartTimeoutMs) <= 0) {
            error_ = "Xvfb did not report a display";
            break;
        }
        char c = 0;
        if (::read(fds[0], &c, 1) != 1) {
            error_ = "Xvfb ended before reporting a display";
            break;
        }
        if (c == '\n') {
            display_ = ":" + number;
            break;
        }
        number += c;
    }
    ::close(fds[0]);
}

XvfbServer::~XvfbServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

DisplayOverride::DisplayOverride(const std::string& display) {
    const char* old = std::getenv("DISPLAY");
    hadDisplay_ = old != nullptr;
    if (hadDisplay_) {
        oldDisplay_ = old;
    }
    ::setenv("DISPLAY", display.c_str(), 1);
}

DisplayOverride::~DisplayOverride() {
    if (hadDisplay_) {
        ::setenv("DISPLAY", oldDisplay_.c_str(), 1);
    } else {
        ::unsetenv("DISPLAY");
    }
}

TestWindow::TestWindow(const std::string& display, const std::string& title, bool map) {
    Display* dpy = XOpenDisplay(display.c_str());
    if (dpy == nullptr) {
        throw std::runtime_error("cannot open display " + display);
    }
    display_ = dpy;
    Window w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 40, 30, 0, 0, 0);
    window_ = w;
    XStoreName(dpy, w, title.c_str());
    XChangeProperty(dpy, w, XInternAtom(dpy, "_NET_WM_NAME", False),
                    XInternAtom(dpy, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    if (map) {
        XMapWindow(dpy, w);
    }
    XSync(dpy, False);
}

TestWindow::~TestWindow() {
    auto* dpy = static_cast<Display*>(display_);
    XDestroyWindow(dpy, window_);
    XCloseDisplay(dpy);
}

void TestWindow::SetClientList(const std::vector<unsigned long>& windows) {
    auto* dpy = static_cast<Display*>(display_);
    XChangeProperty(dpy, DefaultRootWindow(dpy), XInternAtom(dpy, "_NET_CLIENT_LIST", False),
                    XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(windows.data()),
                    static_cast<int>(windows.size()));
    XSync(dpy, False);
}

void TestWindow::Unmap() {
    auto* dpy = static_cast<Display*>(display_);
    XUnmapWindow(dpy, window_);
    XSync(dpy, False);
}

}  // namespace orvex::test
