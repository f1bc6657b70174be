#include "app/Cycles.h"

#include <thread>

#include "address/WanAddress.h"
#include "app/PublishCycle.h"
#include "platform/FreedMemory.h"
#include "settings/SettingsFile.h"

namespace orvex {

namespace {

// What a worker needs besides the program's state; shared with the worker so that a worker
// still running when the window (and with it the launcher) is gone keeps it alive.
struct WorkerEnvironment {
    WorkerEnvironment()
        : env{resolver, BuiltInWanServices(), FindProgramWindow, BuiltInWanServices6()} {}
    SystemHostResolver resolver;
    CycleEnvironment env;
};

class ThreadCycleLauncher : public CycleLauncher {
public:
    ThreadCycleLauncher(AppState& state, Host& host, Clock& clock)
        : state_(state),
          host_(host),
          clock_(clock),
          environment_(std::make_shared<WorkerEnvironment>()) {}

    void StartOnlineCycle() override {
        Start([](AppState& state, Host& host, Clock& clock, const CycleEnvironment& env) {
            OnlineCycle(state, host, clock, env);
        });
    }

    void StartOfflineCycle() override {
        Start([](AppState& state, Host& host, Clock& clock, const CycleEnvironment& env) {
            OfflineCycle(state, host, clock, env, true);
        });
    }

    int RunOfflineCycleHere() override {
        const int result = OfflineCycle(state_, host_, clock_, environment_->env, false);
        state_.Flags.ReleaseCycle();
        return result;
    }

private:
    template <typename Cycle>
    void Start(Cycle cycle) {
        // The worker is not waited for; it releases the cycle claim when it ends.
        std::thread([&state = state_, &host = host_, &clock = clock_, environment = environment_,
                     cycle] {
            cycle(state, host, clock, environment->env);
            ReturnFreedMemory();
            state.Flags.ReleaseCycle();
        }).detach();
    }

    AppState& state_;
    Host& host_;
    Clock& clock_;
    std::shared_ptr<WorkerEnvironment> environment_;
};

}  // namespace

std::unique_ptr<CycleLauncher> MakeCycleLauncher(AppState& state, Host& host, Clock& clock) {
    return std::make_unique<ThreadCycleLauncher>(state, host, clock);
}

}  // namespace orvex
