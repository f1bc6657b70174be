#include "ui/InstanceServer.h"

#include <QLocalServer>
#include <QLocalSocket>

#include "platform/SingleInstance.h"

namespace orvex {

InstanceServer::InstanceServer(std::function<void()> onShowRequest, QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), onShowRequest_(std::move(onShowRequest)) {
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            onShowRequest_();
            socket->disconnectFromServer();
        }
    });
}

bool InstanceServer::Listen() {
    const QString path = QString::fromStdString(SingleInstance::SocketPath());
    // We hold the instance lock, so a socket file left behind is stale.
    QLocalServer::removeServer(path);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    return server_->listen(path);
}

}  // namespace orvex
