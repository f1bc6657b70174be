#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvex {

// The kinds of channel, as stored in "Kind<n>".
inline constexpr const char* kNotifyNtfy = "ntfy";
inline constexpr const char* kNotifyGotify = "gotify";
inline constexpr const char* kNotifyTelegram = "telegram";
inline constexpr const char* kNotifyDiscord = "discord";
inline constexpr const char* kNotifySlack = "slack";
inline constexpr const char* kNotifyMatrix = "matrix";
inline constexpr const char* kNotifyPushover = "pushover";
inline constexpr const char* kNotifyWebhook = "webhook";
inline constexpr const char* kNotifyPing = "ping";

// The events a channel can be told of, as listed in "Events<n>".
inline constexpr const char* kEventChange = "change";    // an address differs from the last sent
inline constexpr const char* kEventCycle = "cycle";      // every online cycle
inline constexpr const char* kEventFailure = "failure";  // a step of a cycle failed
inline constexpr const char* kEventOffline = "offline";  // the offline cycle at exit
inline constexpr const char* kDefaultNotifyEvents = "change,offline";

// Longest token or secret kept (a Matrix access token, a Telegram bot token, ...).
inline constexpr size_t kMaxNotifySecretLength = 256;

// One place people are told where this machine can be reached. The secret is held in plain
// text here; only the file holds it scrambled.
struct NotifyChannel {
    std::string Kind = kNotifyNtfy;
    std::string Server;    // the service's base address; empty: its public one, if it has one
    std::string Target;    // ntfy topic, Telegram chat id, Matrix room id, Pushover user key
    std::string User;      // ntfy and webhook: a user name for basic authentication
    std::string Password;  // the token or secret, at most kMaxNotifySecretLength characters
    std::string URL;       // discord, slack, webhook, ping: the address to call
    std::string Title;
    std::string Template;  // a template file with the page's tokens; empty: a built-in text
    std::string Events = kDefaultNotifyEvents;
    // The last message that announced the addresses: "<UTC stamp> <addresses...>", or
    // "<UTC stamp> offline" after the offline message. Empty: nothing sent yet.
    std::string LastSent;
};

// What a kind needs and offers: which fields it uses and which of them must be filled.
enum NotifyField : unsigned {
    kFieldServer = 1u << 0,
    kFieldTarget = 1u << 1,
    kFieldUser = 1u << 2,
    kFieldPassword = 1u << 3,
    kFieldURL = 1u << 4,
    kFieldTitle = 1u << 5,
    kFieldTemplate = 1u << 6,
    kFieldEvents = 1u << 7,
};

struct NotifyKindInfo {
    const char* kind;           // as stored in Kind<n>
    const char* label;          // as the dialog lists it
    unsigned fields;            // the NotifyField bits it uses
    unsigned required;          // the ones that must not be empty
    const char* defaultServer;  // used when Server<n> is empty; "" when there is none
    const char* targetLabel;    // what Target<n> means for it ("Topic", "Chat id", ...)
    const char* passwordLabel;  // what Password<n> holds for it
};

// Every kind, in the order the dialog lists them.
const std::vector<NotifyKindInfo>& NotifyKinds();
// The row of `kind`, or nullptr for a kind the program does not know.
const NotifyKindInfo* FindNotifyKind(const std::string& kind);

}  // namespace orvex
