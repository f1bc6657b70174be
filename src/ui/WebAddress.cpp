#include "ui/WebAddress.h"

#include "platform/BrowserFallback.h"

namespace orvex {

std::string NoBrowserText(const std::string& address) {
    return "No web browser could be started to open\n\n" + address +
           "\n\nOpen the address in a browser yourself, or install one.";
}

bool OpenWebAddress(const std::string& address, DesktopLauncher& launcher, Host& boxes) {
    if (launcher.Open(address)) {
        return true;
    }
    const std::string exec = DefaultBrowserExec(XdgPaths::FromEnvironment());
    if (!exec.empty() && StartProgram(BrowserArguments(exec, address)) == kOpenSucceeded) {
        return true;
    }
    MessageBoxRequest box;
    box.text = NoBrowserText(address);
    box.icon = MsgIcon::Warning;
    boxes.MessageBox(box);
    return false;
}

}  // namespace orvex
