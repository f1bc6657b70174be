// Every provider of the catalog that speaks dyndns2 or a GET address, sent through the scripted
// update service standing in by Server<n>: the request it records must be the provider's
// documented address with the entry's values, for IPv4 and for IPv6.

#include <gtest/gtest.h>

#include "DdnsTestSupport.h"
#include "TempDir.h"
#include "ddns/DynamicDnsUpdater.h"
#include "settings/DynamicDnsKinds.h"

namespace orvex::ddns {
namespace {

using test::UpdateService;

constexpr const char* kIpv4 = "192.0.2.1";
constexpr const char* kIpv6 = "2001:db8::1";
constexpr const char* kIpv6Encoded = "2001%3Adb8%3A%3A1";

// `text` with every `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// What the documentation says the provider is asked, path and query, for the entry of the test
// (host home.example.test, user joe, password tok3n, zone example.test).
std::string DocumentedRequest(const DdnsKind& provider, bool ipv6) {
    const size_t origin = provider.address.find('/', provider.address.find("://") + 3);
    std::string request = origin == std::string::npos ? "/" : provider.address.substr(origin);
    const std::string address = ipv6 ? kIpv6Encoded : kIpv4;
    if (provider.sender == DdnsSender::kDyndns2) {
        return request + (request.find('?') == std::string::npos ? "?" : "&") +
               "hostname=home.example.test&myip=" + address;
    }
    // The parameter of the address family not sent is left out.
    const size_t query = request.find('?');
    std::string kept;
    size_t pos = query + 1;
    while (query != std::string::npos && pos <= request.size()) {
        size_t end = request.find('&', pos);
        end = end == std::string::npos ? request.size() : end;
        const std::string parameter = request.substr(pos, end - pos);
        const bool other = ipv6 ? parameter.ends_with("=%WI") : parameter.ends_with("=%WI6");
        if (!other) {
            kept += (kept.empty() ? "" : "&") + parameter;
        }
        pos = end + 1;
    }
    if (query != std::string::npos) {
        request = request.substr(0, query) + (kept.empty() ? "" : "?" + kept);
    }
    request = Replaced(request, "%WI6", kIpv6Encoded);
    request = Replaced(request, "%WI", kIpv4);
    request = Replaced(request, "%H", "home.example.test");
    request = Replaced(request, "%U", "joe");
    request = Replaced(request, "%P", "tok3n");
    return Replaced(request, "%Z", "example.test");
}

TEST(PresetTest, EachPresetSendsItsDocumentedRequest) {
    // One answer that carries every preset's sign of success.
    UpdateService service({"!good 192.0.2.1 OK success <ErrCount>0</ErrCount>"});
    ASSERT_TRUE(service.Ready()) << service.Log();
    test::TempDir dir;
    size_t sent = 0;
    for (const DdnsKind& provider : DynamicDnsKinds()) {
        if (provider.generic || provider.sender == DdnsSender::kNative) {
            continue;
        }
        for (const bool ipv6 : {false, true}) {
            DynamicDnsEntry e;
            e.Protocol = provider.stored;
            e.Server = service.Base();
            e.Hosts = "home.example.test";
            e.User = "joe";
            e.Password = "tok3n";
            e.Zone = "example.test";
            e.Family = ipv6 ? kDdnsFamily6 : kDdnsFamily4;
            ASSERT_TRUE(CheckDynamicDnsEntry(e).empty()) << provider.stored;
            UpdateRun run;
            run.addresses.wan = kIpv4;
            run.addresses.wan6 = kIpv6;
            run.timeoutSeconds = 5;
            run.workDir = dir.Path();
            const UpdateAttempt attempt = SendDynamicDnsUpdate(e, run);
            EXPECT_TRUE(attempt.ok) << provider.stored << ": " << attempt.why;
            const auto requests = service.Requests();
            ASSERT_EQ(requests.size(), ++sent) << provider.stored;
            const auto& got = requests.back();
            EXPECT_EQ(got.path + (got.query.empty() ? "" : "?" + got.query),
                      DocumentedRequest(provider, ipv6))
                << provider.stored;
            const bool logon = provider.sender == DdnsSender::kDyndns2 || provider.basicAuth;
            EXPECT_EQ(got.auth, logon ? "Basic am9lOnRvazNu" : "") << provider.stored;
        }
    }
    EXPECT_GE(sent, 56u);
}

}  // namespace
}  // namespace orvex::ddns
