#include "bench/freeport.h"

#include <QRandomGenerator>
#include <QTcpServer>

quint16 freeServerPort()
{
    constexpr int first = 20000;
    constexpr int count = 12000; // up to 31999, below Linux's ephemeral ports (32768 on)
    const int start = QRandomGenerator::global()->bounded(count);
    for (int i = 0; i < count; ++i) {
        const auto port = static_cast<quint16>(first + (start + i) % count);
        QTcpServer probe;
        if (probe.listen(QHostAddress::Any, port))
            return port;
    }
    return 0;
}
