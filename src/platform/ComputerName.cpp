#include "platform/ComputerName.h"

#include <unistd.h>

#include "platform/TextUtil.h"

namespace orvex {

std::string ComputerName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return std::string();
    }
    std::string text(name);
    if (text.size() > 15) {
        text.resize(15);
    }
    return ToUpperAscii(text);
}

}  // namespace orvex
