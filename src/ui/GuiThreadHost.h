#pragma once

#include <memory>

#include "platform/HandOverHost.h"

class QObject;

namespace orvex {

// The Host the publishing cycles report through, from any thread: a HandOverHost owned by the
// window's thread, whose waiting calls the window's event loop runs when the event counter
// becomes readable. Create it on the window's thread and let it outlive the window.
class GuiThreadHost : public HandOverHost {
public:
    GuiThreadHost();
    ~GuiThreadHost() override;

private:
    // Owns the notifier that watches the event counter.
    std::unique_ptr<QObject> receiver_;
};

}  // namespace orvex
