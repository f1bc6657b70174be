#include "platform/CurlLibrary.h"

#include <dlfcn.h>

#include <mutex>

#include "platform/SharedLibrary.h"

namespace orvex {

namespace {

constexpr const char* kLibraryName = "libcurl.so.4";

struct Library {
    std::mutex mutex;
    void* handle = nullptr;
    CurlFunctions functions;
    int leases = 0;
    bool keep = false;
};

Library& State() {
    static Library state;
    return state;
}

// Loads and sets up libcurl; an empty text on success, else why not. Under the mutex.
std::string Load(Library& state) {
    CurlFunctions& f = state.functions;
    SharedLibrary curl(kLibraryName);
    curl.Find("curl_global_init", f.global_init)
        .Find("curl_global_cleanup", f.global_cleanup)
        .Find("curl_easy_init", f.easy_init)
        .Find("curl_easy_cleanup", f.easy_cleanup)
        .Find("curl_easy_setopt", f.easy_setopt)
        .Find("curl_easy_getinfo", f.easy_getinfo)
        .Find("curl_easy_perform", f.easy_perform)
        .Find("curl_easy_strerror", f.easy_strerror)
        .Find("curl_slist_append", f.slist_append)
        .Find("curl_slist_free_all", f.slist_free_all)
        .Find("curl_url", f.url)
        .Find("curl_url_cleanup", f.url_cleanup)
        .Find("curl_url_set", f.url_set)
        .Find("curl_url_get", f.url_get)
        .Find("curl_url_strerror", f.url_strerror)
        .Find("curl_free", f.free);
    std::string why;
    void* handle = curl.Finish(&why);
    if (handle == nullptr) {
        return why;
    }
    if (f.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        ::dlclose(handle);
        return std::string(kLibraryName) + " could not set itself up";
    }
    state.handle = handle;
    return "";
}

}  // namespace

CurlLease::CurlLease() {
    Library& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.handle == nullptr) {
        failure_ = Load(state);
        if (!failure_.empty()) {
            return;
        }
    }
    ++state.leases;
    functions_ = &state.functions;
}

CurlLease::~CurlLease() {
    if (functions_ == nullptr) {
        return;
    }
    Library& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    --state.leases;
}

void CurlLease::KeepLoaded() {
    if (functions_ == nullptr) {
        return;
    }
    Library& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.keep = true;
}

void KeepCurlIfLookupLeftRunning(CurlLease& lease, CURL* easy, CURLcode code) {
    if (!lease.Loaded() || code != CURLE_OPERATION_TIMEDOUT) {
        return;
    }
    curl_off_t lookedUp = 0;
    if (lease->easy_getinfo(easy, CURLINFO_NAMELOOKUP_TIME_T, &lookedUp) != CURLE_OK ||
        lookedUp == 0) {
        lease.KeepLoaded();
    }
}

bool ReleaseIdleCurl() {
    Library& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.handle != nullptr && state.leases == 0 && !state.keep) {
        state.functions.global_cleanup();
        ::dlclose(state.handle);
        state.handle = nullptr;
    }
    return state.handle == nullptr;
}

bool CurlIsLoaded() {
    Library& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.handle != nullptr;
}

}  // namespace orvex
