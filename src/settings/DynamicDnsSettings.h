#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/Profile.h"
#include "settings/DynamicDnsEntry.h"

namespace orvex {

// Section of the dynamic DNS entries: "Count", then for entry n (1-based) "Protocol<n>",
// "Server<n>", ... and the last result "LastAddress<n>", "LastUpdate<n>".
inline constexpr const char* kSectionDynamicDns = "DynamicDNS";

// More entries than anyone keeps; a larger Count in the file is read as this many.
inline constexpr int kDynamicDnsEntryLimit = 64;

// Whether two entries configure the same update (everything but the last result is equal).
bool SameDynamicDnsTarget(const DynamicDnsEntry& a, const DynamicDnsEntry& b);

// The entries as the file holds them now ("Count" of them; a missing section gives none).
// `key` unscrambles the passwords and secrets.
std::vector<DynamicDnsEntry> ReadDynamicDnsEntries(const Profile& file, const std::string& key);

// Replaces the section by `entries` (or removes it when there are none and it exists). The
// last result is not taken from `entries`: an entry that configures the same update as one the
// file holds keeps that one's last result (which a cycle may have written since the entries
// were read); any other entry starts without one, so it is updated at the next cycle.
bool WriteDynamicDnsEntries(Profile& file, const std::string& key,
                            const std::vector<DynamicDnsEntry>& entries);

// Records a successful update of entry `index` (0-based) — only while the file's entry at that
// place still configures the same update as `entry`; false otherwise or when the file could not
// be written.
bool WriteDynamicDnsResult(Profile& file, const std::string& key, size_t index,
                           const DynamicDnsEntry& entry, const std::string& lastAddress,
                           const std::string& lastUpdate);

// The problems of entry `index` (0-based) as (key with its number, reason) pairs, from the
// rule table's check (settings/DynamicDnsKinds.h): an unknown Protocol, a Family other than 4,
// 6 or both, the keys its kind needs left empty, ... With `blockingOnly`, only those that keep
// the entry from being sent. Empty when there are none.
std::vector<std::pair<std::string, std::string>> DynamicDnsEntryProblems(const DynamicDnsEntry& e,
                                                                         size_t index,
                                                                         bool blockingOnly = false);

// The host names of `hosts`: split at commas, blanks trimmed, empty ones dropped.
std::vector<std::string> SplitDynamicDnsHosts(const std::string& hosts);

// The entries as "Key<n>=value" lines after "Count=<n>", for a listing: a password or TSIG
// secret that is set shows as "***", and so do a command's text, the user:password part of a
// URL or server and every query value of a URL (where tokens are often written).
std::vector<std::string> DynamicDnsListing(const std::vector<DynamicDnsEntry>& entries);

// `text` with the user:password part of every URL in it as "***" ("https://***@host/"), and
// with `queryValues` every query value too ("?token=***&ip=***").
std::string MaskUrlSecrets(const std::string& text, bool queryValues);

// The names of the section's keys without their number, for listings and checks.
std::vector<std::string> DynamicDnsKeyNames();

}  // namespace orvex
