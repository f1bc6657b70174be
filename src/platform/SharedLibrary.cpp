#include "platform/SharedLibrary.h"

#include <dlfcn.h>

namespace orvex {

SharedLibrary::SharedLibrary(const char* fileName) : fileName_(fileName) {
    handle_ = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* why = ::dlerror();
        failure_ = "cannot load " + fileName_ + (why != nullptr ? std::string(": ") + why : "");
    }
}

SharedLibrary::~SharedLibrary() {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
    }
}

void* SharedLibrary::Symbol(const char* name) {
    if (handle_ == nullptr) {
        return nullptr;
    }
    void* symbol = ::dlsym(handle_, name);
    if (symbol == nullptr && failure_.empty()) {
        failure_ = fileName_ + " has no " + name;
    }
    return symbol;
}

void* SharedLibrary::Finish(std::string* why) {
    if (!failure_.empty()) {
        if (why != nullptr) {
            *why = failure_;
        }
        return nullptr;
    }
    void* handle = handle_;
    handle_ = nullptr;
    return handle;
}

}  // namespace orvex
