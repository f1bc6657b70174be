// Every provider's own interface against its emulator, in every case the emulator can play:
// a changed address is written and nothing else about the record, a current one is not, a
// missing one is created, several of a type are left alone, refused credentials stop the
// entry, a 429 says when to try again, a cut answer and a slow one end in a clear failure.
// And Route 53's signature against the values AWS publishes.

#include <chrono>
#include <ostream>
#include <tuple>

#include <gtest/gtest.h>

#include "ProviderEmulator.h"
#include "ddns/providers/AwsSignature.h"
#include "ddns/providers/NativeProvider.h"

namespace orvex::ddns {
namespace {

using test::ProviderEmulator;

struct Provider {
    const char* name;
    const char* user;  // where the provider has one besides the token
    int createdTtl;    // what a record created with TTL 300 gets
};

const Provider kProviders[] = {
    {"cloudflare", "", 1},  // automatic
    {"digitalocean", "", 300},
    {"hetzner", "", 300},
    {"porkbun", "pk1_example", 600},
    {"gandi", "", 300},
    {"linode", "", 300},
    {"vultr", "", 300},
    {"godaddy", "key-example", 600},
    {"route53", "AKIDEXAMPLE", 300},
    {"desec", "", 3600},
};

enum class Scenario { kUpdate, kCurrent, kMissing, kTwo, kAuth, kThrottle, kMalformed, kSlow };

struct Case {
    Scenario scenario;
    const char* emulatorCase;
    double delaySeconds;
};

const Case kCases[] = {
    {Scenario::kUpdate, "update", 0},       {Scenario::kCurrent, "current", 0},
    {Scenario::kMissing, "missing", 0},     {Scenario::kTwo, "two", 0},
    {Scenario::kAuth, "auth", 0},           {Scenario::kThrottle, "throttle", 0},
    {Scenario::kMalformed, "malformed", 0}, {Scenario::kSlow, "update", 4},
};

const char* const kHost = "home.example.test";

// Test names say which provider and case; the parameters need not be printed.
void PrintTo(const Provider& provider, std::ostream* out) {
    *out << provider.name;
}
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.emulatorCase;
}

class NativeProviderTest : public ::testing::TestWithParam<std::tuple<Provider, Case>> {};

TEST_P(NativeProviderTest, UpdatesSafely) {
    const auto& [provider, c] = GetParam();
    ProviderEmulator::Options options;
    options.provider = provider.name;
    options.scenario = c.emulatorCase;
    options.user = provider.user;
    options.token = "token-example";
    options.delaySeconds = c.delaySeconds;
    ProviderEmulator emulator(options);
    ASSERT_TRUE(emulator.Ready()) << emulator.Log();

    NativeUpdate update;
    update.base = emulator.Base();
    update.user = provider.user;
    update.password = "token-example";
    // The zone is found from the name, except when it is current: then it is given.
    update.zone = c.scenario == Scenario::kCurrent ? "example.test" : "";
    update.hosts = {kHost};
    update.addresses.wan = "192.0.2.7";
    update.addresses.wan6 = "2001:db8::7";
    update.timeoutSeconds = 1;
    const NativeSender send = FindNativeSender(provider.name);
    ASSERT_NE(send, nullptr);
    const auto start = std::chrono::steady_clock::now();
    const UpdateAttempt attempt = send(update);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string context = attempt.why + "\n" + emulator.Log();

    const bool succeeds = c.scenario == Scenario::kUpdate || c.scenario == Scenario::kCurrent ||
                          c.scenario == Scenario::kMissing;
    EXPECT_EQ(attempt.ok, succeeds) << context;
    EXPECT_EQ(attempt.stop, c.scenario == Scenario::kAuth) << context;
    EXPECT_EQ(attempt.current, c.scenario == Scenario::kCurrent) << context;
    EXPECT_EQ(attempt.created, c.scenario == Scenario::kMissing) << context;
    EXPECT_EQ(attempt.retryAfterSeconds, c.scenario == Scenario::kThrottle ? 7 : 0) << context;
    EXPECT_EQ(emulator.Writes(), succeeds && c.scenario != Scenario::kCurrent ? 2u : 0u) << context;
    EXPECT_LT(seconds, 3.5) << context;  // the slow answer ends with the time-out

    // The neighbour is never touched.
    ASSERT_EQ(emulator.Records("www.example.test", "A").size(), 1u);
    EXPECT_EQ(emulator.Records("www.example.test", "A")[0].content, "192.0.2.99");
    const auto a = emulator.Records(kHost, "A");
    const auto aaaa = emulator.Records(kHost, "AAAA");
    switch (c.scenario) {
        case Scenario::kUpdate:
        case Scenario::kCurrent:
            for (const auto& records : {a, aaaa}) {
                ASSERT_EQ(records.size(), 1u) << context;
                EXPECT_EQ(records[0].ttl, 3600);  // what the user set stays
                EXPECT_EQ(records[0].note, "set by hand");
                EXPECT_TRUE(records[0].proxied);
            }
            EXPECT_EQ(a[0].content, "192.0.2.7");
            EXPECT_EQ(aaaa[0].content, "2001:db8::7");
            break;
        case Scenario::kMissing:
            ASSERT_EQ(a.size(), 1u) << context;
            ASSERT_EQ(aaaa.size(), 1u) << context;
            EXPECT_EQ(a[0].content, "192.0.2.7");
            EXPECT_EQ(a[0].ttl, provider.createdTtl);
            EXPECT_EQ(aaaa[0].content, "2001:db8::7");
            break;
        case Scenario::kTwo:
            ASSERT_EQ(a.size(), 2u) << context;
            EXPECT_EQ(a[0].content, "192.0.2.1");
            EXPECT_EQ(a[1].content, "192.0.2.2");
            EXPECT_NE(attempt.why.find("home.example.test has 2 A records"), std::string::npos)
                << context;
            break;
        case Scenario::kAuth:
            EXPECT_NE(attempt.why.find("Invalid authentication credentials"), std::string::npos)
                << context;
            break;
        case Scenario::kThrottle:
            EXPECT_NE(attempt.why.find("Too many requests"), std::string::npos) << context;
            break;
        case Scenario::kMalformed:
            EXPECT_NE(attempt.why.find("is not valid"), std::string::npos) << context;
            break;
        case Scenario::kSlow:
            EXPECT_NE(attempt.why.find("within 1 s"), std::string::npos) << context;
            break;
    }
}

std::string CaseName(const ::testing::TestParamInfo<NativeProviderTest::ParamType>& info) {
    static const char* const kNames[] = {"Update", "Current",   "Missing",   "Two",
                                         "Auth",   "Throttled", "Malformed", "Slow"};
    return std::string(std::get<0>(info.param).name) + "_" +
           kNames[static_cast<int>(std::get<1>(info.param).scenario)];
}

INSTANTIATE_TEST_SUITE_P(Providers, NativeProviderTest,
                         ::testing::Combine(::testing::ValuesIn(kProviders),
                                            ::testing::ValuesIn(kCases)),
                         CaseName);

TEST(NativeProviderTest, OnlyProvidersWithTheirOwnInterfaceHaveASender) {
    EXPECT_EQ(FindNativeSender("duckdns"), nullptr);
    EXPECT_EQ(FindNativeSender("dyndns2"), nullptr);
    EXPECT_EQ(FindNativeSender("Cloudflare"), nullptr);  // stored names are lower case
}

// The example of AWS's Signature Version 4 documentation: IAM's ListUsers as of
// 2015-08-30T12:36:00Z, and the key derivation example of 2012-02-15.
TEST(AwsSignatureTest, MatchesThePublishedExample) {
    AwsRequestToSign request;
    request.method = "GET";
    request.host = "iam.amazonaws.com";
    request.path = "/";
    request.query = "Version=2010-05-08&Action=ListUsers";  // signed in sorted order
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded; charset=utf-8"}};
    request.amzDate = "20150830T123600Z";
    request.region = "us-east-1";
    request.service = "iam";
    const AwsSignature signature =
        SignAwsRequest(request, "AKIDEXAMPLE", "wJalrXUtnFEMI/K7MDENG+bPxRfiCYEXAMPLEKEY");
    EXPECT_EQ(signature.signature,
              "5d672d79c15b13162d9279b0855cfba6789a8edb4c82c400e06b5924a6f2b5d7");
    EXPECT_EQ(signature.authorization,
              "AWS4-HMAC-SHA256 Credential=AKIDEXAMPLE/20150830/us-east-1/iam/aws4_request, "
              "SignedHeaders=content-type;host;x-amz-date, "
              "Signature=5d672d79c15b13162d9279b0855cfba6789a8edb4c82c400e06b5924a6f2b5d7");
    EXPECT_EQ(AwsSigningKeyHex("wJalrXUtnFEMI/K7MDENG+bPxRfiCYEXAMPLEKEY", "20120215", "us-east-1",
                               "iam"),
              "f4780e2d9f65fa895f9c67b32ce1baf0b0d8a43505a000a1a9e090d414db404d");
}

}  // namespace
}  // namespace orvex::ddns
