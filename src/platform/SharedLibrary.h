#pragma once

#include <string>

namespace orvex {

// A shared library opened when first needed rather than linked, so a program that never asks
// for what it does keeps none of its pages (nor those of the libraries it brings) resident.
// Open it, find its functions, then Finish: the library is kept only when every one was found.
//
//     SharedLibrary xml("libxml2.so.2");
//     xml.Find("xmlReadMemory", f.readMemory).Find("xmlFreeDoc", f.freeDoc);
//     void* handle = xml.Finish(&why);
class SharedLibrary {
public:
    explicit SharedLibrary(const char* fileName);
    ~SharedLibrary();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Sets `out` to the symbol `name` (a function, or a variable's address); a missing one
    // makes Finish fail.
    template <typename Pointer>
    SharedLibrary& Find(const char* name, Pointer& out) {
        out = reinterpret_cast<Pointer>(Symbol(name));
        return *this;
    }

    // The handle when the library opened and every symbol was found; it then stays open for
    // the caller to dlclose (or never). Otherwise nullptr, the library closed again, and `why`
    // (when given) says what was wrong: "cannot load libx.so.1: ..." or "libx.so.1 has no f".
    void* Finish(std::string* why = nullptr);

private:
    void* Symbol(const char* name);

    std::string fileName_;
    void* handle_ = nullptr;
    std::string failure_;
};

}  // namespace orvex
