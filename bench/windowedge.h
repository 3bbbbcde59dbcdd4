#pragma once

#include <QList>
#include <QtGlobal>

// One step of feeding the message window straight through its engine's line queue, without devices.
struct EdgeStep
{
    int linesPerSecond = 0;
    qint64 pushed = 0;
    qint64 skipped = 0; // counted in the window's "… N sor kihagyva …" lines
    double windowCpu = 0; // share of a core, over the step and until the window had shown it
};

// Feeds a shown main window message lines at each rate in turn, for `stepMs` each: where the window
// starts to skip lines is the edge of its CPU budget.
QList<EdgeStep> measureWindowEdge(const QList<int>& linesPerSecond, int stepMs);
