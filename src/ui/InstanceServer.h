#pragma once

#include <QObject>

#include <functional>

class QLocalServer;

namespace orvex {

// Listens on the local socket named "Orvex"; a second copy of the program connects to it to
// ask this one to show its window.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    InstanceServer(std::function<void()> onShowRequest, QObject* parent = nullptr);
    bool Listen();

private:
    QLocalServer* server_;
    std::function<void()> onShowRequest_;
};

}  // namespace orvex
