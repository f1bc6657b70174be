#pragma once

#include <string>
#include <vector>

#include "settings/DynamicDnsKinds.h"

namespace orvex {

// The file of dynamic DNS providers, installed beside the help pages.
inline constexpr const char* kProviderCatalogFile = "providers.json";

// The providers a catalog names, each a row of the rule table, by their shown name.
struct ProviderCatalog {
    std::vector<DdnsKind> providers;
    std::string path;  // the file read; empty when none was found
    // Why the file, or a row of it, could not be taken; empty when all was well.
    std::string problem;
};

// Reads a catalog's JSON text: {"providers": [{"name", "id", "kind" (dyndns2, url or native),
// "address", "expect", "auth" ("basic": a url row's User and Password go by basic
// authentication), "docs", "credentials", "fields": [{"key", "label", "hint",
// "optional"}]}]}. A row that lacks something, names an unknown kind or field, or repeats a
// stored name (or a generic kind's) is left out and named in `problem`; the others stay.
ProviderCatalog ParseProviderCatalog(const std::string& json);

// Folders searched for the catalog, in order: beside the program file, the installed
// "../share/orvex", and the source tree's resources (a program run from its build folder).
std::vector<std::string> ProviderCatalogDirs();

// The catalog of the first of ProviderCatalogDirs() that holds one (ORVEX_PROVIDERS, when
// set, names the file instead).
ProviderCatalog LoadProviderCatalog();

// The catalog the rule table was built from (read once).
const ProviderCatalog& LoadedProviderCatalog();

}  // namespace orvex
