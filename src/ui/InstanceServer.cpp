#include "ui/InstanceServer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>

#include "platform/SingleInstance.h"

namespace orvex {

InstanceServer::InstanceServer(std::function<void()> onShowRequest,
                               std::function<void()> onRefreshRequest, QObject* parent)
    : QObject(parent),
      server_(new QLocalServer(this)),
      onShowRequest_(std::move(onShowRequest)),
      onRefreshRequest_(std::move(onRefreshRequest)) {
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->canReadLine()) {
                Handle(socket);
                continue;
            }
            // The request line may come a moment after the connection; a second is enough for a
            // copy on the same machine.
            auto* timer = new QTimer(socket);
            timer->setSingleShot(true);
            connect(timer, &QTimer::timeout, socket, [this, socket] { Handle(socket); });
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket, timer] {
                if (socket->canReadLine()) {
                    timer->stop();
                    Handle(socket);
                }
            });
            timer->start(1000);
        }
    });
}

void InstanceServer::Handle(QLocalSocket* socket) {
    if (socket->property("handled").toBool()) {
        return;
    }
    socket->setProperty("handled", true);
    const QByteArray line = socket->canReadLine() ? socket->readLine(64).trimmed() : QByteArray();
    if (line == "refresh") {
        onRefreshRequest_();
    } else {
        onShowRequest_();
    }
    socket->disconnectFromServer();
}

bool InstanceServer::Listen() {
    const QString path = QString::fromStdString(SingleInstance::SocketPath());
    // We hold the instance lock, so a socket file left behind is stale.
    QLocalServer::removeServer(path);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    return server_->listen(path);
}

}  // namespace orvex
