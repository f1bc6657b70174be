#pragma once

#include <functional>
#include <string>

#include "app/AppState.h"
#include "app/WindowPort.h"
#include "platform/Clock.h"

namespace orvex {

// Host messages: "P" + five digits + a blank + text, an FTP server's reply line, or text
// without a code. The latest one goes on the Status page; every one goes to the event log.
class StatusDisplay {
public:
    using LogFunction = std::function<void(const std::string& text)>;
    // Current LAN and WAN addresses, read when a cycle reports success.
    using AddressFunction = std::function<std::pair<std::string, std::string>()>;

    StatusDisplay(AppState& state, WindowPort& window, Clock& clock, LogFunction log,
                  AddressFunction addresses);

    // Shows `message` on the Status page, fills the address and time fields when it is the
    // online cycle's success message, logs it and refreshes the notification icon.
    void ShowStatus(const std::string& message);

    // The interval was armed just now for `minutes`: the next-refresh field shows when it fires.
    void SetNextRefresh(int minutes);
    // The schedule was cleared: the next-refresh field says so.
    void SetNotScheduled();

    const StatusFields& Fields() const { return fields_; }

    // The text shown for `message`: what follows its first blank, or the local-failure text
    // when it starts with neither "P" nor a reply code.
    static std::string DisplayText(const std::string& message);
    // "%m/%d/%y %H:%M:%S  " of a local time.
    static std::string FormatStamp(const std::tm& local);

    static constexpr const char* kNotScheduled = "Not Scheduled to refresh";
    static constexpr const char* kLocalFailure = "Unable to resolve hostname/Connection Timeout";

private:
    AppState& state_;
    WindowPort& window_;
    Clock& clock_;
    LogFunction log_;
    AddressFunction addresses_;
    StatusFields fields_;
};

}  // namespace orvex
