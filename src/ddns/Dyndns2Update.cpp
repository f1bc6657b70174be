#include "ddns/Dyndns2Update.h"

#include <algorithm>

#include "ddns/ProviderText.h"
#include "ddns/UrlUpdate.h"
#include "platform/HttpClient.h"

namespace orvex::ddns {

namespace {

constexpr Dyndns2Code kCodes[] = {
    {"good", Dyndns2Verdict::kUpdated, "the name now points at this address"},
    {"nochg", Dyndns2Verdict::kUpdated, "the name already pointed at this address"},
    {"badauth", Dyndns2Verdict::kStop, "the provider refused the user name or password"},
    {"notfqdn", Dyndns2Verdict::kStop, "the host name is not a fully qualified domain name"},
    {"nohost", Dyndns2Verdict::kStop, "the host name does not exist in this account"},
    {"numhost", Dyndns2Verdict::kStop, "too many host names in one update"},
    {"abuse", Dyndns2Verdict::kStop, "the provider blocked the host name for abuse"},
    {"!yours", Dyndns2Verdict::kStop, "the host name belongs to another account"},
    {"badagent", Dyndns2Verdict::kStop, "the provider refuses this client or its request"},
    {"dnserr", Dyndns2Verdict::kRetry, "the provider's name servers failed"},
    {"911", Dyndns2Verdict::kStop, "the provider has a fault or is down for maintenance"},
};

constexpr Dyndns2Code kUnknown = {"", Dyndns2Verdict::kRetry,
                                  "an answer this program does not know"};

std::string FirstWord(const std::string& line) {
    size_t start = 0;
    while (start < line.size() && line[start] == ' ') {
        ++start;
    }
    size_t end = start;
    while (end < line.size() && line[end] != ' ') {
        ++end;
    }
    return line.substr(start, end - start);
}

// The answer's lines, blank ones skipped, each cleaned for a status line.
std::vector<std::string> AnswerLines(const std::string& body) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < body.size()) {
        size_t end = body.find('\n', pos);
        if (end == std::string::npos) {
            end = body.size();
        }
        const std::string line = FirstLine(body.substr(pos, end - pos));
        if (!line.empty()) {
            lines.push_back(line);
        }
        pos = end + 1;
    }
    return lines;
}

}  // namespace

Dyndns2Code ClassifyDyndns2Answer(const std::string& line) {
    const std::string word = FirstWord(line);
    for (const Dyndns2Code& code : kCodes) {
        if (word == code.code) {
            return code;
        }
    }
    return kUnknown;
}

std::string Dyndns2Url(const std::string& server, const std::vector<std::string>& hosts,
                       const std::string& ipv4, const std::string& ipv6) {
    std::string base = UrlWithScheme(server, "https");
    while (!base.empty() && base.back() == '/') {
        base.pop_back();
    }
    return Dyndns2UrlAt(base + "/nic/update", hosts, ipv4, ipv6);
}

std::string Dyndns2UrlAt(const std::string& address, const std::vector<std::string>& hosts,
                         const std::string& ipv4, const std::string& ipv6) {
    std::string names;
    for (const std::string& host : hosts) {
        names += (names.empty() ? "" : ",") + PercentEncode(host);
    }
    std::string addresses = PercentEncode(ipv4);
    if (!ipv6.empty()) {
        addresses += (addresses.empty() ? "" : ",") + PercentEncode(ipv6);
    }
    const char* joint = address.find('?') == std::string::npos ? "?" : "&";
    return address + joint + "hostname=" + names + "&myip=" + addresses;
}

UpdateAttempt SendDyndns2Update(const Dyndns2Request& request) {
    UpdateAttempt attempt;
    if (request.hosts.empty()) {
        attempt.why = "no host name to update";
        return attempt;
    }
    HttpRequest get;
    get.url = request.address.empty()
                  ? Dyndns2Url(request.server, request.hosts, request.ipv4, request.ipv6)
                  : Dyndns2UrlAt(request.address, request.hosts, request.ipv4, request.ipv6);
    get.user = request.user;
    get.password = request.password;
    get.timeoutMs = request.boundMs;
    get.maxBodyBytes = kMaxAnswerBytes;
    get.tls = request.tls;
    const HttpResponse answer = SendHttp(get);
    if (!answer.reached) {
        attempt.why = HttpFailureSentence(answer);
        return attempt;
    }
    if (answer.status == 429) {
        // Asked to slow down, whatever the body says.
        attempt.why = HttpFailureSentence(answer);
        NoteRefusalOrWait(answer, attempt);
        return attempt;
    }
    std::vector<std::string> lines = AnswerLines(answer.body);
    if (lines.empty()) {
        // Some providers answer a refused logon with the status alone.
        if (answer.status == 401 || answer.status == 403) {
            lines.push_back("badauth");
        } else if (!answer.Ok()) {
            attempt.why = HttpFailureSentence(answer);
            NoteRefusalOrWait(answer, attempt);
            return attempt;
        } else {
            attempt.why = "the provider answered HTTP " + std::to_string(answer.status) +
                          " without an answer code";
            return attempt;
        }
    }
    // One line per host, in the order sent; a single line answers for every host.
    const bool shared = lines.size() == 1;
    const size_t shown = shared ? 1 : std::min(lines.size(), request.hosts.size());
    bool allUpdated = true;
    bool allCurrent = true;
    for (size_t i = 0; i < shown; ++i) {
        const Dyndns2Code code = ClassifyDyndns2Answer(lines[i]);
        allCurrent = allCurrent && std::string(code.code) == "nochg";
        const std::string who = !shared && request.hosts.size() > 1 ? request.hosts[i] + ": " : "";
        attempt.answers.push_back(who + lines[i] + " (" + code.meaning + ")");
        if (code.verdict != Dyndns2Verdict::kUpdated) {
            allUpdated = false;
            if (attempt.why.empty()) {
                attempt.why = code.meaning;
            }
        }
        attempt.stop = attempt.stop || code.verdict == Dyndns2Verdict::kStop;
    }
    if (!shared && lines.size() < request.hosts.size() && attempt.why.empty()) {
        allUpdated = false;
        attempt.why = "the provider answered for " + std::to_string(lines.size()) + " of " +
                      std::to_string(request.hosts.size()) + " host names";
    }
    attempt.ok = allUpdated && !attempt.stop;
    attempt.current = attempt.ok && allCurrent;
    return attempt;
}

}  // namespace orvex::ddns
