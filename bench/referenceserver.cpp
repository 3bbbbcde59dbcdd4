#include "bench/referenceserver.h"

#include "engine/framing.h"

#include <QTcpSocket>

#include <memory>

ReferenceServer::ReferenceServer()
{
    connect(&server, &QTcpServer::newConnection, this, &ReferenceServer::accept);
    // Qt's default backlog of 50 turns a burst of connections into seconds of SYN retries.
    server.setListenBacklogSize(4096);
    server.listen(QHostAddress::LocalHost, 0);
}

void ReferenceServer::accept()
{
    while (QTcpSocket* socket = server.nextPendingConnection()) {
        auto buffer = std::make_shared<QString>();
        connect(socket, &QTcpSocket::readyRead, socket, [socket, buffer] {
            frameChunk(
                *buffer, socket->readAll(),
                [socket, buffer] {
                    socket->write("ok");
                    buffer->clear();
                    return true;
                },
                [] {});
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}
