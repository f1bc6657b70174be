// The router's WAN address through UPnP: its Internet Gateway Device's WANIPConnection (or
// WANPPPConnection) service answers GetExternalIPAddress.
#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "address/WanSources.h"

namespace orvex {

namespace {

SourceAnswer AskGateway(const std::string& descriptionUrl) {
    UPNPUrls urls{};
    IGDdatas data{};
    char lanAddress[64] = {};
    if (descriptionUrl.empty()) {
        int error = 0;
        UPNPDev* devices =
            upnpDiscover(kDiscoveryMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
        if (devices == nullptr) {
            return {"", "no router answered the UPnP discovery within " +
                            std::to_string(kDiscoveryMs / 1000) + " s"};
        }
        const int found = UPNP_GetValidIGD(devices, &urls, &data, lanAddress, sizeof lanAddress);
        freeUPNPDevlist(devices);
        // 1: a connected gateway, 2: one that says it is not connected (its report still
        // tells the address it has); anything else is no gateway.
        if (found != 1 && found != 2) {
            if (found != 0) {
                FreeUPNPUrls(&urls);
            }
            return {"", "the UPnP devices that answered are no Internet gateways"};
        }
    } else if (UPNP_GetIGDFromUrl(descriptionUrl.c_str(), &urls, &data, lanAddress,
                                  sizeof lanAddress) != 1) {
        return {"", "the router's description at " + descriptionUrl +
                        " could not be read, or names no WAN connection service"};
    }
    char external[64] = {};
    const int rc = UPNP_GetExternalIPAddress(urls.controlURL, data.first.servicetype, external);
    FreeUPNPUrls(&urls);
    if (rc != UPNPCOMMAND_SUCCESS) {
        const char* words = strupnperror(rc);
        return {"", std::string("the router did not answer GetExternalIPAddress (") +
                        (words != nullptr ? words : "error " + std::to_string(rc)) + ")"};
    }
    if (external[0] == '\0') {
        return {"", "the router reported no WAN address"};
    }
    return {external, ""};
}

// The library waits by its own clocks; the question runs on a thread of its own, so the answer
// is given up at the bound whatever the library does. The thread keeps what it uses.
struct PendingAnswer {
    std::mutex mutex;
    std::condition_variable ready;
    bool done = false;
    SourceAnswer answer;
};

class UpnpSource : public WanAddressSource {
public:
    explicit UpnpSource(std::string url) : url_(std::move(url)) {}
    std::string Name() const override { return kSourceUpnp; }
    bool IsRouter() const override { return true; }

    SourceAnswer Ask(IpFamily, long boundMs) override {
        auto pending = std::make_shared<PendingAnswer>();
        std::thread([pending, url = url_] {
            SourceAnswer answer = AskGateway(url);
            std::lock_guard<std::mutex> lock(pending->mutex);
            pending->answer = std::move(answer);
            pending->done = true;
            pending->ready.notify_all();
        }).detach();
        std::unique_lock<std::mutex> lock(pending->mutex);
        if (!pending->ready.wait_for(lock, std::chrono::milliseconds(boundMs),
                                     [&] { return pending->done; })) {
            return {"", "no answer from the router" + (url_.empty() ? "" : " at " + url_) +
                            " within " + std::to_string((boundMs + 999) / 1000) + " s"};
        }
        return pending->answer;
    }

private:
    std::string url_;
};

}  // namespace

std::unique_ptr<WanAddressSource> MakeUpnpSource(const std::string& descriptionUrl) {
    return std::make_unique<UpnpSource>(descriptionUrl);
}

}  // namespace orvex
