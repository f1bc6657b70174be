#include "ddns/providers/AwsSignature.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

namespace orvex::ddns {

namespace {

std::string Hex(const unsigned char* data, size_t size) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(size * 2);
    for (size_t i = 0; i < size; ++i) {
        out += kHex[data[i] >> 4];
        out += kHex[data[i] & 0x0F];
    }
    return out;
}

std::string Sha256Hex(const std::string& data) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
    return Hex(digest, sizeof digest);
}

std::string Hmac(const std::string& key, const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest, &length);
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string SigningKey(const std::string& secret, const std::string& date,
                       const std::string& region, const std::string& service) {
    return Hmac(Hmac(Hmac(Hmac("AWS4" + secret, date), region), service), "aws4_request");
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t from = text.find_first_not_of(" \t");
    if (from == std::string::npos) {
        return "";
    }
    return text.substr(from, text.find_last_not_of(" \t") - from + 1);
}

// Parameters sorted by name, then value.
std::string CanonicalQuery(const std::string& query) {
    std::vector<std::pair<std::string, std::string>> pairs;
    std::stringstream in(query);
    std::string item;
    while (std::getline(in, item, '&')) {
        if (item.empty()) {
            continue;
        }
        const size_t eq = item.find('=');
        pairs.emplace_back(item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1));
    }
    std::sort(pairs.begin(), pairs.end());
    std::string out;
    for (const auto& [name, value] : pairs) {
        out += (out.empty() ? "" : "&") + name + "=" + value;
    }
    return out;
}

}  // namespace

AwsSignature SignAwsRequest(const AwsRequestToSign& request, const std::string& keyId,
                            const std::string& secret) {
    std::map<std::string, std::string> headers;
    for (const auto& [name, value] : request.headers) {
        headers[Lower(name)] = Trimmed(value);
    }
    headers["host"] = request.host;
    headers["x-amz-date"] = request.amzDate;
    std::string canonicalHeaders;
    std::string signedHeaders;
    for (const auto& [name, value] : headers) {
        canonicalHeaders += name + ":" + value + "\n";
        signedHeaders += (signedHeaders.empty() ? "" : ";") + name;
    }
    AwsSignature out;
    out.canonicalRequest = request.method + "\n" + (request.path.empty() ? "/" : request.path) +
                           "\n" + CanonicalQuery(request.query) + "\n" + canonicalHeaders + "\n" +
                           signedHeaders + "\n" + Sha256Hex(request.body);
    const std::string date = request.amzDate.substr(0, 8);
    const std::string scope = date + "/" + request.region + "/" + request.service + "/aws4_request";
    out.stringToSign = "AWS4-HMAC-SHA256\n" + request.amzDate + "\n" + scope + "\n" +
                       Sha256Hex(out.canonicalRequest);
    const std::string mac =
        Hmac(SigningKey(secret, date, request.region, request.service), out.stringToSign);
    out.signature = Hex(reinterpret_cast<const unsigned char*>(mac.data()), mac.size());
    out.authorization = "AWS4-HMAC-SHA256 Credential=" + keyId + "/" + scope +
                        ", SignedHeaders=" + signedHeaders + ", Signature=" + out.signature;
    return out;
}

std::string AwsSigningKeyHex(const std::string& secret, const std::string& date,
                             const std::string& region, const std::string& service) {
    const std::string key = SigningKey(secret, date, region, service);
    return Hex(reinterpret_cast<const unsigned char*>(key.data()), key.size());
}

void SignHttpRequest(HttpRequest& request, const std::string& keyId, const std::string& secret,
                     const std::string& region, const std::string& service, std::time_t now) {
    static const char* const kMethods[] = {"GET", "POST", "PUT", "PATCH", "DELETE"};
    AwsRequestToSign sign;
    sign.method = kMethods[static_cast<int>(request.method)];
    const size_t schemeEnd = request.url.find("://");
    const size_t from = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
    const size_t pathStart = std::min(request.url.find_first_of("/?#", from), request.url.size());
    sign.host = Lower(request.url.substr(from, pathStart - from));
    // The Host header leaves out the scheme's own port.
    const std::string scheme = Lower(request.url.substr(0, from));
    const std::string defaultPort = scheme == "https://" ? ":443" : ":80";
    if (sign.host.ends_with(defaultPort)) {
        sign.host.resize(sign.host.size() - defaultPort.size());
    }
    std::string rest = request.url.substr(pathStart);
    rest = rest.substr(0, rest.find('#'));
    const size_t question = rest.find('?');
    sign.path = rest.substr(0, question);
    sign.query = question == std::string::npos ? "" : rest.substr(question + 1);
    for (const auto& [name, value] : request.headers) {
        if (Lower(name) == "content-type") {
            sign.headers.emplace_back(name, value);
        }
    }
    sign.body = request.body;
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[20];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    sign.amzDate = stamp;
    sign.region = region;
    sign.service = service;
    const AwsSignature signature = SignAwsRequest(sign, keyId, secret);
    request.headers.emplace_back("X-Amz-Date", sign.amzDate);
    request.headers.emplace_back("Authorization", signature.authorization);
}

}  // namespace orvex::ddns
