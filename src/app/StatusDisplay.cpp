#include "app/StatusDisplay.h"

#include "log/EventLog.h"
#include "platform/Profile.h"
#include "platform/StatusTexts.h"

namespace orvex {

StatusDisplay::StatusDisplay(AppState& state, WindowPort& window, Clock& clock, LogFunction log,
                             AddressFunction addresses)
    : state_(state),
      window_(window),
      clock_(clock),
      log_(std::move(log)),
      addresses_(std::move(addresses)) {}

std::string StatusDisplay::DisplayText(const std::string& message) {
    const int number = (!message.empty() && message[0] == 'P') ? -1 : AsciiToInt(message);
    if (number == 0) {
        return kLocalFailure;
    }
    const size_t blank = message.find(' ');
    return blank == std::string::npos ? message : message.substr(blank + 1);
}

std::string StatusDisplay::FormatStamp(const std::tm& local) {
    char text[64];
    std::strftime(text, sizeof text, "%m/%d/%y %H:%M:%S  ", &local);
    return text;
}

void StatusDisplay::ShowStatus(const std::string& message) {
    std::string text = DisplayText(message);
    fields_.hostMessage = text;

    if (message == status::kSystemOnline) {
        const auto [lan, wan] = addresses_();
        text += "LAN IP: " + lan + ", WAN IP: " + wan;
        fields_.lanAddress = lan;
        fields_.wanAddress = wan;
        fields_.ipv6 = state_.Settings().EnableIPv6 == 1;
        if (fields_.ipv6) {
            const AddressState::Snapshot a = state_.Addresses.Get();
            text += ", WAN IPv6: " + a.CurrentWANIP6;
            fields_.lanAddress6 = a.CurrentLANIP6;
            fields_.wanAddress6 = a.CurrentWANIP6;
        }
        const std::time_t now = clock_.Now();
        fields_.lastRefresh = FormatStamp(clock_.LocalTime(now));
        if (state_.Flags.ManualRefresh.exchange(0) != 1) {
            const int minutes = state_.Settings().RefreshIntv;
            // A negative interval schedules nothing, like 0.
            fields_.nextRefresh =
                minutes > 0 ? FormatStamp(clock_.LocalTime(now + minutes * 60LL)) : kNotScheduled;
        }
    }

    // The log's own failure report is shown, never logged again: a failing log must not loop.
    if (message != kLogErrorStatus) {
        log_(text);
    }
    window_.StatusFieldsChanged(fields_);
    window_.UpdateTrayIcon();
}

void StatusDisplay::SetNextRefresh(int minutes) {
    fields_.nextRefresh = FormatStamp(clock_.LocalTime(clock_.Now() + minutes * 60LL));
    window_.StatusFieldsChanged(fields_);
}

void StatusDisplay::SetNotScheduled() {
    fields_.nextRefresh = kNotScheduled;
    window_.StatusFieldsChanged(fields_);
}

}  // namespace orvex
