#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// What a device process (stilwater-drive, or stilwater-sim for the long run) reported.
struct SimResult
{
    int exitStatus = 0;
    QString problem; // the tool's last words when it did not end with status 0
    qint64 acknowledged = 0; // counted by stilwater-drive; stilwater-sim logs them instead
    double rate = 0;
    double p50Ms = 0;
    double p99Ms = 0;
    double firstRepliesMs = 0; // since the start, until every device had its first reply
    std::vector<std::pair<qint64, qint64>> memoryCurve; // stilwater-sim's messages sent, resident bytes then
};

// Runs `program` with `arguments` and the port 127.0.0.1:`port` as a child process (so that its
// sockets do not count against this process's descriptors), and keeps this event loop running until
// it has ended.
SimResult runSim(const QString& program, quint16 port, const QStringList& arguments);

// This process's resident memory.
qint64 residentBytes();
