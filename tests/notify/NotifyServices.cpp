#include "NotifyServices.h"

#include <fstream>

namespace orvex::test {

NotifyServices::NotifyServices()
    : record_(dir_.File("requests.jsonl")),
      modeFile_(dir_.File("mode")),
      server_(kPython, {PeerScript("notify_services.py"), "--record", record_, "--mode-file",
                        modeFile_, "--token", kToken}) {}

NotifyChannel NotifyServices::Channel(const std::string& kind) const {
    NotifyChannel c;
    c.Kind = kind;
    const bool server = kind == kNotifyNtfy || kind == kNotifyGotify || kind == kNotifyTelegram ||
                        kind == kNotifyMatrix || kind == kNotifyPushover;
    if (server) {
        c.Server = Base() + "/" + kind;
        c.Password = kToken;
    }
    if (kind == kNotifyNtfy) {
        c.Target = "orvex-home";
    } else if (kind == kNotifyTelegram) {
        c.Target = "-1001234567";
    } else if (kind == kNotifyMatrix) {
        c.Target = "!room:example.org";
    } else if (kind == kNotifyPushover) {
        c.Target = "uQiRzpo4DXghDmr9QzzfQu27cmVRsG";
    } else if (kind == kNotifyDiscord) {
        c.URL = Base() + "/discord/api/webhooks/1234/" + kToken;
    } else if (kind == kNotifySlack) {
        c.URL = Base() + "/slack/services/T000/B000/" + kToken;
    } else if (kind == kNotifyWebhook) {
        c.URL = Base() + "/webhook/orvex";
    } else if (kind == kNotifyPing) {
        c.URL = Base() + "/ping/5f1c7a2e";
    }
    return c;
}

void NotifyServices::SetMode(const std::string& mode) {
    std::ofstream(modeFile_, std::ios::trunc) << mode;
}

std::vector<nlohmann::json> NotifyServices::Requests() const {
    std::vector<nlohmann::json> requests;
    std::ifstream in(record_);
    std::string line;
    while (std::getline(in, line)) {
        requests.push_back(nlohmann::json::parse(line));
    }
    return requests;
}

std::vector<nlohmann::json> NotifyServices::Requests(const std::string& kind) const {
    std::vector<nlohmann::json> mine;
    for (const nlohmann::json& r : Requests()) {
        if (r["kind"] == kind) {
            mine.push_back(r);
        }
    }
    return mine;
}

}  // namespace orvex::test
