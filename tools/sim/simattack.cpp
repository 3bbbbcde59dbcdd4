#include "tools/sim/simattack.h"

#include "tools/sim/simmessage.h"

#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTextStream>

namespace {

// What one connection may have waiting to leave: the attacker keeps its pace, not its host's.
constexpr qint64 writeBacklog = 64 * 1024;
constexpr int tickMs = 10;

} // namespace

SimAttack::SimAttack(const SimOptions& options) : options(options)
{
    pace.setInterval(tickMs);
    connect(&pace, &QTimer::timeout, this, &SimAttack::tick);
}

void SimAttack::start()
{
    clock.start();
    // Silent connections are all opened at once; the other kinds keep `attackConnections` busy.
    for (int i = 0; i < options.attackConnections; ++i)
        sockets.append(open());
    pace.start();
}

QTcpSocket* SimAttack::open()
{
    auto* socket = new QTcpSocket(this);
    if (!options.sourceAddresses.isEmpty())
        socket->bind(QHostAddress(options.sourceAddresses.first()));
    // Replies are read and thrown away, so that the server's writes never stall on the attacker.
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::ConnectionRefusedError || error == QAbstractSocket::RemoteHostClosedError)
            ++turnedAway;
    });
    socket->connectToHost(options.host, options.port);
    ++opened;
    return socket;
}

void SimAttack::tick()
{
    const double seconds = double(clock.elapsed()) / 1000;
    if (seconds >= std::min(options.duration, maxSeconds) || opened >= maxConnections) {
        finish();
        return;
    }
    // The budget of this moment: whatever the rate allows since the start, spread over the connections.
    const double allowed = options.attackRate > 0 ? options.attackRate * seconds : 1e18;
    for (QTcpSocket*& socket : sockets) {
        if (socket->state() == QAbstractSocket::UnconnectedState && options.attack != SimOptions::Attack::Silent) {
            socket->deleteLater();
            socket = open();
            continue;
        }
        if (socket->state() != QAbstractSocket::ConnectedState || socket->bytesToWrite() > writeBacklog)
            continue;
        switch (options.attack) {
        case SimOptions::Attack::None:
        case SimOptions::Attack::Silent:
            break;
        case SimOptions::Attack::Names:
            while (double(names) < allowed && socket->bytesToWrite() <= writeBacklog) {
                const QString name = QStringLiteral("X%1").arg(QRandomGenerator::global()->generate64(), 0, 36);
                sentBytes += socket->write(simMessage(name, 0, ++names, MessageFault::None));
            }
            break;
        case SimOptions::Attack::Endless:
        case SimOptions::Attack::Junk: {
            // Endless: never a "$", so nothing ever begins a message; junk: a "$" and far too much after it.
            const char filler = options.attack == SimOptions::Attack::Endless ? 'A' : '7';
            const qint64 due
                = std::min<qint64>(writeBacklog, qint64(allowed / sockets.size()) - sentBytes / sockets.size());
            if (due <= 0)
                break;
            QByteArray bytes(due, filler);
            if (options.attack == SimOptions::Attack::Junk)
                for (qsizetype at = 0; at < bytes.size(); at += 1000)
                    bytes[at] = '$';
            sentBytes += socket->write(bytes);
            break;
        }
        }
    }
}

void SimAttack::finish()
{
    pace.stop();
    QTextStream(stdout) << "connections " << opened << ", refused or closed by the server " << turnedAway << ", names "
                        << names << ", bytes " << sentBytes << ", seconds " << double(clock.elapsed()) / 1000 << '\n';
    emit ended(0);
}
