// Sanitizer settings of the window tests.

#if defined(__SANITIZE_THREAD__)
// Qt is not built for the thread checker: its own thread pool hands work over through
// synchronisation the checker cannot see, so it would report Qt's internals. None of our code
// lives in these libraries.
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6XcbQpa.so.6\n"
           // The X connection library's own pair of locks, seen half through Qt.
           "deadlock:libxcb.so.1\n"
           "mutex:libxcb.so.1\n";
}
#endif

// The desktop's message bus library keeps one buffer until the process ends; it is not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}
