#pragma once

#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "platform/HttpClient.h"

namespace orvex::ddns {

// One request as Signature Version 4 sees it.
struct AwsRequestToSign {
    std::string method;  // "GET"
    std::string host;    // as the Host header carries it
    std::string path;    // already percent-encoded, "/" when empty
    std::string query;   // "name=a&type=A", already percent-encoded; sorted when signed
    // Headers signed besides host and x-amz-date ("content-type").
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    std::string amzDate;  // "20150830T123600Z"
    std::string region;   // "us-east-1"
    std::string service;  // "route53"
};

struct AwsSignature {
    std::string canonicalRequest;
    std::string stringToSign;
    std::string signature;      // lower-case hex
    std::string authorization;  // the Authorization header's value
};

// Signs `request` with an access key id and its secret (AWS4-HMAC-SHA256).
AwsSignature SignAwsRequest(const AwsRequestToSign& request, const std::string& keyId,
                            const std::string& secret);

// The signing key derived from the secret for a day ("20150830"), region and service, in hex.
std::string AwsSigningKeyHex(const std::string& secret, const std::string& date,
                             const std::string& region, const std::string& service);

// Adds X-Amz-Date and Authorization to an HTTP request about to go to an AWS service, signing
// its method, host, path, query, Content-Type (when set) and body as of `now`.
void SignHttpRequest(HttpRequest& request, const std::string& keyId, const std::string& secret,
                     const std::string& region, const std::string& service, std::time_t now);

}  // namespace orvex::ddns
