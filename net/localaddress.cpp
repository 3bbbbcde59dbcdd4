#include "net/localaddress.h"

QString chooseLocalAddress(const QList<QHostAddress>& addresses)
{
    for (const QHostAddress& address : addresses) {
        if (address == QHostAddress(QHostAddress::LocalHost) || address.toIPv4Address() == 0)
            continue;
        return address.toString();
    }
    return QString();
}
