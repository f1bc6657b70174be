#include "ui/KeyringStore.h"

#include <sys/stat.h>

#include <cstdlib>

#include <libsecret/secret.h>

#include "platform/SharedLibrary.h"

namespace orvex {

namespace {

// One secret per settings file and key.
const SecretSchema* Schema() {
    static const SecretSchema schema = {"org.orvex.Password",
                                        SECRET_SCHEMA_NONE,
                                        {{"settings", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {"key", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                         {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

// libsecret is loaded when the keyring is first asked: with it come the object system and
// I/O libraries of the desktop (over a megabyte resident), which a program whose passwords
// are not in the keyring never needs. It stays loaded once it is (it registers types).
struct SecretFunctions {
    decltype(&::secret_password_lookup_sync) lookup = nullptr;
    decltype(&::secret_password_store_sync) store = nullptr;
    decltype(&::secret_password_free) free = nullptr;
    decltype(&::g_error_free) errorFree = nullptr;
};

const SecretFunctions* LoadSecret() {
    static const SecretFunctions* loaded = []() -> const SecretFunctions* {
        static SecretFunctions f;
        SharedLibrary secret("libsecret-1.so.0");
        secret.Find("secret_password_lookup_sync", f.lookup)
            .Find("secret_password_store_sync", f.store)
            .Find("secret_password_free", f.free)
            .Find("g_error_free", f.errorFree);
        return secret.Finish() != nullptr ? &f : nullptr;
    }();
    return loaded;
}

}  // namespace

bool KeyringStore::Reachable() {
    if (failed_) {
        return false;
    }
    // A session bus named, or the usual one of the user's runtime directory; else no keyring
    // can answer and none is started.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && *address != '\0') {
        return true;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat info {};
    return runtime != nullptr && ::stat((std::string(runtime) + "/bus").c_str(), &info) == 0;
}

std::optional<std::string> KeyringStore::Lookup(const std::string& iniPath,
                                                const std::string& key) {
    if (!Reachable()) {
        return std::nullopt;
    }
    const SecretFunctions* lib = LoadSecret();
    if (lib == nullptr) {
        failed_ = true;
        return std::nullopt;
    }
    GError* error = nullptr;
    gchar* secret = lib->lookup(Schema(), nullptr, &error, "settings", iniPath.c_str(), "key",
                                key.c_str(), nullptr);
    if (error != nullptr) {
        failed_ = true;
        lib->errorFree(error);
        return std::nullopt;
    }
    if (secret == nullptr) {
        return std::nullopt;
    }
    std::string text(secret);
    lib->free(secret);
    return text;
}

bool KeyringStore::Store(const std::string& iniPath, const std::string& key,
                         const std::string& secret) {
    if (!Reachable()) {
        return false;
    }
    const SecretFunctions* lib = LoadSecret();
    if (lib == nullptr) {
        failed_ = true;
        return false;
    }
    GError* error = nullptr;
    const std::string label = "Orvex " + key + " (" + iniPath + ")";
    const gboolean stored =
        lib->store(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(), nullptr,
                   &error, "settings", iniPath.c_str(), "key", key.c_str(), nullptr);
    if (error != nullptr) {
        failed_ = true;
        lib->errorFree(error);
        return false;
    }
    return stored != FALSE;
}

}  // namespace orvex
