#pragma once

#include "ddns/UpdateAttempt.h"
#include "ddns/providers/NativeProvider.h"

// The sender of each provider with its own interface, one file each.
namespace orvex::ddns {

UpdateAttempt UpdateAtCloudflare(const NativeUpdate& update);
UpdateAttempt UpdateAtDigitalOcean(const NativeUpdate& update);
UpdateAttempt UpdateAtHetzner(const NativeUpdate& update);
UpdateAttempt UpdateAtPorkbun(const NativeUpdate& update);
UpdateAttempt UpdateAtGandi(const NativeUpdate& update);
UpdateAttempt UpdateAtLinode(const NativeUpdate& update);
UpdateAttempt UpdateAtVultr(const NativeUpdate& update);
UpdateAttempt UpdateAtGoDaddy(const NativeUpdate& update);
UpdateAttempt UpdateAtRoute53(const NativeUpdate& update);
UpdateAttempt UpdateAtDesec(const NativeUpdate& update);

}  // namespace orvex::ddns
