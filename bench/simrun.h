#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// What one run of stilwater-sim reported.
struct SimResult
{
    int exitStatus = -1;
    QString problem; // the tool's last words when it did not end with status 0
    qint64 sent = 0;
    double rate = 0;
    double p50Ms = 0;
    double p99Ms = 0;
    double connectMs = 0;
    std::vector<std::pair<qint64, qint64>> memoryCurve; // messages sent so far, resident bytes then
};

// Runs stilwater-sim (a child process, so that its sockets do not count against this process's
// descriptors) against 127.0.0.1:`port` and keeps this event loop running until it ends.
SimResult runSim(quint16 port, const QStringList& arguments);

// This process's resident memory.
qint64 residentBytes();
