#include "X11Probe.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace orvex::test {

namespace {

Display* D(void* p) {
    return static_cast<Display*>(p);
}

std::string WindowTitle(Display* display, Window window) {
    char* name = nullptr;
    std::string title;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        title = name;
        XFree(name);
    }
    return title;
}

// A window the program shows to the user carries its class; the toolkit's hidden group leader,
// which also bears the program's name, does not.
bool IsClientWindow(Display* display, Window window) {
    XClassHint hint{};
    if (XGetClassHint(display, window, &hint) == 0) {
        return false;
    }
    XFree(hint.res_name);
    XFree(hint.res_class);
    return true;
}

Window Search(Display* display, Window parent, const std::string& title, int depth) {
    Window root = 0;
    Window up = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) {
        return 0;
    }
    Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        if (WindowTitle(display, children[i]) == title && IsClientWindow(display, children[i])) {
            found = children[i];
        } else if (depth < 3) {
            found = Search(display, children[i], title, depth + 1);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

X11Probe::X11Probe(const std::string& display) {
    display_ = XOpenDisplay(display.c_str());
    XSetErrorHandler(IgnoreErrors);
}

X11Probe::~X11Probe() {
    if (display_ != nullptr) {
        XCloseDisplay(D(display_));
    }
}

unsigned long X11Probe::FindWindow(const std::string& title) {
    if (display_ == nullptr) {
        return 0;
    }
    return Search(D(display_), DefaultRootWindow(D(display_)), title, 0);
}

bool X11Probe::Viewable(unsigned long window) {
    XWindowAttributes attributes{};
    if (display_ == nullptr || XGetWindowAttributes(D(display_), window, &attributes) == 0) {
        return false;
    }
    return attributes.map_state == IsViewable;
}

bool X11Probe::Iconic(unsigned long window) {
    if (display_ == nullptr) {
        return false;
    }
    Display* display = D(display_);
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const int rc = XGetWindowProperty(display, window, wmState, 0, 2, False, wmState, &type,
                                      &format, &count, &after, &data);
    bool iconic = false;
    if (rc == Success && data != nullptr && format == 32 && count >= 1) {
        iconic = reinterpret_cast<const long*>(data)[0] == IconicState;
    }
    if (data != nullptr) {
        XFree(data);
    }
    return iconic;
}

void X11Probe::RequestClose(unsigned long window) {
    Display* display = D(display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

WindowManager::WindowManager(const std::string& display) {
    if (::access("/usr/bin/openbox", X_OK) != 0) {
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setenv("DISPLAY", display.c_str(), 1);
        ::execl("/usr/bin/openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Give it a moment to take over the root window.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
}

WindowManager::~WindowManager() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

}  // namespace orvex::test
