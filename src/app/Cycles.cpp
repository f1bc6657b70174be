#include "app/Cycles.h"

namespace orvex {

namespace {

class ThreadCycleLauncher : public CycleLauncher {
public:
    ThreadCycleLauncher(AppState& state, Host& host, Clock& clock)
        : state_(state), host_(host), clock_(clock) {}

    void StartOnlineCycle() override { state_.Flags.ReleaseCycle(); }
    void StartOfflineCycle() override { state_.Flags.ReleaseCycle(); }
    int RunOfflineCycleHere() override {
        state_.Flags.ReleaseCycle();
        return 1;
    }

private:
    AppState& state_;
    Host& host_;
    Clock& clock_;
};

}  // namespace

std::unique_ptr<CycleLauncher> MakeCycleLauncher(AppState& state, Host& host, Clock& clock) {
    return std::make_unique<ThreadCycleLauncher>(state, host, clock);
}

}  // namespace orvex
