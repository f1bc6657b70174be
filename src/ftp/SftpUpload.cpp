#include "ftp/SftpUpload.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <openssl/evp.h>
#include <openssl/sha.h>

#include "platform/CurlLibrary.h"
#include "platform/TextUtil.h"

namespace orvex {

namespace {

constexpr int kMinIdleSeconds = 60;
// The whole upload may take this many idle limits at most; a page is small.
constexpr int kWholeUploadIdleLimits = 10;

struct HostKeyCheck {
    std::string known;
    std::string offered;
    bool changed = false;
    bool unreadable = false;  // a key the known-hosts way handed over in no readable form
};

// Whether the offered key may be used: the stored fingerprint decides, and on first use
// (nothing stored) the key is taken and remembered by the caller.
bool AcceptOffered(HostKeyCheck& check, const std::string& fingerprint) {
    check.offered = fingerprint;
    if (!check.known.empty() && check.known != check.offered) {
        check.changed = true;
        return false;
    }
    return true;
}

int CheckHostKey(void* context, int /*keyType*/, const char* key, size_t length) {
    auto* check = static_cast<HostKeyCheck*>(context);
    return AcceptOffered(*check, HostKeyFingerprint(std::string(key, length)))
               ? CURLKHMATCH_OK
               : CURLKHMATCH_MISMATCH;
}

// The raw bytes of base64 text; false when it is not base64.
bool DecodeBase64(const std::string& text, std::string* bytes) {
    if (text.empty() || text.size() % 4 != 0) {
        return false;
    }
    std::string out(text.size() / 4 * 3, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                       reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0) {
        return false;
    }
    // EVP_DecodeBlock counts the padding as bytes.
    size_t size = static_cast<size_t>(length);
    for (size_t i = text.size(); i > 0 && text[i - 1] == '=' && size > 0; --i) {
        --size;
    }
    out.resize(size);
    *bytes = std::move(out);
    return true;
}

// The known-hosts way: libcurl has matched the key against the file; the stored fingerprint
// decides all the same, and the file follows the key accepted so it never disagrees.
int CheckKnownHostKey(CURL* /*easy*/, const curl_khkey* /*knownKey*/, const curl_khkey* foundKey,
                      curl_khmatch match, void* context) {
    auto* check = static_cast<HostKeyCheck*>(context);
    std::string blob;
    if (foundKey == nullptr || foundKey->key == nullptr) {
        check->unreadable = true;
        return CURLKHSTAT_REJECT;
    }
    if (foundKey->len == 0) {
        if (!DecodeBase64(foundKey->key, &blob)) {
            check->unreadable = true;
            return CURLKHSTAT_REJECT;
        }
    } else {
        blob.assign(foundKey->key, foundKey->len);
    }
    if (!AcceptOffered(*check, HostKeyFingerprint(blob))) {
        return CURLKHSTAT_REJECT;
    }
    switch (match) {
        case CURLKHMATCH_OK:
            return CURLKHSTAT_FINE;
        case CURLKHMATCH_MISSING:
            return CURLKHSTAT_FINE_ADD_TO_FILE;
        default:
            return CURLKHSTAT_FINE_REPLACE;
    }
}

// Sets options in turn and keeps the first that libcurl refused.
class OptionSetter {
public:
    OptionSetter(const CurlFunctions& lib, CURL* curl) : lib_(lib), curl_(curl) {}

    template <typename Value>
    bool Set(CURLoption option, const char* name, Value value) {
        if (code_ != CURLE_OK) {
            return false;
        }
        code_ = lib_.easy_setopt(curl_, option, value);
        if (code_ != CURLE_OK) {
            failed_ = name;
        }
        return code_ == CURLE_OK;
    }

    bool Ok() const { return code_ == CURLE_OK; }
    std::string Failure() const {
        return "libcurl refused " + failed_ + " (" + lib_.easy_strerror(code_) + ")";
    }

private:
    const CurlFunctions& lib_;
    CURL* curl_;
    CURLcode code_ = CURLE_OK;
    std::string failed_;
};

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
struct EasyCleanup {
    const CurlFunctions* lib;
    void operator()(CURL* curl) const { lib->easy_cleanup(curl); }
};

}  // namespace

std::string HostKeyFingerprint(const std::string& keyBlob) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(keyBlob.data()), keyBlob.size(), digest);
    unsigned char text[4 * ((SHA256_DIGEST_LENGTH + 2) / 3) + 1] = {};
    int length = EVP_EncodeBlock(text, digest, SHA256_DIGEST_LENGTH);
    std::string encoded(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    // Fingerprints are shown without base64 padding.
    while (!encoded.empty() && encoded.back() == '=') {
        encoded.pop_back();
    }
    return "SHA256:" + encoded;
}

std::string SftpUrl(const std::string& host, int port, const std::string& remoteFile) {
    std::string path = remoteFile;
    std::replace(path.begin(), path.end(), '\\', '/');
    std::string url = "sftp://";
    url += host.find(':') != std::string::npos ? "[" + host + "]" : host;
    url += ":" + std::to_string(port);
    if (path.empty() || path[0] != '/') {
        url += "/~";
    }
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find('/', begin);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string part = path.substr(begin, end - begin);
        if (!part.empty() || end == path.size()) {
            url += "/";
            url += PercentEncode(part);
        }
        begin = end + 1;
    }
    return url;
}

SftpUploadResult SftpUpload(const SftpUploadParams& params) {
    SftpUploadResult result;
    std::unique_ptr<FILE, FileClose> file(std::fopen(params.localPath.c_str(), "rb"));
    struct stat info {};
    if (!file || ::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.error = "cannot read " + params.localPath;
        return result;
    }
    CurlLease lease;
    if (!lease.Loaded()) {
        result.error = lease.Failure() + "; nothing was sent";
        return result;
    }
    const CurlFunctions& lib = *lease.operator->();
    std::unique_ptr<CURL, EasyCleanup> curl(lib.easy_init(), EasyCleanup{&lib});
    if (!curl) {
        result.error = "cannot start libcurl";
        return result;
    }
    HostKeyCheck check{params.knownHostKey, {}, false, false};
    char errorText[CURL_ERROR_SIZE] = {};
    const long connectSeconds = std::max(1, params.timeoutSeconds);
    const long idleSeconds = std::max(kMinIdleSeconds, params.timeoutSeconds);
    const std::string url = SftpUrl(params.host, params.port, params.remoteFile);

    CURL* c = curl.get();
    OptionSetter set(lib, c);
    set.Set(CURLOPT_URL, "CURLOPT_URL", url.c_str());
    set.Set(CURLOPT_PROTOCOLS_STR, "CURLOPT_PROTOCOLS_STR", "sftp");
    set.Set(CURLOPT_NOSIGNAL, "CURLOPT_NOSIGNAL", 1L);
    // Straight to the server like the FTP client: a proxy named in the environment is meant
    // for web pages.
    set.Set(CURLOPT_PROXY, "CURLOPT_PROXY", "");
    set.Set(CURLOPT_ERRORBUFFER, "CURLOPT_ERRORBUFFER", errorText);
    set.Set(CURLOPT_USERNAME, "CURLOPT_USERNAME", params.user.c_str());
    set.Set(CURLOPT_PASSWORD, "CURLOPT_PASSWORD", params.password.c_str());
    set.Set(CURLOPT_SSH_AUTH_TYPES, "CURLOPT_SSH_AUTH_TYPES",
            static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
    set.Set(CURLOPT_UPLOAD, "CURLOPT_UPLOAD", 1L);
    set.Set(CURLOPT_READDATA, "CURLOPT_READDATA", file.get());
    set.Set(CURLOPT_INFILESIZE_LARGE, "CURLOPT_INFILESIZE_LARGE",
            static_cast<curl_off_t>(info.st_size));
    set.Set(CURLOPT_CONNECTTIMEOUT, "CURLOPT_CONNECTTIMEOUT", connectSeconds);
    set.Set(CURLOPT_LOW_SPEED_LIMIT, "CURLOPT_LOW_SPEED_LIMIT", 1L);
    set.Set(CURLOPT_LOW_SPEED_TIME, "CURLOPT_LOW_SPEED_TIME", idleSeconds);
    set.Set(CURLOPT_TIMEOUT, "CURLOPT_TIMEOUT",
            connectSeconds + idleSeconds * kWholeUploadIdleLimits);
    if (!set.Ok()) {
        result.error = set.Failure() + "; nothing was sent";
        return result;
    }

    // The host key reaches the check through the callback where this libcurl has it (its
    // SSH back end decides), else through the known-hosts file and the key function.
    bool hooked = false;
    if (!params.forceKnownHostsFile) {
        hooked = lib.easy_setopt(c, CURLOPT_SSH_HOSTKEYFUNCTION, CheckHostKey) == CURLE_OK &&
                 lib.easy_setopt(c, CURLOPT_SSH_HOSTKEYDATA, &check) == CURLE_OK;
        if (!hooked) {
            lib.easy_setopt(c, CURLOPT_SSH_HOSTKEYFUNCTION, nullptr);
        }
    }
    if (!hooked) {
        if (params.knownHostsFile.empty()) {
            result.error =
                "this libcurl cannot show Orvex the server's host key and no known-hosts file "
                "is set, so SFTP is refused; nothing was sent";
            return result;
        }
        OptionSetter known(lib, c);
        known.Set(CURLOPT_SSH_KNOWNHOSTS, "CURLOPT_SSH_KNOWNHOSTS", params.knownHostsFile.c_str());
        known.Set(CURLOPT_SSH_KEYFUNCTION, "CURLOPT_SSH_KEYFUNCTION", CheckKnownHostKey);
        known.Set(CURLOPT_SSH_KEYDATA, "CURLOPT_SSH_KEYDATA", &check);
        if (!known.Ok()) {
            result.error = "the server's host key cannot be checked: " + known.Failure() +
                           ", so SFTP is refused; nothing was sent";
            return result;
        }
    }

    const CURLcode code = lib.easy_perform(c);
    KeepCurlIfLookupLeftRunning(lease, c, code);
    result.offeredHostKey = check.offered;
    result.hostKeyChanged = check.changed;
    if (code == CURLE_OK && check.offered.empty()) {
        // Nothing checked the server: an upload to a machine nobody vouched for is no success.
        result.error = "no host key of the server was seen, so none could be checked or stored";
        return result;
    }
    if (code == CURLE_OK) {
        result.ok = true;
        return result;
    }
    if (check.unreadable) {
        result.error = "the server's host key came in a form that cannot be read";
        return result;
    }
    result.error = errorText[0] != '\0' ? errorText : lib.easy_strerror(code);
    return result;
}

}  // namespace orvex
