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

std::string StatusLine(const HostMessage& message, const StatusFields& fields, LineForm form) {
    std::string line = message.Shown();
    if (form == LineForm::kWithCode && !message.Recorded().empty()) {
        line = message.Recorded();
    }
    if (message.Is(status::kSystemOnline)) {
        line += "LAN IP: " + fields.lanAddress + ", WAN IP: " + fields.wanAddress;
        if (fields.ipv6) {
            line += ", WAN IPv6: " + fields.wanAddress6;
        }
        if (!fields.wanReachability.empty()) {
            line += " (" + fields.wanReachability + ")";
        }
    }
    return line;
}

std::string StatusDisplay::FormatStamp(const std::tm& local) {
    char text[64];
    std::strftime(text, sizeof text, "%m/%d/%y %H:%M:%S  ", &local);
    return text;
}

void StatusDisplay::ShowStatus(const HostMessage& message) {
    fields_.hostMessage = message.Shown();

    if (message.Is(status::kSystemOnline)) {
        const auto [lan, wan] = addresses_();
        fields_.lanAddress = lan;
        fields_.wanAddress = wan;
        fields_.wanReachability = state_.Addresses.Get().WanReachability;
        fields_.ipv6 = state_.Settings().EnableIPv6 == 1;
        if (fields_.ipv6) {
            const AddressState::Snapshot a = state_.Addresses.Get();
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
    if (!(message.kind() == HostMessage::Kind::kLocalFailure &&
          message.Recorded() == kLogErrorStatus)) {
        log_(StatusLine(message, fields_, LineForm::kShown));
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
