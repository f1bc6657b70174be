#include "notify/ChannelRequest.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/HostMessage.h"
#include "platform/TextUtil.h"

namespace orvex::notify {

namespace {

using Json = nlohmann::json;

// The longest texts the services take (Discord's content, Telegram's text, Pushover's message
// and title); a longer one would be refused whole.
constexpr size_t kDiscordMaxText = 2000;
constexpr size_t kTelegramMaxText = 4096;
constexpr size_t kPushoverMaxText = 1024;
constexpr size_t kPushoverMaxTitle = 250;
// Longest piece of a service's own words shown in a host message.
constexpr size_t kMaxServiceText = 200;

// A text no JSON library will refuse: bytes that are not UTF-8 (a template saved in another
// encoding) become the replacement character instead of ending the message.
std::string Dump(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A header value cannot carry a line break: the text would end the header early and start
// another.
std::string HeaderValue(const std::string& text) {
    return TrimBlanks(WithoutControlCharacters(text));
}

// The title on a line of its own before the text, for the services without a title field.
std::string WithTitle(const Message& m) {
    return m.title.empty() ? m.text : m.title + "\n" + m.text;
}

bool IsAscii(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// The ping address for a failed cycle: "/fail" after the path, before any query.
std::string FailAddress(const std::string& url) {
    const size_t query = url.find_first_of("?#");
    std::string path = url.substr(0, query);
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path + "/fail" + (query == std::string::npos ? "" : url.substr(query));
}

// The server part of an address ("discord.com" of "https://discord.com/api/webhooks/...").
std::string ServerPart(const std::string& url) {
    const size_t scheme = url.find("://");
    const size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    const size_t end = url.find_first_of("/?#", start);
    std::string server = url.substr(start, end == std::string::npos ? end : end - start);
    const size_t at = server.rfind('@');
    return at == std::string::npos ? server : server.substr(at + 1);
}

void Bearer(HttpRequest& request, const std::string& token) {
    if (!token.empty()) {
        request.headers.emplace_back("Authorization", "Bearer " + HeaderValue(token));
    }
}

void JsonBody(HttpRequest& request, const Json& body) {
    request.method = HttpMethod::kPost;
    request.headers.emplace_back("Content-Type", "application/json");
    request.body = Dump(body);
}

std::string FirstLineOf(const std::string& body) {
    const size_t end = body.find_first_of("\r\n");
    return CutCharacters(TrimBlanks(body.substr(0, end)), kMaxServiceText);
}

std::string TextOf(const Json& value) {
    if (value.is_string()) {
        return value.get<std::string>();
    }
    return value.is_null() ? "" : Dump(value);
}

// The service's own words in an error answer: each documents its own field.
std::string ServiceWords(const std::string& body) {
    const Json answer = Json::parse(body, nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) {
        return FirstLineOf(body);
    }
    std::string words;
    if (answer.contains("errors") && answer["errors"].is_array()) {  // Pushover
        for (const Json& e : answer["errors"]) {
            words += (words.empty() ? "" : "; ") + TextOf(e);
        }
    }
    for (const char* field : {"description", "errorDescription", "message", "error"}) {
        if (words.empty() && answer.contains(field)) {
            words = TextOf(answer[field]);
        }
    }
    if (answer.contains("errcode")) {  // Matrix
        words = TextOf(answer["errcode"]) + (words.empty() ? "" : ": " + words);
    }
    return FirstLineOf(words);
}

int RetryAfter(const HttpResponse& response) {
    const std::string header = TrimBlanks(response.Header("retry-after"));
    if (!header.empty() && header.find_first_not_of("0123456789") == std::string::npos &&
        header.size() < 9) {
        return std::stoi(header);
    }
    const Json answer = Json::parse(response.body, nullptr, false);
    if (answer.is_discarded() || !answer.is_object()) {
        return -1;
    }
    auto seconds = [](const Json& v, double scale) {
        return v.is_number() && v.get<double>() >= 0
                   ? static_cast<int>(std::ceil(std::min(v.get<double>() * scale, 1e6)))
                   : -1;
    };
    if (answer.contains("parameters") && answer["parameters"].is_object() &&
        answer["parameters"].contains("retry_after")) {  // Telegram
        return seconds(answer["parameters"]["retry_after"], 1);
    }
    if (answer.contains("retry_after_ms")) {  // Matrix
        return seconds(answer["retry_after_ms"], 0.001);
    }
    if (answer.contains("retry_after")) {  // Discord
        return seconds(answer["retry_after"], 1);
    }
    return -1;
}

}  // namespace

const char* EventName(Event event) {
    switch (event) {
        case Event::kChange:
            return kEventChange;
        case Event::kCycle:
            return kEventCycle;
        case Event::kFailure:
            return kEventFailure;
        case Event::kOffline:
            return kEventOffline;
        case Event::kTest:
            break;
    }
    return "test";
}

std::string CutCharacters(const std::string& text, size_t maxCharacters) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        // Continuation bytes belong to the character before them.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (characters == maxCharacters) {
                return text.substr(0, i);
            }
            ++characters;
        }
    }
    return text;
}

std::string ServerOf(const NotifyChannel& channel) {
    std::string server = TrimBlanks(channel.Server);
    if (server.empty()) {
        const NotifyKindInfo* info = FindNotifyKind(channel.Kind);
        server = info != nullptr ? info->defaultServer : "";
    }
    while (!server.empty() && server.back() == '/') {
        server.pop_back();
    }
    return server;
}

std::string ChannelName(const NotifyChannel& c) {
    const std::string& k = c.Kind;
    if (k == kNotifyNtfy) {
        return "ntfy topic " + c.Target;
    }
    if (k == kNotifyGotify) {
        return "Gotify on " + ServerPart(ServerOf(c));
    }
    if (k == kNotifyTelegram) {
        return "Telegram chat " + c.Target;
    }
    if (k == kNotifyDiscord) {
        return "Discord webhook on " + ServerPart(c.URL);
    }
    if (k == kNotifySlack) {
        return "Slack webhook on " + ServerPart(c.URL);
    }
    if (k == kNotifyMatrix) {
        return "Matrix room " + c.Target;
    }
    if (k == kNotifyPushover) {
        return "Pushover on " + ServerPart(ServerOf(c));
    }
    if (k == kNotifyWebhook) {
        return "webhook on " + ServerPart(c.URL);
    }
    if (k == kNotifyPing) {
        return "ping on " + ServerPart(c.URL);
    }
    return k + " channel";
}

HttpRequest BuildRequest(const NotifyChannel& c, const Message& m, const std::string& txnId) {
    HttpRequest request;
    const std::string server = ServerOf(c);
    const std::string url = TrimBlanks(c.URL);
    const std::string& k = c.Kind;
    if (k == kNotifyNtfy) {
        request.method = HttpMethod::kPost;
        request.url = server + "/" + PercentEncode(c.Target);
        request.body = m.text;
        request.headers.emplace_back("Content-Type", "text/plain; charset=utf-8");
        const std::string title = HeaderValue(m.title);
        if (!title.empty() && IsAscii(title)) {
            request.headers.emplace_back("Title", title);
        } else if (!title.empty()) {
            // Header values are ASCII; the service takes any other title as a parameter.
            request.url += "?title=" + PercentEncode(title);
        }
        if (!c.User.empty()) {
            request.user = c.User;
            request.password = c.Password;
        } else {
            Bearer(request, c.Password);
        }
    } else if (k == kNotifyGotify) {
        request.url = server + "/message";
        request.headers.emplace_back("X-Gotify-Key", HeaderValue(c.Password));
        Json body = {{"message", m.text}};
        if (!m.title.empty()) {
            body["title"] = m.title;
        }
        JsonBody(request, body);
    } else if (k == kNotifyTelegram) {
        request.url = server + "/bot" + PercentEncode(TrimBlanks(c.Password), ":") + "/sendMessage";
        JsonBody(request, {{"chat_id", TrimBlanks(c.Target)},
                           {"text", CutCharacters(WithTitle(m), kTelegramMaxText)}});
    } else if (k == kNotifyDiscord) {
        request.url = url;
        JsonBody(request, {{"content", CutCharacters(WithTitle(m), kDiscordMaxText)}});
    } else if (k == kNotifySlack) {
        request.url = url;
        // Slack reads "&", "<" and ">" as markup; its documentation asks for them escaped.
        JsonBody(request, {{"text", MarkupEscaped(WithTitle(m))}});
    } else if (k == kNotifyMatrix) {
        request.url = server + "/_matrix/client/v3/rooms/" + PercentEncode(TrimBlanks(c.Target)) +
                      "/send/m.room.message/" + PercentEncode(txnId);
        Bearer(request, c.Password);
        JsonBody(request, {{"msgtype", "m.text"}, {"body", WithTitle(m)}});
        request.method = HttpMethod::kPut;
    } else if (k == kNotifyPushover) {
        request.method = HttpMethod::kPost;
        request.url = server + "/1/messages.json";
        request.headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
        request.body = "token=" + PercentEncode(TrimBlanks(c.Password)) +
                       "&user=" + PercentEncode(TrimBlanks(c.Target)) +
                       "&message=" + PercentEncode(CutCharacters(m.text, kPushoverMaxText));
        if (!m.title.empty()) {
            request.body += "&title=" + PercentEncode(CutCharacters(m.title, kPushoverMaxTitle));
        }
    } else if (k == kNotifyWebhook) {
        request.url = url;
        if (!c.User.empty()) {
            request.user = c.User;
            request.password = c.Password;
        } else {
            Bearer(request, c.Password);
        }
        JsonBody(request, {{"event", EventName(m.event)},
                           {"host", m.host},
                           {"wan", m.addresses.wan},
                           {"wan6", m.addresses.wan6},
                           {"lan", m.addresses.lan},
                           {"lan6", m.addresses.lan6},
                           {"time", m.time},
                           {"title", m.title},
                           {"text", m.text}});
    } else if (k == kNotifyPing) {
        request.method = HttpMethod::kGet;
        request.url = m.failed ? FailAddress(url) : url;
    }
    return request;
}

Delivery ReadDelivery(const HttpResponse& response) {
    Delivery d;
    d.ok = response.Ok();
    if (d.ok) {
        return d;
    }
    if (response.reached) {
        d.serviceText = ServiceWords(response.body);
        d.retryAfterSeconds = RetryAfter(response);
    }
    d.failure = HttpFailureSentence(response, "the message");
    if (d.failure.empty()) {
        d.failure = "the message was not accepted";
    }
    if (!d.serviceText.empty()) {
        d.failure += " (" + d.serviceText + ")";
    }
    if (d.retryAfterSeconds >= 0) {
        d.failure += "; it asked to wait " + std::to_string(d.retryAfterSeconds) + " s";
    }
    return d;
}

}  // namespace orvex::notify
