#pragma once

#include "bench/simrun.h"

#include <QList>
#include <QString>
#include <QStringList>

// One load: a name to select it by, its line in the table, and the devices that make it.
struct Load
{
    QString key;
    QString title;
    // stilwater-drive's arguments, or stilwater-sim's when `simulated`.
    QStringList devices;
    // Every device connects at once and sends its first message: its day file is created by it, as
    // for every device after midnight.
    bool opensWithBurst = false;
    unsigned serverThreads = 0; // the engine's event loops; 0: one for each core
    bool durable = true; // a message acknowledged only once its line is on the disk
    bool simulated = false; // the long run: stilwater-sim's progress gives the memory curve
    bool devicesWindow = false; // the devices window open beside the main window from the start
};

// Every load; lockstep ones send for `seconds`, paced ones four times as long, the long run sends
// `longMessages` in all.
QList<Load> benchLoads(int seconds, qint64 longMessages);

// What a load did to a server, and how long the opening burst took.
struct LoadResult
{
    SimResult run;
    double burstDoneMs = 0; // until every device had its first reply
    QString problem; // empty when every device had every reply right
};

// The load against the real main window, shown and started, in a working directory of its own.
struct ProgramFigures
{
    LoadResult result;
    double longestStallMs = 0; // of the window's thread
    double longestWakeUpMs = 0; // of an idle thread beside it: what the machine's other work costs
    double windowCpu = 0; // share of a core over the load
    double engineCpu = 0; // all the engine's threads together, in cores
    qint64 residentBytes = 0;
    qsizetype mostConnections = 0;
    double mostConnectionsAfterS = 0; // since the devices were started
    QString storedProblem; // a data-file check that failed
};
ProgramFigures measureProgram(const Load& load);

// The same load against a bare reference server listening on `port` in this process.
LoadResult measureReference(const Load& load, quint16 port);
