#include "ddns/Rfc2136Update.h"

namespace orvex::ddns {

Rfc2136Result SendRfc2136Update(const Rfc2136Request&) {
    return {false, "DNS UPDATE is not available in this build."};
}

}  // namespace orvex::ddns
