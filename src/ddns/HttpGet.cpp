#include "ddns/HttpGet.h"

#include <mutex>

#include <curl/curl.h>

namespace orvex::ddns {

namespace {

// Longest piece of a peer's text shown in one host message.
constexpr size_t kMaxShownLength = 200;

struct BodySink {
    std::string body;
};

size_t CollectBody(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<BodySink*>(user);
    const size_t bytes = size * count;
    const size_t room = kMaxAnswerBytes - sink->body.size();
    sink->body.append(data, bytes < room ? bytes : room);
    // The rest is taken and dropped, so a long answer still ends as a whole response.
    return bytes;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

std::string SecondsText(long milliseconds) {
    const long seconds = (milliseconds + 999) / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
}

std::string UserAgent() {
    return std::string("Orvex/") + ORVEX_VERSION_TEXT;
}

HttpGetAnswer HttpGet(const HttpGetRequest& request) {
    InitCurlOnce();
    HttpGetAnswer answer;
    if (request.boundMs <= 0) {
        answer.error = "no time left";
        return answer;
    }
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        answer.error = "the HTTP client could not start";
        return answer;
    }
    BodySink sink;
    char errorText[CURL_ERROR_SIZE] = {};
    const std::string agent = UserAgent();
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    if (!request.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_USERNAME, request.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password.c_str());
    }
    // Worker threads must not get signals from name resolution time-outs.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, request.boundMs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, request.boundMs);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK) {
        answer.reached = true;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
        answer.body = std::move(sink.body);
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        answer.error = "no answer within " + SecondsText(request.boundMs);
    } else {
        answer.error = FirstLine(errorText[0] != '\0' ? errorText : curl_easy_strerror(code));
    }
    curl_easy_cleanup(curl);
    return answer;
}

std::string PercentEncode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' ||
            byte == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::string FirstLine(const std::string& body) {
    size_t start = 0;
    while (start < body.size() && (body[start] == '\r' || body[start] == '\n')) {
        ++start;
    }
    std::string line;
    for (size_t i = start; i < body.size() && body[i] != '\n' && body[i] != '\r'; ++i) {
        const auto byte = static_cast<unsigned char>(body[i]);
        if (byte < 0x20 || byte == 0x7F) {
            continue;
        }
        if (line.size() == kMaxShownLength) {
            // Never end on half a UTF-8 character.
            size_t lead = line.size();
            while (lead > 0 && (static_cast<unsigned char>(line[lead - 1]) & 0xC0) == 0x80) {
                --lead;
            }
            if (lead > 0 && static_cast<unsigned char>(line[lead - 1]) >= 0xC0) {
                const auto first = static_cast<unsigned char>(line[lead - 1]);
                const size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
                if (line.size() - (lead - 1) < length) {
                    line.resize(lead - 1);
                }
            }
            line += "...";
            break;
        }
        line += body[i];
    }
    // Trailing blanks carry nothing.
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    return line;
}

}  // namespace orvex::ddns
