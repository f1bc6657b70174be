#pragma once

#include <memory>

#include "app/AppState.h"
#include "app/Scheduler.h"
#include "platform/Clock.h"
#include "platform/Host.h"

namespace orvex {

// The launcher of the publishing cycles: each online or offline cycle on a worker thread of
// its own, reporting through `host`.
std::unique_ptr<CycleLauncher> MakeCycleLauncher(AppState& state, Host& host, Clock& clock);

}  // namespace orvex
