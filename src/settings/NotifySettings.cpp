#include "settings/NotifySettings.h"

#include <tuple>

#include "platform/TextUtil.h"
#include "settings/SettingsFile.h"

namespace orvex {

namespace {

constexpr const char* kCountKey = "Count";
constexpr size_t kValueBuffer = kMaxValueLength + 1;
// A scrambled secret is as long as the secret.
constexpr size_t kSecretBuffer = kMaxNotifySecretLength + 1;

std::string NumberedKey(const char* name, size_t index) {
    return name + std::to_string(index + 1);
}

auto Target(const NotifyChannel& c) {
    return std::tie(c.Kind, c.Server, c.Target, c.User, c.Password, c.URL, c.Title, c.Template,
                    c.Events);
}

NotifyChannel ReadChannel(const Profile& file, const std::string& key, size_t i) {
    auto text = [&](const char* name, const std::string& fallback = {}) {
        return file.GetString(kSectionNotify, NumberedKey(name, i), fallback, kValueBuffer);
    };
    NotifyChannel c;
    c.Kind = text("Kind", kNotifyNtfy);
    c.Server = text("Server");
    c.Target = text("Target");
    c.User = text("User");
    c.Password = file.GetString(kSectionNotify, NumberedKey("Password", i), "", kSecretBuffer);
    DecodeSecret(c.Password, key, kMaxNotifySecretLength);
    c.URL = text("URL");
    c.Title = text("Title");
    c.Template = text("Template");
    c.Events = text("Events", kDefaultNotifyEvents);
    c.LastSent = text("LastSent");
    return c;
}

// The stored keys of a channel without their number, in the file's order, values in plain text.
std::vector<std::pair<const char*, std::string>> ChannelValues(const NotifyChannel& c) {
    return {{"Kind", c.Kind},        {"Server", c.Server},     {"Target", c.Target},
            {"User", c.User},        {"Password", c.Password}, {"URL", c.URL},
            {"Title", c.Title},      {"Template", c.Template}, {"Events", c.Events},
            {"LastSent", c.LastSent}};
}

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool IsWebAddress(const std::string& text) {
    const std::string lower = LowerAscii(TrimBlanks(text));
    return (lower.rfind("http://", 0) == 0 && lower.size() > 7) ||
           (lower.rfind("https://", 0) == 0 && lower.size() > 8);
}

const std::vector<NotifyKindInfo> kKinds = {
    {kNotifyNtfy, "ntfy",
     kFieldServer | kFieldTarget | kFieldUser | kFieldPassword | kFieldTitle | kFieldTemplate |
         kFieldEvents,
     kFieldTarget, "https://ntfy.sh", "Topic", "Access token"},
    {kNotifyGotify, "Gotify",
     kFieldServer | kFieldPassword | kFieldTitle | kFieldTemplate | kFieldEvents,
     kFieldServer | kFieldPassword, "", "", "Application token"},
    {kNotifyTelegram, "Telegram",
     kFieldServer | kFieldTarget | kFieldPassword | kFieldTitle | kFieldTemplate | kFieldEvents,
     kFieldTarget | kFieldPassword, "https://api.telegram.org", "Chat id", "Bot token"},
    {kNotifyDiscord, "Discord", kFieldURL | kFieldTitle | kFieldTemplate | kFieldEvents, kFieldURL,
     "", "", ""},
    {kNotifySlack, "Slack", kFieldURL | kFieldTitle | kFieldTemplate | kFieldEvents, kFieldURL, "",
     "", ""},
    {kNotifyMatrix, "Matrix",
     kFieldServer | kFieldTarget | kFieldPassword | kFieldTitle | kFieldTemplate | kFieldEvents,
     kFieldServer | kFieldTarget | kFieldPassword, "", "Room id", "Access token"},
    {kNotifyPushover, "Pushover",
     kFieldServer | kFieldTarget | kFieldPassword | kFieldTitle | kFieldTemplate | kFieldEvents,
     kFieldTarget | kFieldPassword, "https://api.pushover.net", "User key", "Application token"},
    {kNotifyWebhook, "Webhook (JSON)",
     kFieldURL | kFieldUser | kFieldPassword | kFieldTitle | kFieldTemplate | kFieldEvents,
     kFieldURL, "", "", "Password or bearer token"},
    {kNotifyPing, "Ping (cron monitor)", kFieldURL, kFieldURL, "", "", ""},
};

}  // namespace

const std::vector<NotifyKindInfo>& NotifyKinds() {
    return kKinds;
}

const NotifyKindInfo* FindNotifyKind(const std::string& kind) {
    for (const NotifyKindInfo& info : kKinds) {
        if (kind == info.kind) {
            return &info;
        }
    }
    return nullptr;
}

bool SameNotifyTarget(const NotifyChannel& a, const NotifyChannel& b) {
    return Target(a) == Target(b);
}

std::vector<NotifyChannel> ReadNotifyChannels(const Profile& file, const std::string& key) {
    int count = file.GetInt(kSectionNotify, kCountKey, 0);
    count = count < 0 ? 0 : (count > kNotifyChannelLimit ? kNotifyChannelLimit : count);
    std::vector<NotifyChannel> channels;
    for (int i = 0; i < count; ++i) {
        channels.push_back(ReadChannel(file, key, static_cast<size_t>(i)));
    }
    return channels;
}

bool WriteNotifyChannels(Profile& file, const std::string& key,
                         const std::vector<NotifyChannel>& channels) {
    const std::vector<NotifyChannel> stored = ReadNotifyChannels(file, key);
    if (channels.empty()) {
        return stored.empty() && file.GetSection(kSectionNotify, 2).empty()
                   ? true
                   : file.EraseSection(kSectionNotify);
    }
    std::vector<std::string> lines{std::string(kCountKey) + "=" + std::to_string(channels.size())};
    for (size_t i = 0; i < channels.size(); ++i) {
        NotifyChannel channel = channels[i];
        channel.LastSent.clear();
        for (const NotifyChannel& old : stored) {
            if (SameNotifyTarget(old, channel)) {
                channel.LastSent = old.LastSent;
                break;
            }
        }
        for (auto& [name, value] : ChannelValues(channel)) {
            if (std::string(name) == "Password") {
                EncodeSecret(value, key, kMaxNotifySecretLength);
            }
            lines.push_back(NumberedKey(name, i) + "=" + value);
        }
    }
    return file.WriteSection(kSectionNotify, lines);
}

bool WriteNotifyLastSent(Profile& file, const std::string& key, size_t index,
                         const NotifyChannel& channel, const std::string& lastSent) {
    const std::vector<NotifyChannel> stored = ReadNotifyChannels(file, key);
    if (index >= stored.size() || !SameNotifyTarget(stored[index], channel)) {
        return false;
    }
    return file.WriteString(kSectionNotify, NumberedKey("LastSent", index), lastSent);
}

std::vector<std::string> SplitNotifyEvents(const std::string& events) {
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos <= events.size()) {
        size_t end = events.find(',', pos);
        if (end == std::string::npos) {
            end = events.size();
        }
        const std::string name = LowerAscii(TrimBlanks(events.substr(pos, end - pos)));
        if (!name.empty()) {
            names.push_back(name);
        }
        pos = end + 1;
    }
    return names;
}

bool NotifiesOf(const NotifyChannel& channel, const char* event) {
    for (const std::string& name : SplitNotifyEvents(channel.Events)) {
        if (name == event) {
            return true;
        }
    }
    return false;
}

std::vector<std::pair<std::string, std::string>> NotifyChannelProblems(const NotifyChannel& c,
                                                                       size_t index) {
    std::vector<std::pair<std::string, std::string>> problems;
    const NotifyKindInfo* info = FindNotifyKind(c.Kind);
    if (info == nullptr) {
        problems.emplace_back(NumberedKey("Kind", index),
                              "\"" + c.Kind +
                                  "\" is not ntfy, gotify, telegram, discord, slack, matrix, "
                                  "pushover, webhook or ping");
        return problems;
    }
    const struct {
        NotifyField field;
        const char* name;
        const std::string& value;
    } fields[] = {{kFieldServer, "Server", c.Server},
                  {kFieldTarget, "Target", c.Target},
                  {kFieldPassword, "Password", c.Password},
                  {kFieldURL, "URL", c.URL}};
    for (const auto& f : fields) {
        const bool empty = TrimBlanks(f.value).empty();
        if ((info->required & f.field) != 0 && empty) {
            problems.emplace_back(NumberedKey(f.name, index),
                                  std::string("empty; a ") + c.Kind + " channel needs it");
        } else if ((f.field == kFieldServer || f.field == kFieldURL) &&
                   (info->fields & f.field) != 0 && !empty && !IsWebAddress(f.value)) {
            problems.emplace_back(NumberedKey(f.name, index),
                                  "\"" + f.value + "\" is not an http:// or https:// address");
        }
    }
    if ((info->fields & kFieldEvents) != 0) {
        for (const std::string& event : SplitNotifyEvents(c.Events)) {
            if (event != kEventChange && event != kEventCycle && event != kEventFailure &&
                event != kEventOffline) {
                problems.emplace_back(NumberedKey("Events", index),
                                      "\"" + event + "\" is not change, cycle, failure or offline");
            }
        }
    }
    return problems;
}

std::string MaskedAddress(const std::string& url, bool hidePath) {
    const size_t scheme = url.find("://");
    const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    size_t end = url.find_first_of("/?#", start);
    if (end == std::string::npos) {
        end = url.size();
    }
    std::string server = url.substr(start, end - start);
    const size_t at = server.rfind('@');
    if (at != std::string::npos) {
        server = "***@" + server.substr(at + 1);
    }
    std::string rest = url.substr(end);
    if (hidePath && !rest.empty()) {
        rest = "/***";
    }
    return url.substr(0, start) + server + rest;
}

std::vector<std::string> NotifyListing(const std::vector<NotifyChannel>& channels) {
    std::vector<std::string> lines{std::string(kCountKey) + "=" + std::to_string(channels.size())};
    for (size_t i = 0; i < channels.size(); ++i) {
        const NotifyChannel& c = channels[i];
        // The token of a chat webhook is part of its address.
        const bool secretPath = c.Kind == kNotifyDiscord || c.Kind == kNotifySlack;
        for (const auto& [name, value] : ChannelValues(c)) {
            std::string shown = value;
            if (std::string(name) == "Password" && !value.empty()) {
                shown = "***";
            } else if (std::string(name) == "URL" || std::string(name) == "Server") {
                shown = MaskedAddress(value, secretPath && std::string(name) == "URL");
            }
            lines.push_back(NumberedKey(name, i) + "=" + shown);
        }
    }
    return lines;
}

}  // namespace orvex
