#include "tools/sim/simfleet.h"

#include "tools/sim/simdevice.h"

#include <QTcpSocket>
#include <QTextStream>

#include <algorithm>
#include <unistd.h>

SimFleet::SimFleet(const SimOptions& options) : options(options)
{
    expiryTimer.setInterval(std::clamp(options.replyTimeoutMs / 10, 5, 100));
    connect(&expiryTimer, &QTimer::timeout, this, [this] {
        const qint64 now = stats.clock.nsecsElapsed();
        for (SimDevice* device : std::as_const(devices))
            device->expireReplies(now);
    });
    progressTimer.setInterval(1000);
    connect(&progressTimer, &QTimer::timeout, this, &SimFleet::showProgress);
}

bool SimFleet::openAckLog(QString* reason)
{
    if (options.ackLog.isEmpty())
        return true;
    ackLog.setFileName(options.ackLog);
    if (!ackLog.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *reason = QStringLiteral("cannot write %1: %2.").arg(options.ackLog, ackLog.errorString());
        return false;
    }
    stats.ackLog = &ackLog;
    return true;
}

void SimFleet::start()
{
    stats.clock.start();
    progressTimer.start();
    for (int number = 1; number <= options.devices; ++number) {
        auto* device = new SimDevice(number, options, &stats, this);
        connect(device, &SimDevice::connected, this, &SimFleet::onConnected);
        connect(device, &SimDevice::unreachable, this, &SimFleet::onUnreachable);
        connect(device, &SimDevice::finished, this, &SimFleet::onDeviceFinished);
        devices.append(device);
        device->connectToServer();
    }
    for (int i = 0; i < options.idle; ++i) {
        auto* socket = new QTcpSocket(this);
        // An idle connection needs no watching, and thousands of watched sockets would slow every
        // pass of this event loop: a duplicate descriptor holds the connection open, and the
        // socket object goes.
        connect(socket, &QTcpSocket::connected, this, [this, socket] {
            idleDescriptors.append(::dup(static_cast<int>(socket->socketDescriptor())));
            socket->abort();
            socket->deleteLater();
            onConnected();
        });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] {
            if (connectedAtNs == 0)
                onUnreachable(socket->errorString());
        });
        socket->connectToHost(options.host, options.port);
    }
    QTimer::singleShot(options.connectTimeoutS * 1000, this, [this] {
        if (connectedAtNs == 0)
            fail(QStringLiteral("only %1 of %2 connections to %3:%4 were made within %5 s.")
                     .arg(connections)
                     .arg(options.devices + options.idle)
                     .arg(options.host)
                     .arg(options.port)
                     .arg(options.connectTimeoutS));
    });
}

void SimFleet::onConnected()
{
    if (++connections < options.devices + options.idle)
        return;
    connectedAtNs = stats.clock.nsecsElapsed();
    expiryTimer.start();
    // Paced devices are spread evenly over one interval, so that the load is steady, not in waves.
    const double spreadMs = options.rate > 0 ? 1000 / options.rate / options.devices : 0;
    for (int i = 0; i < devices.size(); ++i)
        devices.at(i)->start(static_cast<int>(i * spreadMs));
    if (options.duration > 0) {
        QTimer::singleShot(static_cast<int>(options.duration * 1000), this, [this] {
            for (SimDevice* device : std::as_const(devices))
                device->stopSending();
        });
    }
}

void SimFleet::onUnreachable(const QString& reason)
{
    fail(QStringLiteral("cannot reach %1:%2: %3.").arg(options.host).arg(options.port).arg(reason));
}

void SimFleet::fail(const QString& sentence)
{
    if (over)
        return;
    over = true;
    QTextStream(stderr) << "stilwater-sim: " << sentence << '\n';
    emit ended(2);
}

void SimFleet::onDeviceFinished()
{
    if (++finishedDevices < devices.size() || over)
        return;
    over = true;
    const double seconds = static_cast<double>(stats.clock.nsecsElapsed() - connectedAtNs) / 1e9;
    ackLog.close();
    QTextStream(stdout) << summaryText(
        stats, options.devices, seconds, static_cast<double>(connectedAtNs) / 1e6, options.json);
    emit ended(stats.wrong == 0 ? 0 : 1);
}

void SimFleet::showProgress()
{
    if (over)
        return;
    QTextStream err(stderr);
    if (connectedAtNs == 0)
        err << "connected " << connections << " of " << options.devices + options.idle << '\n';
    else
        err << "sent " << stats.sent << ", replies right " << stats.right << ", wrong " << stats.wrong << ", "
            << stats.sent - sentAtLastProgress << " messages/s\n";
    sentAtLastProgress = stats.sent;
}
