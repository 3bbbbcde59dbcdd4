#include "server/clientlookup.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

void ClientLookup::add(client_t& client)
{
    client.serial = ++nextSerial;
    for (const QObject* object : {static_cast<const QObject*>(client.socket),
             static_cast<const QObject*>(client.socketTimer), static_cast<const QObject*>(client.msgTimer)})
        serialOf.insert(object, client.serial);
}

void ClientLookup::remove(const client_t& client)
{
    serialOf.remove(client.socket);
    serialOf.remove(client.socketTimer);
    serialOf.remove(client.msgTimer);
}

void ClientLookup::clear()
{
    serialOf.clear();
}

qsizetype ClientLookup::indexOf(const QList<client_t>& clients, const QObject* object) const
{
    const auto found = serialOf.constFind(object);
    if (found == serialOf.cend())
        return -1;
    const auto record = std::lower_bound(clients.cbegin(), clients.cend(), *found,
        [](const client_t& client, quint64 serial) { return client.serial < serial; });
    if (record == clients.cend() || record->serial != *found)
        return -1;
    return record - clients.cbegin();
}
