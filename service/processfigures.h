#pragma once

#include <QByteArray>
#include <QtGlobal>

// The figures that Prometheus's process_* series give of every service it watches.
struct process_figures_t
{
    double startTime = 0; // seconds since the epoch
    quint64 openDescriptors = 0;
    quint64 descriptorLimit = 0;
    quint64 residentBytes = 0;
};

// The figures from the line of /proc/<pid>/stat, the boot's moment in seconds since the epoch, the
// clock's ticks per second and the page's size; the rest stay 0. The program's name in brackets
// may hold spaces and brackets of its own, so the fields are counted after its last bracket.
process_figures_t processStatFigures(const QByteArray& stat, qint64 bootTime, long ticksPerSecond, long pageSize);

// This process's figures as the system gives them now.
process_figures_t processFigures();
