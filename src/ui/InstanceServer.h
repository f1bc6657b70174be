#pragma once

#include <QObject>

#include <functional>

class QLocalServer;
class QLocalSocket;

namespace orvex {

// Listens on the local socket named "Orvex"; a second copy of the program connects to it to
// ask this one to show its window ("show") or to refresh ("refresh"). A caller that says
// nothing within a second, or something else, asks to be shown.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    InstanceServer(std::function<void()> onShowRequest, std::function<void()> onRefreshRequest,
                   QObject* parent = nullptr);
    bool Listen();

private:
    void Handle(QLocalSocket* socket);

    QLocalServer* server_;
    std::function<void()> onShowRequest_;
    std::function<void()> onRefreshRequest_;
};

}  // namespace orvex
