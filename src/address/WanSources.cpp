#include "address/WanSources.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>

#include "address/AddressScope.h"
#include "platform/HostMessage.h"
#include "platform/StatusTexts.h"
#include "platform/TextUtil.h"
#include "settings/SettingsFile.h"

namespace orvex {

namespace {

class WebSource : public WanAddressSource {
public:
    explicit WebSource(std::function<std::string(IpFamily)> ask) : ask_(std::move(ask)) {}
    std::string Name() const override { return kSourceWeb; }
    SourceAnswer Ask(IpFamily family, long) override {
        const std::string address = ask_(family);
        if (address.empty() || address == kNotAvailable) {
            return {"", family == IpFamily::kIPv6 ? "no service gave an IPv6 address"
                                                  : "no service gave an IPv4 address"};
        }
        return {address, ""};
    }

private:
    std::function<std::string(IpFamily)> ask_;
};

bool OfFamily(const std::string& text, IpFamily family) {
    in6_addr bytes{};
    return ::inet_pton(family == IpFamily::kIPv6 ? AF_INET6 : AF_INET, text.c_str(), &bytes) == 1;
}

long SourceBoundMs(int timeoutSeconds) {
    return std::max(timeoutSeconds, 1) * 1000L;
}

}  // namespace

WanSourceSettings WanSourceSettings::From(const AppSettings& settings) {
    WanSourceSettings sources;
    sources.WANIPSources = settings.WANIPSources;
    sources.UPnPURL = TrimBlanks(settings.UPnPURL);
    sources.NATPMPGateway = TrimBlanks(settings.NATPMPGateway);
    sources.DNSLookups = settings.DNSLookups;
    sources.Timeout = settings.Timeout;
    return sources;
}

std::vector<std::string> SourceNames(const std::string& list, std::vector<std::string>* unknown) {
    std::vector<std::string> names;
    for (const std::string& word : LookupServices("", list, {})) {
        std::string name = word;
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        const bool known = name == kSourceWeb || name == kSourceUpnp || name == kSourceNatPmp ||
                           name == kSourceDns;
        if (!known) {
            if (unknown != nullptr) {
                unknown->push_back(word);
            }
            continue;
        }
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    if (names.empty()) {
        names.push_back(kSourceWeb);
    }
    return names;
}

std::unique_ptr<WanAddressSource> MakeWebSource(std::function<std::string(IpFamily)> ask) {
    return std::make_unique<WebSource>(std::move(ask));
}

std::vector<std::unique_ptr<WanAddressSource>> MakeWanSources(
    const WanSourceSettings& settings, std::function<std::string(IpFamily)> webAsk) {
    std::vector<std::unique_ptr<WanAddressSource>> sources;
    for (const std::string& name : SourceNames(settings.WANIPSources)) {
        if (name == kSourceWeb) {
            sources.push_back(MakeWebSource(webAsk));
        } else if (name == kSourceUpnp) {
            sources.push_back(MakeUpnpSource(settings.UPnPURL));
        } else if (name == kSourceNatPmp) {
            sources.push_back(MakeNatPmpSource(settings.NATPMPGateway));
        } else {
            sources.push_back(MakeDnsSource(settings.DNSLookups));
        }
    }
    return sources;
}

std::string ReachabilitySentence(const std::string& routerAddress,
                                 const std::string& publicAddress) {
    const std::string target = publicAddress.empty() ? "this machine" : publicAddress;
    switch (ScopeOf(routerAddress)) {
        case AddressScope::kShared:
            return "The router's WAN address " + routerAddress +
                   " is shared: this line is behind carrier-grade NAT, so " + target +
                   " cannot be reached from outside; IPv6 or a tunnel can.";
        case AddressScope::kPrivate:
            return "The router's WAN address " + routerAddress +
                   " is private: this line is behind a second NAT, so " + target +
                   " cannot be reached from outside unless the router in front forwards to "
                   "this one; IPv6 or a tunnel can.";
        case AddressScope::kPublic:
            if (publicAddress.empty() || publicAddress == routerAddress) {
                return "";
            }
            return "The router's WAN address " + routerAddress + " differs from " + publicAddress +
                   ", the address the other sources see: this line goes out through another "
                   "NAT or a second line, so " +
                   publicAddress + " may not reach this machine.";
        default:
            return "";
    }
}

WanSourcesOutcome AskWanSources(const std::vector<std::unique_ptr<WanAddressSource>>& sources,
                                IpFamily family, int timeoutSeconds) {
    WanSourcesOutcome outcome;
    std::string routerAddress;
    for (const auto& source : sources) {
        const bool router = source->IsRouter();
        if (router && family == IpFamily::kIPv6) {
            continue;
        }
        // Once an address is found, only a router is asked still, for what it says of the line.
        if (!outcome.address.empty() && (!router || !routerAddress.empty())) {
            continue;
        }
        const long boundMs = source->Name() == kSourceWeb
                                 ? std::max(timeoutSeconds, kMinLookupSeconds) * 1000L
                                 : SourceBoundMs(timeoutSeconds);
        SourceAnswer answer = source->Ask(family, boundMs);
        if (!answer.address.empty() && !OfFamily(answer.address, family)) {
            answer.failure = "answered \"" + answer.address + "\", which is no " +
                             (family == IpFamily::kIPv6 ? "IPv6" : "IPv4") + " address";
            answer.address.clear();
        }
        if (!answer.address.empty()) {
            if (router && routerAddress.empty()) {
                routerAddress = answer.address;
            }
            if (IsPublicAddress(answer.address)) {
                if (outcome.address.empty()) {
                    outcome.address = answer.address;
                    outcome.via = source->Name();
                }
            } else {
                answer.failure =
                    "reported " + answer.address + ", " + ScopeWords(ScopeOf(answer.address));
            }
        }
        outcome.asked.emplace_back(source->Name(), answer);
    }
    outcome.nat = kNatUnknown;
    if (!routerAddress.empty()) {
        outcome.sentence = ReachabilitySentence(routerAddress, outcome.address);
        switch (ScopeOf(routerAddress)) {
            case AddressScope::kShared:
                outcome.nat = kNatCarrierGrade;
                break;
            case AddressScope::kPrivate:
                outcome.nat = kNatPlain;
                break;
            case AddressScope::kPublic:
                outcome.nat = outcome.sentence.empty() ? kNatNone : kNatPlain;
                break;
            default:
                break;
        }
    }
    return outcome;
}

std::string LookUpWanAddress(AddressState& state, Profile& settingsFile,
                             const WanLookupSettings& lookup, const WanSourceSettings& settings,
                             Host& host, const std::string& workDir,
                             const std::vector<std::string>& defaults, IpFamily family,
                             bool* answered) {
    const bool v6 = family == IpFamily::kIPv6;
    std::vector<std::string> unknown;
    const std::vector<std::string> names = SourceNames(settings.WANIPSources, &unknown);
    const bool webOnly = std::none_of(names.begin(), names.end(), [v6](const std::string& name) {
        return name != kSourceWeb && !(v6 && (name == kSourceUpnp || name == kSourceNatPmp));
    });
    if (!v6) {
        for (const std::string& name : unknown) {
            host.Status(HostMessage::Sentence("WANIPSources names an unknown source \"" + name +
                                              "\"; it is left out (known: web upnp natpmp dns)."));
        }
    }
    if (webOnly) {
        // Today's lookup, untouched.
        const std::string result =
            v6 ? GetWANIP6(state, settingsFile, lookup, host, workDir, defaults, answered)
               : GetWANIP(state, settingsFile, lookup, host, workDir, defaults, answered);
        if (!v6) {
            state.SetWanReach(kNatUnknown, result == kNotAvailable ? "" : kSourceWeb, "");
        }
        return result;
    }

    const AddressKind kind = v6 ? AddressKind::Wan6 : AddressKind::Wan;
    const std::string previous = ReadLastAddress(settingsFile, kind);
    if (v6) {
        state.SetPreviousWANIP6(previous);
    } else {
        state.SetPreviousWANIP(previous);
        host.Status(HostMessage::Coded(status::kRequestingWanAddress));
    }
    const auto sources = MakeWanSources(settings, [&](IpFamily asked) {
        return AskWanServices(lookup, host, workDir, defaults, asked);
    });
    const WanSourcesOutcome outcome = AskWanSources(sources, family, settings.Timeout);
    if (answered != nullptr) {
        *answered = !outcome.address.empty();
    }

    if (!outcome.address.empty() && !outcome.asked.empty() &&
        outcome.asked.front().first != outcome.via) {
        host.Status(HostMessage::Coded(
            v6 ? status::kWan6AddressFromPrefix : status::kWanAddressFromPrefix, outcome.via));
    }
    if (outcome.address.empty()) {
        for (const auto& [name, answer] : outcome.asked) {
            host.Status(
                HostMessage::Sentence("WAN address source " + name + ": " + answer.failure));
        }
    }
    if (!outcome.sentence.empty()) {
        host.Status(HostMessage::Sentence(outcome.sentence));
    }

    std::string current = outcome.address.empty() ? kNotAvailable : outcome.address;
    if (outcome.address.empty() && lookup.UpdateOnNAIP != 1) {
        current = previous;
    }
    if (v6) {
        state.SetCurrentWANIP6(current);
    } else {
        state.SetCurrentWANIP(current);
        state.SetWanReach(outcome.nat, outcome.via, outcome.sentence);
    }
    WriteLastAddress(settingsFile, kind, current.substr(0, current.find_first_of("\r\n")));
    return current;
}

std::vector<std::string> TestWanSources(const WanSourceSettings& settings,
                                        std::function<std::string(IpFamily)> webAsk) {
    std::vector<std::string> lines;
    std::string routerAddress;
    std::string publicAddress;
    for (const auto& source : MakeWanSources(settings, std::move(webAsk))) {
        const long boundMs = source->Name() == kSourceWeb
                                 ? std::max(settings.Timeout, kMinLookupSeconds) * 1000L
                                 : SourceBoundMs(settings.Timeout);
        const SourceAnswer answer = source->Ask(IpFamily::kIPv4, boundMs);
        std::string line = source->Name() + ": ";
        if (answer.address.empty()) {
            line += answer.failure;
        } else {
            line += answer.address;
            const AddressScope scope = ScopeOf(answer.address);
            if (scope != AddressScope::kPublic) {
                line += " (" + ScopeWords(scope) + ")";
            } else if (publicAddress.empty()) {
                publicAddress = answer.address;
            }
            if (source->IsRouter() && routerAddress.empty()) {
                routerAddress = answer.address;
            }
        }
        lines.push_back(line);
    }
    if (!routerAddress.empty()) {
        const std::string sentence = ReachabilitySentence(routerAddress, publicAddress);
        if (!sentence.empty()) {
            lines.push_back(sentence);
        } else if (IsPublicAddress(routerAddress)) {
            lines.push_back("The router's WAN address " + routerAddress +
                            " is public: this line can be reached at it.");
        }
    }
    return lines;
}

}  // namespace orvex
