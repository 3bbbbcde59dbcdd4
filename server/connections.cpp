#include "app/mainwindow.h"
#include "server/acceptguard.h"
#include "server/framing.h"
#include "server/readpacer.h"
#include "server/timerinterval.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// How long a connection that the server has closed may take to deliver its last replies. A device
// that does not read them would otherwise keep its socket, descriptor and record for good.
constexpr int closeGraceMilliseconds = 3000;

QString endOfConnectionText(int closeReason)
{
    switch (closeReason) {
    case 1:
        return MainWindow::tr("A kapcsolatot a szerver bontotta.");
    case 2:
        return MainWindow::tr("A kapcsolatot a szerver bontotta. (Timeout)");
    default:
        return MainWindow::tr("A kapcsolatot a kliens bontotta.");
    }
}

void release(QTimer* timer)
{
    timer->stop();
    // It may be the very timer whose timeout() is being delivered.
    timer->deleteLater();
}

} // namespace

QString MainWindow::peerLine(const QTcpSocket* socket, const QString& body) const
{
    return settings.timeStamp() + QLatin1Char('[') + socket->peerAddress().toString() + QStringLiteral("] ") + body;
}

void MainWindow::onNewConnection()
{
    // Thousands of devices connecting at once are taken over several passes of the event loop;
    // the rest wait in the listen queue meanwhile.
    while (settings.server && settings.server->hasPendingConnections()) {
        if (!readPacer->passHasTime()) {
            if (!acceptDeferred) {
                acceptDeferred = true;
                QTimer::singleShot(0, this, [this] {
                    acceptDeferred = false;
                    onNewConnection();
                });
            }
            return;
        }
        takeConnection();
    }
}

void MainWindow::takeConnection()
{
    client_t client;
    client.socket = settings.server->nextPendingConnection();
    if (!acceptGuard->admits(client.socket)) {
        client.socket->abort();
        client.socket->deleteLater();
        return;
    }

    client.socketTimer = new QTimer;
    // Each connection names its own objects: sender() would walk every connection the window has.
    connect(client.socketTimer, &QTimer::timeout, this, [this, timer = client.socketTimer] { onSocketTimeout(timer); });
    if (const std::optional<int> interval = timerInterval(settings.socket_timeout))
        client.socketTimer->start(*interval);

    client.msgTimer = new QTimer;
    client.msgTimer->setInterval(timerInterval(settings.msg_timeout).value_or(0));
    connect(client.msgTimer, &QTimer::timeout, this, [this, timer = client.msgTimer] { onMsgTimeout(timer); });

    connect(client.socket, &QTcpSocket::readyRead, this, [this, socket = client.socket] { onReadyRead(socket); });
    connect(client.socket, &QTcpSocket::disconnected, this, [this, socket = client.socket] { onDisconnected(socket); });
    clientLookup.add(client);
    settings.clients.append(client);
    appendText(peerLine(client.socket, tr("Új kapcsolat.")) + QLatin1Char('\n'));
}

void MainWindow::onReadyRead(QTcpSocket* socket)
{
    if (readPacer->readsNow(socket))
        readFrom(socket);
}

void MainWindow::readFrom(QTcpSocket* socket)
{
    const QByteArray received = socket->readAll();
    const int index = clientLookup.indexOf(settings.clients, socket);
    if (index < 0)
        return;
    // Framing never changes the list (handleMsg opens no dialog and closes nothing), so the record
    // stays where it is for the whole chunk.
    client_t* client = &settings.clients[index];
    frameChunk(
        client->buffer, received, [this, client] { handleMsg(client); }, [client] { client->msgTimer->start(); });
}

void MainWindow::onMsgTimeout(QTimer* timer)
{
    timer->stop();
    const int index = clientLookup.indexOf(settings.clients, timer);
    if (index < 0)
        return;
    handleMsg(&settings.clients[index]);
}

void MainWindow::onSocketTimeout(QTimer* timer)
{
    timer->stop();
    const int index = clientLookup.indexOf(settings.clients, timer);
    if (index < 0)
        return;
    client_t& client = settings.clients[index];
    client.closeReason = 2;
    // A socket with unsent output ends only later; the half-received message is lost either way.
    client.msgTimer->stop();
    QTcpSocket* socket = client.socket;
    // close() may report the end at once and remove the record: `client` is not used after it.
    socket->close();
    if (socket->state() != QAbstractSocket::UnconnectedState)
        QTimer::singleShot(closeGraceMilliseconds, socket, &QTcpSocket::abort);
}

void MainWindow::onDisconnected(QTcpSocket* socket)
{
    // What the device sent before it hung up is still handled, also when it had to wait its turn.
    if (readPacer->forget(socket))
        readFrom(socket);
    const int index = clientLookup.indexOf(settings.clients, socket);
    if (index < 0)
        return;
    endConnection(index);
}

void MainWindow::endConnection(int index)
{
    const client_t client = settings.clients.at(index);
    appendText(peerLine(client.socket, endOfConnectionText(client.closeReason)) + QStringLiteral("\n\n"));
    release(client.msgTimer);
    release(client.socketTimer);
    clientLookup.remove(client);
    readPacer->forget(client.socket);
    settings.clients.removeAt(index);
    acceptGuard->connectionEnded();
    // Devices reconnect all day; an ended connection must not keep its socket until the next stop.
    client.socket->deleteLater();
}
