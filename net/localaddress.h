#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// The first address that is IPv4 and not 127.0.0.1, as text; empty when there is none.
// List order alone decides among several candidates.
QString chooseLocalAddress(const QList<QHostAddress>& addresses);
