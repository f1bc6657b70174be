#include "app/AppCore.h"

#include "app/Cycles.h"
#include "ddns/DynamicDnsUpdater.h"
#include "log/EventLog.h"
#include "platform/HostMessage.h"
#include "platform/ListenAddress.h"
#include "platform/StatusTexts.h"
#include "platform/TextUtil.h"
#include "settings/SettingsFile.h"

namespace orvex {

AppCore::AppCore(AppState& state, WindowPort& window, WindowTimer& timer, Host& windowHost,
                 Host& workerHost, Clock& clock)
    : state_(state),
      window_(window),
      windowHost_(windowHost),
      clock_(clock),
      cycles_(MakeCycleLauncher(state, workerHost, clock)),
      status_(
          state, window, clock, [this](const std::string& text) { Log(text); },
          [this] {
              return std::make_pair(state_.Addresses.CurrentLANIP(),
                                    state_.Addresses.CurrentWANIP());
          }),
      scheduler_(state, window, timer, windowHost, status_, *cycles_),
      settings_(state, window, scheduler_, PasswordKey(), &windowHost),
      exit_(state, window, windowHost, scheduler_, settings_, *cycles_) {
    settings_.SetNoticeFunction([this](const HostMessage& text) { status_.ShowStatus(text); });
    scheduler_.SetProgramListRefresher([this] {
        RefreshProgramList(state_.Ini(), state_.Settings().StatusIndicators, state_.Programs);
    });
    settings_.SetAppliedFunction([this] { ApplyMetricsAddress(); });
}

void AppCore::ApplyMetricsAddress() {
    const AppSettings s = state_.Settings();
    const std::string address = metricsAllowed_ ? TrimBlanks(s.MetricsAddress) : std::string();
    if (address == metricsAddress_) {
        return;
    }
    metrics_.reset();
    metricsAddress_ = address;
    if (address.empty()) {
        return;
    }
    // Runs on the listener's thread: everything it reads is guarded and copied.
    AppState& state = state_;
    auto server = std::make_unique<MetricsServer>(
        [&state](const std::string& method, const std::string& path) {
            const AddressState::Snapshot a = state.Addresses.Get();
            MetricsAddresses addresses;
            addresses.wan = ddns::CheckedAddress(a.CurrentWANIP, false);
            if (state.Settings().EnableIPv6 == 1) {
                addresses.wan6 = ddns::CheckedAddress(a.CurrentWANIP6, true);
            }
            return AnswerMetricsRequest(method, path, state.Cycles.Get(), addresses);
        },
        s.Timeout);
    std::string error;
    if (!server->Start(address, &error)) {
        windowHost_.Status(HostMessage::Coded(status::kMetricsNotServedPrefix, error));
        return;
    }
    std::string host;
    int port = 0;
    SplitListenAddress(address, &host, &port);
    if (host.find(':') != std::string::npos) {
        host = "[" + host + "]";
    }
    windowHost_.Status(
        HostMessage::Coded(status::kMetricsServedPrefix,
                           host + ":" + std::to_string(server->Port()) + " (/metrics, /healthz)"));
    metrics_ = std::move(server);
}

int AppCore::MetricsPort() const {
    return metrics_ ? metrics_->Port() : 0;
}

AppCore::~AppCore() = default;

void AppCore::Log(const std::string& text) {
    const AppSettings s = state_.Settings();
    LogSettings log;
    log.IsLogging = s.IsLogging;
    log.LogFilename = s.LogFilename;
    log.MaxLog = s.MaxLog;
    log.workDir = state_.WorkDir;
    LogEvent(text, log, windowHost_, clock_);
}

void AppCore::OnStatusMessage(const HostMessage& text) {
    status_.ShowStatus(text);
    settings_.CommitFtpPage();
}

void AppCore::OnCycleCode(CycleCode code) {
    switch (code) {
        case CycleCode::ShowShutdownWindow:
            window_.ShowShutdownWindow(true);
            break;
        case CycleCode::HideShutdownWindow:
            window_.ShowShutdownWindow(false);
            break;
        case CycleCode::DisableRefresh:
            window_.EnableRefreshButton(false);
            break;
        case CycleCode::EnableRefresh:
            window_.EnableRefreshButton(true);
            break;
        case CycleCode::OfflinePublishFailed:
            exit_.OnShutdownError();
            break;
        default:
            break;
    }
}

void AppCore::OnExitMessage() {
    exit_.OnExitRequest();
}

}  // namespace orvex
