#include "bench/devicefleet.h"

#include "settings/settings.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {

const QByteArray acknowledgement = "ok";

// An accepted message whose name field differs per device, so that each has its own daily file.
QByteArray deviceMessage(int device)
{
    const QString body = QStringLiteral("$08DEV%1").arg(device, 3, 10, QLatin1Char('0')) + QString(26, QLatin1Char(' '))
        + QString(96, QLatin1Char('5'));
    int checksum = 0;
    settings_t::calcChks(body + QStringLiteral("00"), &checksum);
    return (body + QStringLiteral("%1").arg(checksum, 2, 10, QLatin1Char('0'))).toLatin1();
}

} // namespace

DeviceFleet::DeviceFleet(quint16 port, int devices, int inFlight) : port(port), devices(devices), inFlight(inFlight) { }

void DeviceFleet::connectAll()
{
    for (int i = 0; i < devices; ++i) {
        Link link;
        link.socket = new QTcpSocket(this);
        link.message = deviceMessage(i);
        connect(link.socket, &QTcpSocket::readyRead, this, [this, i] { onReadyRead(i); });
        connect(link.socket, &QTcpSocket::connected, this,
            [this, i] { links[i].socket->write(links[i].message.repeated(inFlight)); });
        links.append(link);
        link.socket->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    }
}

void DeviceFleet::disconnectAll()
{
    for (const Link& link : std::as_const(links))
        delete link.socket;
    links.clear();
}

void DeviceFleet::onReadyRead(int index)
{
    Link& link = links[index];
    link.unmatched += link.socket->readAll().size();
    const qint64 answered = link.unmatched / acknowledgement.size();
    link.unmatched %= acknowledgement.size();
    acknowledgements += answered;
    link.socket->write(link.message.repeated(answered));
}
