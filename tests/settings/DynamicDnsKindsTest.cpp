// The rule table's one check of a dynamic DNS entry, which the entry dialog, orvexd --check and
// the updater all apply: what each finds wrong, in the dialog's words and in --check's, and
// which faults keep the updater from sending.

#include <functional>

#include <gtest/gtest.h>

#include "settings/DynamicDnsKinds.h"
#include "settings/DynamicDnsSettings.h"

namespace orvex {
namespace {

DynamicDnsEntry Rfc2136Entry() {
    DynamicDnsEntry e;
    e.Protocol = kDdnsRfc2136;
    e.Server = "ns1.example.net:5353";
    e.Zone = "example.net";
    e.Hosts = "home.example.net";
    e.TSIGName = "orvex-home";
    e.TSIGSecret = "c2VjcmV0IGtleSBmb3IgdGhlIHRlc3RzIG9mIHRoZSBwYWdl";
    e.TTL = 600;
    e.Family = kDdnsFamilyBoth;
    return e;
}

// A provider row as the catalog would give it: a token and host names, a zone if you like.
DdnsKind TokenProvider() {
    DdnsKind kind;
    kind.stored = "tokendns";
    kind.label = "Token DNS";
    kind.sender = DdnsSender::kNative;
    kind.address = "https://api.tokendns.example/v1";
    DdnsField hosts{"Hosts", "Host names:", "host names", "", true};
    DdnsField token{"Password", "API token:", "api token", "", true};
    DdnsField zone{"Zone", "Zone:", "zone", "", false};
    kind.fields = {hosts, token, zone};
    return kind;
}

TEST(DynamicDnsKindsTest, OneCheckTellsTheDialogCheckAndUpdaterWhatIsWrong) {
    DynamicDnsEntry dyndns2;
    dyndns2.Server = "members.example.net";
    dyndns2.Hosts = "home.example.net";
    dyndns2.User = "jane";
    dyndns2.Password = "secret";
    DynamicDnsEntry url;
    url.Protocol = kDdnsUrl;
    url.URL = "update.example.net/?ip=%WI";  // https
    DynamicDnsEntry command;
    command.Protocol = kDdnsCommand;
    command.Command = "hook.sh";
    DynamicDnsEntry unsigned2136 = Rfc2136Entry();
    unsigned2136.TSIGName.clear();
    unsigned2136.TSIGSecret.clear();
    DynamicDnsEntry provider;
    provider.Protocol = "tokendns";
    provider.Hosts = "home.example.net";
    provider.Password = std::string(kMaxDdnsPasswordLength, 't');
    std::vector<DdnsKind> kinds = GenericDynamicDnsKinds();
    kinds.push_back(TokenProvider());
    for (const DynamicDnsEntry& good :
         {dyndns2, url, command, Rfc2136Entry(), unsigned2136, provider}) {
        EXPECT_TRUE(CheckDynamicDnsEntry(good, kinds).empty()) << good.Protocol;
    }

    struct Case {
        DynamicDnsEntry entry;
        std::function<void(DynamicDnsEntry&)> spoil;
        std::string prompt;
        std::string field;
        bool blocks;
    };
    const std::vector<Case> cases = {
        {dyndns2, [](auto& e) { e.Password.clear(); }, "Please enter the password.", "Password",
         false},
        {dyndns2, [](auto& e) { e.Server = " "; }, "Please enter the update server.", "Server",
         true},
        {dyndns2, [](auto& e) { e.Hosts = "home.example.net,my host"; },
         "\"my host\" is not a host name. Host names are made of letters, digits, hyphens and "
         "dots, and several are separated by commas.",
         "Hosts", false},
        {url, [](auto& e) { e.URL = "ftp://update.example.net/?ip=%WI"; },
         "The URL must begin with https:// or http://.", "URL", false},
        {url, [](auto& e) { e.URL += "&host=%H"; },
         "Please enter the host names the URL's %H stands for.", "Hosts", false},
        {url, [](auto& e) { e.URL += "&key=%P"; },
         "Please enter the password the URL's %P stands for.", "Password", false},
        {command, [](auto& e) { e.Command.clear(); }, "Please enter the command.", "Command", true},
        {Rfc2136Entry(), [](auto& e) { e.TSIGName.clear(); }, "Please enter the TSIG key name.",
         "TSIGName", true},
        {Rfc2136Entry(), [](auto& e) { e.TSIGSecret = " "; }, "Please enter the TSIG secret.",
         "TSIGSecret", true},
        {Rfc2136Entry(), [](auto& e) { e.Hosts = "home.example.org"; },
         "The host name home.example.org does not lie inside the zone example.net.", "Hosts",
         false},
        {Rfc2136Entry(), [](auto& e) { e.Hosts = "badexample.net"; },
         "The host name badexample.net does not lie inside the zone example.net.", "Hosts", false},
        {Rfc2136Entry(), [](auto& e) { e.TSIGSecret = "not base64!"; },
         "The TSIG secret must be written in base64, as the name server's key file gives it.",
         "TSIGSecret", false},
        {Rfc2136Entry(), [](auto& e) { e.TTL = 0; },
         "Please enter a TTL from 1 to 2147483647 seconds.", "TTL", false},
        {dyndns2, [](auto& e) { e.Family = "5"; },
         "Please choose the addresses to publish: IPv4, IPv6 or both.", "Family", true},
        {dyndns2, [](auto& e) { e.Suffix = "nas"; },
         "The IPv6 suffix \"nas\" is neither an interface identifier (\"::1234\") nor a MAC "
         "address (\"00:11:22:aa:bb:cc\").",
         "Suffix", true},
        {dyndns2, [](auto& e) { e.Suffix = "2001:db8::1234"; },
         "The IPv6 suffix \"2001:db8::1234\" sets more than the last 64 bits of an address.",
         "Suffix", true},
        {dyndns2, [](auto& e) { e.Protocol = "carrier-pigeon"; },
         "Please choose the provider of this entry.", "Protocol", true},
        {provider, [](auto& e) { e.Password.clear(); }, "Please enter the api token.", "Password",
         true},
    };
    for (const Case& c : cases) {
        DynamicDnsEntry entry = c.entry;
        c.spoil(entry);
        const std::vector<DynamicDnsProblem> problems = CheckDynamicDnsEntry(entry, kinds);
        ASSERT_EQ(problems.size(), 1u) << c.prompt;
        EXPECT_EQ(problems[0].prompt, c.prompt);
        EXPECT_EQ(problems[0].field, c.field) << c.prompt;
        EXPECT_EQ(problems[0].blocks, c.blocks) << c.prompt;
    }
    // A name written with the root's dot, in other letters, and the zone itself are inside.
    DynamicDnsEntry apex = Rfc2136Entry();
    apex.Hosts = "HOME.Example.NET.,example.net";
    EXPECT_TRUE(CheckDynamicDnsEntry(apex, kinds).empty());
}

TEST(DynamicDnsKindsTest, CheckNamesEveryProblemByNumberedKeyTheUpdaterOnlyBlockingOnes) {
    DynamicDnsEntry e = Rfc2136Entry();
    e.TSIGSecret.clear();
    e.Hosts = "elsewhere.example.org";
    e.Family = "ipv4";
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(DynamicDnsEntryProblems(e, 2),
              (Pairs{{"TSIGSecret3",
                      "empty while TSIGName is set; a signed update needs both (neither: "
                      "unsigned)"},
                     {"Hosts3",
                      "the host name elsewhere.example.org is not inside zone "
                      "example.net"},
                     {"Family3", "\"ipv4\" is not 4, 6 or both"}}));
    EXPECT_EQ(DynamicDnsEntryProblems(e, 2, true).size(), 2u);
}

}  // namespace
}  // namespace orvex
