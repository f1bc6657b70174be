// The provider catalog: rows that cannot be taken are named and left out, the others become
// rows of the rule table; the repository's own catalog is whole, and the README and the help
// page list every provider in it.

#include <set>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "settings/DynamicDnsKinds.h"
#include "settings/ProviderCatalog.h"

#ifndef ORVEX_SOURCE_DIR
#error "the tests read the repository's catalog, README and help page"
#endif

namespace orvex {
namespace {

TEST(ProviderCatalogTest, RowsThatCannotBeTakenAreNamedAndTheOthersKept) {
    const ProviderCatalog catalog = ParseProviderCatalog(R"({"providers": [
        {"name": "Zeta DNS", "id": "zeta", "kind": "url", "auth": "basic",
         "address": "https://zeta.example/u?h=%H&ip=%WI", "expect": "OK",
         "fields": [{"key": "Hosts", "label": "Host names"},
                    {"key": "Password", "label": "Token", "hint": "From your page"},
                    {"key": "Zone", "label": "Zone", "optional": true}]},
        {"name": "alpha", "id": "alpha", "kind": "native", "address": "https://api.alpha.example",
         "fields": [{"key": "TTL", "label": "TTL"}]},
        {"name": "No kind", "id": "nokind", "kind": "smoke", "address": "https://x.example",
         "fields": []},
        {"name": "Plain", "id": "plain", "kind": "url", "address": "ftp://x.example", "fields": []},
        {"name": "Odd field", "id": "odd", "kind": "url", "address": "https://x.example",
         "fields": [{"key": "Command", "label": "Command"}]},
        {"name": "Twice", "id": "zeta", "kind": "url", "address": "https://x.example", "fields": []},
        {"name": "Generic", "id": "dyndns2", "kind": "dyndns2", "address": "https://x.example",
         "fields": []},
        {"id": "nameless", "kind": "url", "address": "https://x.example", "fields": []},
        "not a row"
    ]})");
    ASSERT_EQ(catalog.providers.size(), 2u) << catalog.problem;
    EXPECT_EQ(catalog.providers[0].stored, "alpha") << "sorted by the name shown, any case";
    const DdnsKind& zeta = catalog.providers[1];
    EXPECT_EQ(zeta.sender, DdnsSender::kUrl);
    EXPECT_TRUE(zeta.basicAuth);
    EXPECT_EQ(zeta.expect, "OK");
    EXPECT_EQ(zeta.help, "DynamicDns.htm#zeta");
    ASSERT_NE(zeta.Field("Password"), nullptr);
    EXPECT_TRUE(zeta.Field("Password")->required);
    EXPECT_EQ(zeta.Field("Password")->maxLength, kMaxDdnsPasswordLength);
    EXPECT_EQ(zeta.Field("Password")->label, "Token:");
    EXPECT_FALSE(zeta.Field("Zone")->required);
    EXPECT_FALSE(catalog.providers[0].Field("TTL")->required) << "a TTL always has a default";
    for (const char* named :
         {"nokind: unknown kind \"smoke\"",
          "plain: the address does not begin with https:// or http://",
          "odd: unknown field \"Command\"", "zeta: named twice", "dyndns2: named twice",
          "a row lacks its name, id or address", "a row is not an object"}) {
        EXPECT_NE(catalog.problem.find(named), std::string::npos) << named << "\n"
                                                                  << catalog.problem;
    }
    EXPECT_EQ(ParseProviderCatalog("{\"providers\": ").problem,
              "not a catalog of providers (JSON with a \"providers\" list)");
}

TEST(ProviderCatalogTest, TheRepositoryCatalogIsWholeAndListedInTheReadmeAndHelp) {
    const std::string text =
        test::ReadFile(std::string(ORVEX_SOURCE_DIR) + "/resources/providers.json");
    const ProviderCatalog catalog = ParseProviderCatalog(text);
    EXPECT_EQ(catalog.problem, "");
    const std::string readme = test::ReadFile(std::string(ORVEX_SOURCE_DIR) + "/README.md");
    const std::string help =
        test::ReadFile(std::string(ORVEX_SOURCE_DIR) + "/resources/help/DynamicDns.htm");
    size_t presets = 0;
    std::set<std::string> natives;
    for (const DdnsKind& provider : catalog.providers) {
        presets += provider.sender != DdnsSender::kNative ? 1 : 0;
        if (provider.sender == DdnsSender::kNative) {
            natives.insert(provider.stored);
        }
        EXPECT_EQ(provider.docs.rfind("https://", 0), 0u) << provider.stored;
        EXPECT_FALSE(provider.about.empty()) << provider.stored << ": where the credentials are";
        EXPECT_NE(provider.Field("Password"), nullptr) << provider.stored;
        EXPECT_NE(readme.find("`" + provider.stored + "`"), std::string::npos) << provider.stored;
        EXPECT_NE(help.find("<tr id=\"" + provider.stored + "\">"), std::string::npos)
            << provider.stored;
    }
    EXPECT_GE(presets, 28u);
    EXPECT_EQ(natives,
              (std::set<std::string>{"cloudflare", "desec", "digitalocean", "gandi", "godaddy",
                                     "hetzner", "linode", "porkbun", "route53", "vultr"}));
    // The program finds the same file from its build folder.
    EXPECT_EQ(LoadedProviderCatalog().providers.size(), catalog.providers.size())
        << LoadedProviderCatalog().path;
}

}  // namespace
}  // namespace orvex
