#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// What one or more stilwater-sim processes, run side by side, reported.
struct SimResult
{
    int exitStatus = 0; // the first that was not 0, if any
    QString problem; // the tools' last words when one did not end with status 0
    qint64 sent = 0;
    double rate = 0; // all processes together
    double p50Ms = 0; // the largest of the processes'
    double p99Ms = 0; // the largest of the processes'
    double connectMs = 0; // until the last process had all its connections
    double doneMs = 0; // since the start, until the last device of the last process had its last reply
    std::vector<std::pair<qint64, qint64>> memoryCurve; // the first process's messages sent, resident bytes then
};

// Runs one stilwater-sim per argument list side by side (child processes, so that their sockets do
// not count against this process's descriptors, nor each other's) against 127.0.0.1:`port`, and
// keeps this event loop running until all have ended.
SimResult runSims(quint16 port, const QList<QStringList>& processes);

// This process's resident memory.
qint64 residentBytes();
