#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <vector>

class QIODevice;

// What all devices of a run count together.
struct SimStats
{
    qint64 sent = 0;
    qint64 right = 0;
    qint64 wrong = 0;
    int closedByServer = 0;
    int refused = 0; // connections that the server's machine refused
    qint64 resent = 0; // messages sent again on a new connection (--reconnect)
    std::vector<qint64> latenciesNs; // of every reply that arrived and was right
    QIODevice* ackLog = nullptr;
    QElapsedTimer clock;

    void acknowledged(const QByteArray& message);
};

// The end-of-run summary, as sentences or as one JSON object.
QString summaryText(SimStats stats, int devices, double seconds, double connectMs, bool json);
