#pragma once

#include "tools/sim/simoptions.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// A hostile client on loopback, for checking that the server keeps serving real devices meanwhile:
// invented names, silent connections, bytes without a "$", overlong junk. It runs for --duration
// seconds, at most `maxSeconds`, over at most `maxConnections` connections, and prints what it did.
class SimAttack : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxConnections = 10000;
    static constexpr double maxSeconds = 300;

    explicit SimAttack(const SimOptions& options);
    void start();

signals:
    void ended(int exitStatus);

private:
    QTcpSocket* open();
    void tick();
    void finish();

    const SimOptions options;
    QList<QTcpSocket*> sockets;
    QTimer pace;
    QElapsedTimer clock;
    qint64 sentBytes = 0;
    qint64 names = 0;
    int opened = 0;
    int turnedAway = 0;
};
