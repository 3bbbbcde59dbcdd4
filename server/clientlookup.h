#pragma once

#include "settings/settings.h"

#include <QHash>

// Finds the record of a connection from its socket or one of its timers. With thousands of devices
// connected, walking the list for every received chunk and every timer would make each message cost
// in proportion to the number of connections.
class ClientLookup
{
public:
    // Gives a record the next serial number, before it is appended to the list: the list stays
    // sorted by serial, in the order in which the connections were accepted.
    void add(client_t& client);
    void remove(const client_t& client);
    void clear();

    // The index in `clients` of the record that `object` (its socket or a timer) belongs to, or -1.
    qsizetype indexOf(const QList<client_t>& clients, const QObject* object) const;

private:
    QHash<const QObject*, quint64> serialOf;
    quint64 nextSerial = 0;
};
