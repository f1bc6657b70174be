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

bool HasClass(Display* display, Window window, const std::string& resClass) {
    XClassHint hint{};
    if (XGetClassHint(display, window, &hint) == 0) {
        return false;
    }
    const bool same = hint.res_class != nullptr && resClass == hint.res_class;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return same;
}

// The parent of `window` (0 when it cannot be asked or at the root).
Window Parent(Display* display, Window window) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) {
        return 0;
    }
    if (children != nullptr) {
        XFree(children);
    }
    return parent == root ? 0 : parent;
}

bool MappedAndViewable(Display* display, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

// The first viewable window of class `wanted` below `parent` that lies inside an ancestor of
// class `within`.
Window SearchIn(Display* display, Window parent, const std::string& wanted,
                const std::string& within, bool inside, int depth) {
    Window root = 0;
    Window up = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) {
        return 0;
    }
    Window found = 0;
    for (unsigned i = 0; i < count && found == 0; ++i) {
        const bool nowInside = inside || HasClass(display, children[i], within);
        if (nowInside && HasClass(display, children[i], wanted) &&
            MappedAndViewable(display, children[i])) {
            found = children[i];
        } else if (depth < 8) {
            found = SearchIn(display, children[i], wanted, within, nowInside, depth + 1);
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
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

bool X11Probe::FrameViewable(unsigned long window) {
    if (display_ == nullptr) {
        return false;
    }
    Display* display = D(display_);
    Window top = window;
    for (Window up = Parent(display, top); up != 0; up = Parent(display, up)) {
        top = up;
    }
    return top != window && MappedAndViewable(display, top);
}

unsigned long X11Probe::FindTrayIcon(const std::string& programClass) {
    if (display_ == nullptr) {
        return 0;
    }
    return SearchIn(D(display_), DefaultRootWindow(D(display_)), programClass, "trayer", false, 0);
}

bool X11Probe::Centre(unsigned long window, int* x, int* y) {
    XWindowAttributes attributes{};
    if (display_ == nullptr || XGetWindowAttributes(D(display_), window, &attributes) == 0) {
        return false;
    }
    Window child = 0;
    return XTranslateCoordinates(D(display_), window, DefaultRootWindow(D(display_)),
                                 attributes.width / 2, attributes.height / 2, x, y, &child) != 0;
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
