#include "messages/messagelayout.h"
#include "settings/settings.h"

#include <algorithm>

int settings_t::calcChks(const QString& message, int* computed)
{
    if (!message.startsWith(QLatin1Char('$')))
        return verdict::noLeadingDollar;
    if (message.size() != messageLength)
        return verdict::wrongLength;
    // No device's data holds control characters. Stored, a line feed would forge a line of its own
    // in the data file, an escape sequence would drive the terminal of whoever reads it.
    if (std::any_of(message.cbegin(), message.cend(), isControlCharacter))
        return verdict::controlCharacter;

    // Devices sum in one byte: only the low 8 bits of the total count.
    quint8 sum = 0;
    for (int i = 1; i < messageLength - 2; ++i)
        sum += static_cast<quint8>(message.at(i).toLatin1());
    const int checksum = sum % 100;

    if (message.right(2).toInt(nullptr, 10) == checksum)
        return verdict::accepted;
    *computed = checksum;
    return verdict::checksumError;
}
