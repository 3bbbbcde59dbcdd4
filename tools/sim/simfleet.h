#pragma once

#include "tools/sim/simoptions.h"
#include "tools/sim/simstats.h"

#include <QFile>
#include <QList>
#include <QObject>
#include <QTimer>

class SimDevice;

// All devices of a run: connects them, starts them together once every connection is made, shows
// progress, and ends with the summary.
class SimFleet : public QObject
{
    Q_OBJECT

public:
    explicit SimFleet(const SimOptions& options);

    // Returns false, with the reason, when the acknowledgement log cannot be opened.
    bool openAckLog(QString* reason);
    void start();

signals:
    void ended(int exitStatus);

private:
    void onConnected();
    void onUnreachable(const QString& reason);
    void onDeviceFinished();
    void showProgress();
    void fail(const QString& sentence);

    const SimOptions options;
    SimStats stats;
    QFile ackLog;
    QList<SimDevice*> devices;
    QList<int> idleDescriptors; // closed only when the process ends
    QTimer expiryTimer;
    QTimer progressTimer;
    int connections = 0;
    int finishedDevices = 0;
    qint64 connectedAtNs = 0;
    qint64 sentAtLastProgress = 0;
    bool over = false;
};
