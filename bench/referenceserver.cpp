#include "bench/referenceserver.h"

#include "server/framing.h"

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
            for (const char byte : socket->readAll()) {
                const QChar character = QChar::fromLatin1(byte);
                switch (frameStep(*buffer, character)) {
                case FrameStep::Drop:
                    break;
                case FrameStep::Append:
                    *buffer += character;
                    break;
                case FrameStep::AppendCompletes:
                    socket->write("ok");
                    buffer->clear();
                    break;
                case FrameStep::HandOverAndStart:
                    socket->write("ok");
                    *buffer = character;
                    break;
                case FrameStep::Start:
                    *buffer = character;
                    break;
                }
            }
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}
