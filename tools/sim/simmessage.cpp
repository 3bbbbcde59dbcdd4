#include "tools/sim/simmessage.h"

#include "messages/messagelayout.h"
#include "settings/settings.h"

QByteArray simMessage(const QString& name, int device, qint64 sequence, MessageFault fault)
{
    constexpr int dataLength = messageLength - nameFieldStart - nameFieldLength - 2;
    const QString data
        = QStringLiteral("%1%2").arg(device, 6, 10, QLatin1Char('0')).arg(sequence, 12, 10, QLatin1Char('0'));
    QString message = QStringLiteral("$08") + name.leftJustified(nameFieldLength, QLatin1Char(' '), true)
        + data.leftJustified(dataLength, QLatin1Char('0'), true) + QStringLiteral("00");

    // The server's own checksum code; it hands the computed value back only when "00" is wrong.
    int checksum = 0;
    settings_t::calcChks(message, &checksum);
    if (fault == MessageFault::BadChecksum)
        checksum = (checksum + 1) % 100;
    message.replace(messageLength - 2, 2, QStringLiteral("%1").arg(checksum, 2, 10, QLatin1Char('0')));
    if (fault == MessageFault::Short)
        message.remove(messageLength - 4, 2);
    return message.toLatin1();
}
