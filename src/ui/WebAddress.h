#pragma once

#include <string>

#include "platform/DesktopLauncher.h"
#include "platform/Host.h"

namespace orvex {

// Opens an address on the web in the desktop's browser, or else with the default browser's
// own command; when neither can be started, a box says so and names the address, so the user
// can open it by hand. True when a browser was started.
bool OpenWebAddress(const std::string& address, DesktopLauncher& launcher, Host& boxes);

// The text of that box.
std::string NoBrowserText(const std::string& address);

}  // namespace orvex
