#include "ui/GuiThreadHost.h"

#include <QObject>
#include <QSocketNotifier>

namespace orvex {

GuiThreadHost::GuiThreadHost() : receiver_(std::make_unique<QObject>()) {
    if (WakeFd() >= 0) {
        auto* notifier = new QSocketNotifier(WakeFd(), QSocketNotifier::Read, receiver_.get());
        QObject::connect(notifier, &QSocketNotifier::activated, receiver_.get(),
                         [this] { RunPending(); });
    }
}

// The notifier goes before the event counter it watches is closed.
GuiThreadHost::~GuiThreadHost() {
    receiver_.reset();
}

}  // namespace orvex
