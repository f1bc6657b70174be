#include "platform/X11Windows.h"

#include <mutex>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/SharedLibrary.h"
#include "platform/TextUtil.h"

namespace orvex {
namespace {

// libX11 is loaded when windows are first looked at: the service would otherwise hold it
// (and the libraries it brings) resident with no desktop to look at. It stays loaded once it
// is, as Xlib keeps process-wide state.
struct XlibFunctions {
    decltype(&::XOpenDisplay) XOpenDisplay = nullptr;
    decltype(&::XSetIOErrorExitHandler) XSetIOErrorExitHandler = nullptr;
    decltype(&::XSetErrorHandler) XSetErrorHandler = nullptr;
    decltype(&::XCloseDisplay) XCloseDisplay = nullptr;
    decltype(&::XGetWindowProperty) XGetWindowProperty = nullptr;
    decltype(&::XFree) XFree = nullptr;
    decltype(&::XInternAtom) XInternAtom = nullptr;
    decltype(&::XQueryTree) XQueryTree = nullptr;
    decltype(&::XGetWindowAttributes) XGetWindowAttributes = nullptr;
    decltype(&::XGetWMName) XGetWMName = nullptr;
    decltype(&::Xutf8TextPropertyToTextList) Xutf8TextPropertyToTextList = nullptr;
    decltype(&::XFreeStringList) XFreeStringList = nullptr;
    decltype(&::XGetTransientForHint) XGetTransientForHint = nullptr;
};

// The loaded functions, or null when libX11 cannot be loaded.
const XlibFunctions* LoadXlib() {
    static const XlibFunctions* loaded = []() -> const XlibFunctions* {
        static XlibFunctions f;
        SharedLibrary x11("libX11.so.6");
        x11.Find("XOpenDisplay", f.XOpenDisplay)
            .Find("XSetIOErrorExitHandler", f.XSetIOErrorExitHandler)
            .Find("XSetErrorHandler", f.XSetErrorHandler)
            .Find("XCloseDisplay", f.XCloseDisplay)
            .Find("XGetWindowProperty", f.XGetWindowProperty)
            .Find("XFree", f.XFree)
            .Find("XInternAtom", f.XInternAtom)
            .Find("XQueryTree", f.XQueryTree)
            .Find("XGetWindowAttributes", f.XGetWindowAttributes)
            .Find("XGetWMName", f.XGetWMName)
            .Find("Xutf8TextPropertyToTextList", f.Xutf8TextPropertyToTextList)
            .Find("XFreeStringList", f.XFreeStringList)
            .Find("XGetTransientForHint", f.XGetTransientForHint);
        return x11.Finish() != nullptr ? &f : nullptr;
    }();
    return loaded;
}

// Only called with a display open, which needed libX11 loaded.
const XlibFunctions& Xlib() {
    return *LoadXlib();
}

// The error handler is process-wide in Xlib; one lock keeps two queries from swapping it under
// each other and serialises the connections we open.
std::mutex& X11Mutex() {
    static std::mutex mutex;
    return mutex;
}

// A window may vanish between listing and reading it; such errors are expected and ignored.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

// Returning from this handler leaves the broken connection failing every further call instead
// of ending the process.
void KeepRunningOnIoError(Display*, void*) {}

class Connection {
public:
    explicit Connection(const std::string& name) {
        if (LoadXlib() == nullptr) {
            return;
        }
        display_ = Xlib().XOpenDisplay(name.empty() ? nullptr : name.c_str());
        if (display_ != nullptr) {
            Xlib().XSetIOErrorExitHandler(display_, KeepRunningOnIoError, nullptr);
            previous_ = Xlib().XSetErrorHandler(IgnoreXError);
        }
    }
    ~Connection() {
        if (display_ != nullptr) {
            Xlib().XCloseDisplay(display_);
            Xlib().XSetErrorHandler(previous_);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Display* get() const { return display_; }

private:
    Display* display_ = nullptr;
    XErrorHandler previous_ = nullptr;
};

struct Property {
    Atom type = None;
    int format = 0;
    std::vector<unsigned char> bytes;  // format 8
    std::vector<unsigned long> items;  // format 32 (Xlib hands these out as longs)
};

bool ReadProperty(Display* dpy, Window w, Atom name, Atom type, Property* out) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (Xlib().XGetWindowProperty(dpy, w, name, 0, 1L << 16, False, type, &actualType,
                                  &actualFormat, &count, &after, &data) != Success) {
        return false;
    }
    bool ok = actualType != None && data != nullptr;
    if (ok) {
        out->type = actualType;
        out->format = actualFormat;
        if (actualFormat == 8) {
            out->bytes.assign(data, data + count);
        } else if (actualFormat == 32) {
            auto* longs = reinterpret_cast<unsigned long*>(data);
            out->items.assign(longs, longs + count);
        }
    }
    if (data != nullptr) {
        Xlib().XFree(data);
    }
    return ok;
}

struct Atoms {
    explicit Atoms(Display* dpy)
        : clientList(Xlib().XInternAtom(dpy, "_NET_CLIENT_LIST", False)),
          wmName(Xlib().XInternAtom(dpy, "_NET_WM_NAME", False)),
          utf8(Xlib().XInternAtom(dpy, "UTF8_STRING", False)),
          wmState(Xlib().XInternAtom(dpy, "WM_STATE", False)),
          netState(Xlib().XInternAtom(dpy, "_NET_WM_STATE", False)),
          skipTaskbar(Xlib().XInternAtom(dpy, "_NET_WM_STATE_SKIP_TASKBAR", False)),
          windowType(Xlib().XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False)),
          typeNormal(Xlib().XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_NORMAL", False)),
          typeDialog(Xlib().XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DIALOG", False)) {}
    Atom clientList, wmName, utf8, wmState, netState, skipTaskbar, windowType, typeNormal,
        typeDialog;
};

// Window-manager state of a client: -1 when it has none.
long WmState(Display* dpy, const Atoms& atoms, Window w) {
    Property p;
    if (ReadProperty(dpy, w, atoms.wmState, atoms.wmState, &p) && p.format == 32 &&
        !p.items.empty()) {
        return static_cast<long>(p.items[0]);
    }
    return -1;
}

// Under a reparenting window manager the children of the root are frames; the application's
// window is the descendant that carries WM_STATE.
Window FindClient(Display* dpy, const Atoms& atoms, Window w, int depth) {
    if (WmState(dpy, atoms, w) >= 0) {
        return w;
    }
    if (depth == 0) {
        return None;
    }
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = None;
    if (Xlib().XQueryTree(dpy, w, &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count && found == None; ++i) {
            found = FindClient(dpy, atoms, children[i], depth - 1);
        }
    }
    if (children != nullptr) {
        Xlib().XFree(children);
    }
    return found;
}

std::vector<Window> CandidateWindows(Display* dpy, const Atoms& atoms) {
    std::vector<Window> windows;
    Window root = DefaultRootWindow(dpy);
    Property list;
    if (ReadProperty(dpy, root, atoms.clientList, XA_WINDOW, &list) && list.format == 32) {
        windows.assign(list.items.begin(), list.items.end());
        return windows;
    }
    Window rootOut = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (Xlib().XQueryTree(dpy, root, &rootOut, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (Xlib().XGetWindowAttributes(dpy, children[i], &attributes) == 0 ||
                attributes.override_redirect) {
                continue;  // menus, tooltips and other windows nobody manages
            }
            Window client = FindClient(dpy, atoms, children[i], 3);
            windows.push_back(client != None ? client : children[i]);
        }
    }
    if (children != nullptr) {
        Xlib().XFree(children);
    }
    return windows;
}

std::string WindowTitle(Display* dpy, const Atoms& atoms, Window w) {
    Property name;
    if (ReadProperty(dpy, w, atoms.wmName, atoms.utf8, &name) && name.format == 8 &&
        !name.bytes.empty()) {
        return std::string(name.bytes.begin(), name.bytes.end());
    }
    XTextProperty text{};
    std::string title;
    if (Xlib().XGetWMName(dpy, w, &text) != 0 && text.value != nullptr && text.format == 8) {
        if (text.encoding == XA_STRING || text.encoding == atoms.utf8) {
            title.assign(reinterpret_cast<const char*>(text.value), text.nitems);
        } else {
            char** list = nullptr;
            int count = 0;
            if (Xlib().Xutf8TextPropertyToTextList(dpy, &text, &list, &count) == Success &&
                count > 0 && list != nullptr) {
                title = list[0];
            }
            if (list != nullptr) {
                Xlib().XFreeStringList(list);
            }
        }
    }
    if (text.value != nullptr) {
        Xlib().XFree(text.value);
    }
    return title;
}

bool IsVisible(Display* dpy, const Atoms& atoms, Window w) {
    XWindowAttributes attributes;
    if (Xlib().XGetWindowAttributes(dpy, w, &attributes) == 0) {
        return false;
    }
    if (attributes.map_state != IsUnmapped) {
        return true;
    }
    // Iconified (or parked on another desktop): unmapped, yet managed and not withdrawn.
    return WmState(dpy, atoms, w) > WithdrawnState;
}

bool ShownOnTaskbar(Display* dpy, const Atoms& atoms, Window w) {
    Window owner = None;
    if (Xlib().XGetTransientForHint(dpy, w, &owner) != 0 && owner != None) {
        return false;
    }
    Property state;
    if (ReadProperty(dpy, w, atoms.netState, XA_ATOM, &state)) {
        for (unsigned long atom : state.items) {
            if (atom == atoms.skipTaskbar) {
                return false;
            }
        }
    }
    Property type;
    if (ReadProperty(dpy, w, atoms.windowType, XA_ATOM, &type) && !type.items.empty()) {
        return type.items[0] == atoms.typeNormal || type.items[0] == atoms.typeDialog;
    }
    return true;
}

}  // namespace

std::vector<TopLevelWindow> ListTopLevelWindows(const std::string& display) {
    std::vector<TopLevelWindow> result;
    std::lock_guard<std::mutex> lock(X11Mutex());
    Connection connection(display);
    Display* dpy = connection.get();
    if (dpy == nullptr) {
        return result;
    }
    Atoms atoms(dpy);
    for (Window w : CandidateWindows(dpy, atoms)) {
        if (!IsVisible(dpy, atoms, w)) {
            continue;
        }
        TopLevelWindow window;
        window.id = w;
        window.title = WindowTitle(dpy, atoms, w);
        if (window.title.empty()) {
            continue;
        }
        window.taskbar = ShownOnTaskbar(dpy, atoms, w);
        result.push_back(std::move(window));
    }
    return result;
}

bool FindTopLevelWindow(const std::string& title, const std::string& display) {
    for (const TopLevelWindow& window : ListTopLevelWindows(display)) {
        if (EqualsNoCase(window.title, title)) {
            return true;
        }
    }
    return false;
}

}  // namespace orvex
