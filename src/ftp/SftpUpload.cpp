#include "ftp/SftpUpload.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

namespace orvex {

namespace {

constexpr int kMinIdleSeconds = 60;
// The whole upload may take this many idle limits at most; a page is small.
constexpr int kWholeUploadIdleLimits = 10;

struct HostKeyCheck {
    std::string known;
    std::string offered;
    bool changed = false;
};

int CheckHostKey(void* context, int /*keyType*/, const char* key, size_t length) {
    auto* check = static_cast<HostKeyCheck*>(context);
    check->offered = HostKeyFingerprint(std::string(key, length));
    if (!check->known.empty() && check->known != check->offered) {
        check->changed = true;
        return CURLKHMATCH_MISMATCH;
    }
    return CURLKHMATCH_OK;
}

struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
struct EasyCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
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
            char* escaped = curl_easy_escape(nullptr, part.c_str(), static_cast<int>(part.size()));
            url += "/";
            url += escaped != nullptr ? escaped : "";
            curl_free(escaped);
        }
        begin = end + 1;
    }
    return url;
}

SftpUploadResult SftpUpload(const SftpUploadParams& params) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    SftpUploadResult result;
    std::unique_ptr<FILE, FileClose> file(std::fopen(params.localPath.c_str(), "rb"));
    struct stat info {};
    if (!file || ::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.error = "cannot read " + params.localPath;
        return result;
    }
    std::unique_ptr<CURL, EasyCleanup> curl(curl_easy_init());
    if (!curl) {
        result.error = "cannot start libcurl";
        return result;
    }
    HostKeyCheck check{params.knownHostKey, {}, false};
    char errorText[CURL_ERROR_SIZE] = {};
    const long connectSeconds = std::max(1, params.timeoutSeconds);
    const long idleSeconds = std::max(kMinIdleSeconds, params.timeoutSeconds);
    const std::string url = SftpUrl(params.host, params.port, params.remoteFile);

    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "sftp");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    // Straight to the server like the FTP client: a proxy named in the environment is meant
    // for web pages.
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(c, CURLOPT_USERNAME, params.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, params.password.c_str());
    curl_easy_setopt(c, CURLOPT_SSH_AUTH_TYPES,
                     static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
    curl_easy_setopt(c, CURLOPT_SSH_HOSTKEYFUNCTION, CheckHostKey);
    curl_easy_setopt(c, CURLOPT_SSH_HOSTKEYDATA, &check);
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READDATA, file.get());
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(info.st_size));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, connectSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, idleSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, connectSeconds + idleSeconds * kWholeUploadIdleLimits);

    const CURLcode code = curl_easy_perform(c);
    result.offeredHostKey = check.offered;
    result.hostKeyChanged = check.changed;
    if (code == CURLE_OK) {
        result.ok = true;
        return result;
    }
    result.error = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    return result;
}

}  // namespace orvex
