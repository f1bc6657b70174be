#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace orvex {

// Listens on the local socket named "Orvex"; a second copy of the program connects to it to
// ask this one to show its window ("show") or to refresh ("refresh"). A caller that says
// nothing within a second, or something else, asks to be shown; one that hangs up before its
// line is complete asks nothing. A plain Unix socket watched by the event loop: the toolkit's
// network library (and what it loads) is not needed for one line.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    InstanceServer(std::function<void()> onShowRequest, std::function<void()> onRefreshRequest,
                   QObject* parent = nullptr);
    ~InstanceServer() override;
    bool Listen();

private:
    void Accept();
    void Handle(const QByteArray& line);

    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> onShowRequest_;
    std::function<void()> onRefreshRequest_;
};

}  // namespace orvex
