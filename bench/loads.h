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
    QStringList simArguments;
};

// Every load; lockstep ones send for `seconds`, the long run sends `longMessages` in all.
QList<Load> benchLoads(int seconds, qint64 longMessages);

// The load against the real main window, shown and started, in a working directory of its own.
struct ProgramFigures
{
    SimResult sim;
    double longestStallMs = 0;
    qint64 residentBytes = 0;
    qsizetype mostConnections = 0;
    QString storedProblem; // a data-file check that failed
};
ProgramFigures measureProgram(const Load& load);

// The same load against the bare reference server.
SimResult measureReference(const Load& load);
