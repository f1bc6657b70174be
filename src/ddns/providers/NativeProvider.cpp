#include "ddns/providers/NativeProvider.h"

#include <utility>

#include "ddns/providers/ProviderSenders.h"

namespace orvex::ddns {

NativeSender FindNativeSender(const std::string& storedName) {
    static const std::pair<const char*, NativeSender> kSenders[] = {
        {"cloudflare", UpdateAtCloudflare}, {"digitalocean", UpdateAtDigitalOcean},
        {"hetzner", UpdateAtHetzner},       {"porkbun", UpdateAtPorkbun},
        {"gandi", UpdateAtGandi},           {"linode", UpdateAtLinode},
        {"vultr", UpdateAtVultr},           {"godaddy", UpdateAtGoDaddy},
        {"route53", UpdateAtRoute53},       {"desec", UpdateAtDesec},
    };
    for (const auto& [name, sender] : kSenders) {
        if (storedName == name) {
            return sender;
        }
    }
    return nullptr;
}

}  // namespace orvex::ddns
