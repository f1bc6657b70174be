#pragma once

#include <string>

#include <curl/curl.h>

namespace orvex {

// The libcurl functions the HTTP client and the SFTP upload call. The program does not link
// libcurl: it is loaded when a transfer first asks for it and let go once a cycle has ended, so
// a program waiting between cycles does not hold libcurl and the TLS, SSH and directory
// libraries it brings (several megabytes resident).
struct CurlFunctions {
    decltype(&::curl_global_init) global_init = nullptr;
    decltype(&::curl_global_cleanup) global_cleanup = nullptr;
    decltype(&::curl_easy_init) easy_init = nullptr;
    decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&::curl_easy_setopt) easy_setopt = nullptr;
    decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&::curl_easy_perform) easy_perform = nullptr;
    decltype(&::curl_easy_strerror) easy_strerror = nullptr;
    decltype(&::curl_slist_append) slist_append = nullptr;
    decltype(&::curl_slist_free_all) slist_free_all = nullptr;
    decltype(&::curl_url) url = nullptr;
    decltype(&::curl_url_cleanup) url_cleanup = nullptr;
    decltype(&::curl_url_set) url_set = nullptr;
    decltype(&::curl_url_get) url_get = nullptr;
    decltype(&::curl_url_strerror) url_strerror = nullptr;
    decltype(&::curl_free) free = nullptr;
};

// Keeps libcurl loaded and set up while it lives; the first lease loads it. Leases may be
// held by several threads at once.
class CurlLease {
public:
    CurlLease();
    ~CurlLease();
    CurlLease(const CurlLease&) = delete;
    CurlLease& operator=(const CurlLease&) = delete;

    // False when libcurl could not be loaded; Failure() then says why.
    bool Loaded() const { return functions_ != nullptr; }
    const std::string& Failure() const { return failure_; }
    const CurlFunctions* operator->() const { return functions_; }

    // Keeps libcurl loaded for the rest of the process: a transfer that ran out of time may
    // leave libcurl's name lookup thread running in its code after the handle is gone.
    void KeepLoaded();

private:
    const CurlFunctions* functions_ = nullptr;
    std::string failure_;
};

// After a transfer on `easy` ended with `code`: keeps libcurl loaded when the transfer ran out
// of time before its name lookup ended, as libcurl then leaves the lookup thread running.
void KeepCurlIfLookupLeftRunning(CurlLease& lease, CURL* easy, CURLcode code);

// Lets libcurl go when no lease holds it and no transfer asked to keep it; true when it is
// not loaded afterwards. Called when a cycle has ended.
bool ReleaseIdleCurl();

// Whether libcurl is loaded now.
bool CurlIsLoaded();

}  // namespace orvex
