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
    // stilwater-sim runs one after another, each of one or more processes side by side. The devices
    // of one process end their connections together when it exits.
    QList<QList<QStringList>> phases;
    // The first phase connects every device at once and sends one message each: its day file is
    // created by it, as for every device after midnight.
    bool opensWithBurst = false;
    unsigned serverThreads = 0; // the engine's event loops; 0: one for each core
    bool devicesWindow = false; // the devices window open beside the main window from the start
};

// Every load; lockstep ones send for `seconds`, paced ones four times as long, the long run sends
// `longMessages` in all.
QList<Load> benchLoads(int seconds, qint64 longMessages);

// What a load did to a server: the last phase's figures, and how long the opening burst took.
struct LoadResult
{
    SimResult last;
    double burstDoneMs = 0; // until every device had its first reply
    QString problem; // empty when every device of every phase had every reply right
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
