#pragma once

#include <string>

#include "platform/HttpClient.h"
#include "settings/NotifyChannel.h"

namespace orvex::notify {

// Why a message is sent.
enum class Event { kChange, kCycle, kFailure, kOffline, kTest };

// "change", "cycle", "failure", "offline" or "test", as the webhook's "event" says it.
const char* EventName(Event event);

struct Addresses {
    std::string wan;
    std::string lan;
    std::string wan6;  // empty unless IPv6 is enabled
    std::string lan6;
};

// One message, ready for any channel.
struct Message {
    Event event = Event::kChange;
    std::string text;
    std::string title;
    std::string host;  // the site name
    Addresses addresses;
    std::string time;     // when, as UTC "YYYY-MM-DDTHH:MM:SSZ"
    bool failed = false;  // a ping reports a failed cycle
};

// The base address a channel calls: Server<n>, or its kind's public one when that is empty;
// without a trailing "/".
std::string ServerOf(const NotifyChannel& channel);

// What host messages call a channel: "ntfy topic orvex-home", "Telegram chat 1234", "Discord
// webhook on discord.com". Never a secret: the address of a webhook shows its server only.
std::string ChannelName(const NotifyChannel& channel);

// The request that delivers `message` on `channel`, as its service documents it. `txnId` makes
// a Matrix event unique. The time bound and TLS options are left to the caller.
HttpRequest BuildRequest(const NotifyChannel& channel, const Message& message,
                         const std::string& txnId);

// What became of a request.
struct Delivery {
    bool ok = false;
    // The service's own words about a refusal ("Unauthorized", "invalid_token"), one line.
    std::string serviceText;
    // The wait the service asked for (Retry-After, or its own field in the answer); -1: none.
    int retryAfterSeconds = -1;
    // Why it failed, in the shared plain words; empty after success.
    std::string failure;
};
Delivery ReadDelivery(const HttpResponse& response);

// `text` cut to at most `maxCharacters` UTF-8 characters, never inside one.
std::string CutCharacters(const std::string& text, size_t maxCharacters);

}  // namespace orvex::notify
