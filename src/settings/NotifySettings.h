#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "platform/Profile.h"
#include "settings/NotifyChannel.h"

namespace orvex {

// Section of the notification channels: "Count", then for channel n (1-based) "Kind<n>",
// "Server<n>", ... and the last message sent "LastSent<n>". No section: no channel.
inline constexpr const char* kSectionNotify = "Notify";

// More channels than anyone keeps; a larger Count in the file is read as this many.
inline constexpr int kNotifyChannelLimit = 32;

// Whether two channels send to the same place in the same way (all but LastSent are equal).
bool SameNotifyTarget(const NotifyChannel& a, const NotifyChannel& b);

// The channels as the file holds them now; `key` unscrambles their secrets.
std::vector<NotifyChannel> ReadNotifyChannels(const Profile& file, const std::string& key);

// Replaces the section by `channels` (or removes it when there are none). A channel that sends
// the same as one the file holds keeps that one's LastSent (a cycle may have written it since
// the channels were read); any other starts without one.
bool WriteNotifyChannels(Profile& file, const std::string& key,
                         const std::vector<NotifyChannel>& channels);

// Records what channel `index` (0-based) last announced, only while the file's channel at that
// place still sends the same as `channel`; false otherwise or when the file could not be
// written.
bool WriteNotifyLastSent(Profile& file, const std::string& key, size_t index,
                         const NotifyChannel& channel, const std::string& lastSent);

// The events of a channel's Events text: split at commas, blanks trimmed, empty ones dropped.
std::vector<std::string> SplitNotifyEvents(const std::string& events);
// Whether `channel` is to be told of `event` (kEventChange, ...).
bool NotifiesOf(const NotifyChannel& channel, const char* event);

// What keeps channel `index` (0-based) from sending, as (key with its number, reason) pairs:
// an unknown Kind, a field its kind needs left empty, an address that is not http:// or
// https://, an unknown event. Empty when the channel can send.
std::vector<std::pair<std::string, std::string>> NotifyChannelProblems(const NotifyChannel& c,
                                                                       size_t index);

// The channels as "Key<n>=value" lines after "Count=<n>", for a listing: a secret that is set
// shows as "***", and so does the secret part of an address (the path of a Discord or Slack
// webhook, whose token is in it; a user and password inside any address).
std::vector<std::string> NotifyListing(const std::vector<NotifyChannel>& channels);

// `url` with what would give it away hidden: "user:password@" becomes "***@", and with
// `hidePath` everything after the server becomes "/***".
std::string MaskedAddress(const std::string& url, bool hidePath);

}  // namespace orvex
