#include "platform/TrustStore.h"

#include <cstdlib>
#include <mutex>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace orvex {

namespace {

std::string EnvironmentOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

// The bundle one lookup reads at its first question.
struct Bundle {
    std::string path;
    std::mutex mutex;
    bool read = false;
};

Bundle* BundleOf(X509_LOOKUP* lookup) {
    return static_cast<Bundle*>(X509_LOOKUP_get_method_data(lookup));
}

void FreeBundle(X509_LOOKUP* lookup) {
    delete BundleOf(lookup);
    X509_LOOKUP_set_method_data(lookup, nullptr);
}

// Asked only when the store and the lookups before this one lack the name: reads the bundle
// into the store once, then answers from the store as the folder lookup does, with a pointer
// the store keeps alive.
int BundleBySubject(X509_LOOKUP* lookup, X509_LOOKUP_TYPE type, const X509_NAME* name,
                    X509_OBJECT* found) {
    Bundle* bundle = BundleOf(lookup);
    if (bundle == nullptr || (type != X509_LU_X509 && type != X509_LU_CRL)) {
        return 0;
    }
    {
        std::lock_guard<std::mutex> lock(bundle->mutex);
        if (!bundle->read) {
            bundle->read = true;
            // A missing bundle means an empty one, as when the whole store is read at once.
            ERR_set_mark();
            X509_load_cert_crl_file(lookup, bundle->path.c_str(), X509_FILETYPE_PEM);
            ERR_pop_to_mark();
        }
    }
    X509_STORE* store = X509_LOOKUP_get_store(lookup);
    if (store == nullptr || X509_STORE_lock(store) != 1) {
        return 0;
    }
    int ok = 0;
    X509_OBJECT* held = X509_OBJECT_retrieve_by_subject(X509_STORE_get0_objects(store), type,
                                                        const_cast<X509_NAME*>(name));
    if (held != nullptr && type == X509_LU_X509) {
        X509* certificate = X509_OBJECT_get0_X509(held);
        ok = X509_OBJECT_set1_X509(found, certificate);
        X509_free(certificate);  // the caller takes its own reference
    } else if (held != nullptr) {
        X509_CRL* list = X509_OBJECT_get0_X509_CRL(held);
        ok = X509_OBJECT_set1_X509_CRL(found, list);
        X509_CRL_free(list);
    }
    X509_STORE_unlock(store);
    return ok;
}

X509_LOOKUP_METHOD* BundleOnDemand() {
    // Never freed: every store made from it may outlive any static destructor.
    static X509_LOOKUP_METHOD* method = [] {
        X509_LOOKUP_METHOD* made = X509_LOOKUP_meth_new("orvex bundle on demand");
        if (made != nullptr) {
            X509_LOOKUP_meth_set_free(made, FreeBundle);
            X509_LOOKUP_meth_set_get_by_subject(made, BundleBySubject);
        }
        return made;
    }();
    return method;
}

std::string LibraryReason() {
    const unsigned long code = ERR_peek_last_error();
    const char* reason = code == 0 ? nullptr : ERR_reason_error_string(code);
    if (reason != nullptr) {
        return reason;
    }
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

}  // namespace

bool TrustSystemStore(ssl_ctx_st* context, const std::string& caFile, std::string* error) {
    X509_STORE* store = SSL_CTX_get_cert_store(context);
    // The folder first: a lookup there opens one small file named by the issuer's hash.
    X509_LOOKUP* folder = X509_STORE_add_lookup(store, X509_LOOKUP_hash_dir());
    if (folder != nullptr) {
        X509_LOOKUP_add_dir(
            folder,
            EnvironmentOr(X509_get_default_cert_dir_env(), X509_get_default_cert_dir()).c_str(),
            X509_FILETYPE_PEM);
    }
    X509_LOOKUP_METHOD* method = BundleOnDemand();
    X509_LOOKUP* bundle = method != nullptr ? X509_STORE_add_lookup(store, method) : nullptr;
    if (bundle != nullptr) {
        auto* data = new Bundle;
        data->path = EnvironmentOr(X509_get_default_cert_file_env(), X509_get_default_cert_file());
        X509_LOOKUP_set_method_data(bundle, data);
    }
    ERR_clear_error();
    if (!caFile.empty() && SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) != 1) {
        *error = "cannot read trusted certificates from " + caFile + ": " + LibraryReason();
        ERR_clear_error();
        return false;
    }
    return true;
}

}  // namespace orvex
