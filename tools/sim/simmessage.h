#pragma once

#include <QByteArray>
#include <QString>

enum class MessageFault {
    None,
    BadChecksum, // the checksum digits one more than they should be
    Short, // two data characters missing, so that a line feed after it cannot make up the length
};

// One device message: "$08", the name field, 96 digits beginning with the device and sequence
// numbers (so that every message sent in a run is different), and the checksum.
QByteArray simMessage(const QString& name, int device, qint64 sequence, MessageFault fault);
