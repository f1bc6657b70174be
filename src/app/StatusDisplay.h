#pragma once

#include <functional>
#include <string>

#include "app/AppState.h"
#include "app/WindowPort.h"
#include "platform/Clock.h"
#include "platform/HostMessage.h"

namespace orvex {

// Which form of a host message a front end writes: the text the Status page shows, or the
// message with its status code, as orvexd prints it.
enum class LineForm { kShown, kWithCode };

// The one line a front end shows, logs or prints for `message`: its text in `form` and, after
// the online cycle's success, the addresses of `fields` ("LAN IP: ..., WAN IP: ...").
std::string StatusLine(const HostMessage& message, const StatusFields& fields, LineForm form);

// Host messages (platform/HostMessage.h). The latest one goes on the Status page; every one
// goes to the event log.
class StatusDisplay {
public:
    using LogFunction = std::function<void(const std::string& text)>;
    // Current LAN and WAN addresses, read when a cycle reports success.
    using AddressFunction = std::function<std::pair<std::string, std::string>()>;

    StatusDisplay(AppState& state, WindowPort& window, Clock& clock, LogFunction log,
                  AddressFunction addresses);

    // Shows `message` on the Status page, fills the address and time fields when it is the
    // online cycle's success message, logs it and refreshes the notification icon.
    void ShowStatus(const HostMessage& message);

    // The interval was armed just now for `minutes`: the next-refresh field shows when it fires.
    void SetNextRefresh(int minutes);
    // The schedule was cleared: the next-refresh field says so.
    void SetNotScheduled();

    const StatusFields& Fields() const { return fields_; }

    // "%m/%d/%y %H:%M:%S  " of a local time.
    static std::string FormatStamp(const std::tm& local);

    static constexpr const char* kNotScheduled = "Not Scheduled to refresh";
    static constexpr const char* kLocalFailure = HostMessage::kLocalFailureText;

private:
    AppState& state_;
    WindowPort& window_;
    Clock& clock_;
    LogFunction log_;
    AddressFunction addresses_;
    StatusFields fields_;
};

}  // namespace orvex
