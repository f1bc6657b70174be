#pragma once

// The host messages a publishing cycle sends to the Status page and the log, in one place. Their
// words are the program's own, spelling included: users and log readers match them exactly.

namespace orvex::status {

inline constexpr const char* kLocalSettingsNeeded = "P10001 Local Settings Needed.";
inline constexpr const char* kFolderChanged = "P10002 Successfully changed folder.";
inline constexpr const char* kFileCopied = "P10003 Successfuly copied file.";
inline constexpr const char* kConnectingToFtp = "P10004 Attempting to connect to FTP Server...";
// The Status page tells an online cycle's end by this prefix; the address follows it.
inline constexpr const char* kSystemOnline = "P10005 System Online:   ";
inline constexpr const char* kSystemOffline = "P10006 System Offline.";
// Followed by the text of a file error.
inline constexpr const char* kFileErrorPrefix = "P10007 ";
inline constexpr const char* kSendingEmail = "P10007 Attempting to send email...";
inline constexpr const char* kEmailSent = "P10008 Successfully sent email.";
inline constexpr const char* kRequestingWanAddress = "P10009 Requesting WAN IP address...";
// Followed by the URL of the lookup service that answered, when it was not the first asked.
inline constexpr const char* kWanAddressFromPrefix = "P10010 WAN IP address from ";
inline constexpr const char* kWan6AddressFromPrefix = "P10010 WAN IPv6 address from ";
// Followed by why the mail was not sent.
inline constexpr const char* kEmailNotSentPrefix = "P Email not sent: ";
// A failure told in plain words (HostMessage::Sentence) is written as "P " and the sentence.
inline constexpr const char* kPlainWords = "P ";
// Followed by why the metrics listener (MetricsAddress) could not start.
inline constexpr const char* kMetricsNotServedPrefix = "P Metrics not served: ";
// Followed by the address and port the metrics are served on.
inline constexpr const char* kMetricsServedPrefix = "P Metrics served on ";
// Followed by the key and why its secret, kept outside the settings file, cannot be used.
inline constexpr const char* kSecretRefusedPrefix = "P Secret not used: ";

// Dynamic DNS: "Updating dynamic DNS name home.example.net..." (the names comma-separated; an
// entry without names is called "entry <n>"), then the provider's answer, then one result line:
// "<subject> updated: <addresses>." or "<subject> not updated: <why>" and what happens next.
inline constexpr const char* kDdnsUpdatingName = "Updating dynamic DNS name ";
inline constexpr const char* kDdnsUpdatingNames = "Updating dynamic DNS names ";
inline constexpr const char* kDdnsUpdatingEntry = "Updating dynamic DNS entry ";
inline constexpr const char* kDdnsName = "Dynamic DNS name ";
inline constexpr const char* kDdnsNames = "Dynamic DNS names ";
inline constexpr const char* kDdnsEntry = "Dynamic DNS entry ";
inline constexpr const char* kDdnsUpdated = " updated: ";
// The provider already held the addresses, and nothing was written.
inline constexpr const char* kDdnsAlreadyCurrent = " already current: ";
// After the addresses of "updated: ": a name had no record of the type, and one was made.
inline constexpr const char* kDdnsCreated = " (a missing record was created)";
inline constexpr const char* kDdnsNotUpdated = " not updated: ";
inline constexpr const char* kDdnsRetryLater =
    "; tried again at a cycle 5 minutes from now or later.";
inline constexpr const char* kDdnsStopped = "; no more tries until the entry's settings change.";
// "; the provider asked for <n> s: tried again at a cycle after that."
inline constexpr const char* kDdnsRetryAfterPrefix = "; the provider asked to wait ";
inline constexpr const char* kDdnsRetryAfterSuffix = " s: tried again at a cycle after that.";
// Followed by the time: "the provider asked to wait until 2026-11-29 10:05:00 UTC."
inline constexpr const char* kDdnsHeldByProvider = "the provider asked to wait until ";
inline constexpr const char* kDdnsHeld = "the last try failed less than 5 minutes ago.";
inline constexpr const char* kDdnsNoWanAddress = "no WAN IP address is known.";
inline constexpr const char* kDdnsNoWanAddress6 = "no WAN IPv6 address is known.";
inline constexpr const char* kDdnsIpv6Off =
    "it publishes IPv6 addresses only, and IPv6 is off (EnableIPv6=0).";

// Notifications, one channel at a time: "Notifying <channel>...", then one result line:
// "Notified <channel>." or "Notifying <channel> failed: <why>" and what happens next.
inline constexpr const char* kNotifying = "Notifying ";
inline constexpr const char* kNotified = "Notified ";
inline constexpr const char* kNotifyFailed = " failed";
inline constexpr const char* kNotifyRetryLater = "; tried again at the next cycle.";
inline constexpr const char* kNotifyHeld = " held back: the service asked to wait until ";
inline constexpr const char* kNotifyChannel = "Notification channel ";
inline constexpr const char* kNotifyNotSent = " not sent: ";

}  // namespace orvex::status
