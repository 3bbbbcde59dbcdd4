#include "bench/loads.h"

#include "app/mainwindow.h"
#include "bench/referenceserver.h"
#include "bench/storedcheck.h"
#include "recording/dailyfile.h"
#include "settings/configfile.h"
#include "settings/settings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>

namespace {

// The largest lateness of a 10 ms timer: how long the event loop was kept from its work.
class StallMeter
{
public:
    StallMeter()
    {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            longestNs = std::max(longestNs, clock.nsecsElapsed() - periodMs * qint64(1000000));
            clock.restart();
        });
        clock.start();
        timer.start(periodMs);
    }
    double longestMs() const { return static_cast<double>(longestNs) / 1e6; }

private:
    static constexpr int periodMs = 10;
    QTimer timer;
    QElapsedTimer clock;
    qint64 longestNs = 0;
};

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// The program's defaults with the given port and a socket timeout far beyond any run.
settings_t benchSettings(quint16 port)
{
    settings_t settings;
    settings.port = port;
    settings.socket_timeout = 86400;
    return settings;
}

QStringList arguments(std::initializer_list<const char*> words)
{
    QStringList list;
    for (const char* word : words)
        list << QString::fromLatin1(word);
    return list;
}

} // namespace

QList<Load> benchLoads(int seconds, qint64 longMessages)
{
    const QString lockstep = QString::number(seconds);
    const QString paced = QString::number(4 * seconds);
    return {
        {QStringLiteral("1"), QStringLiteral("1 device"), arguments({"--devices", "1", "--duration"}) << lockstep},
        {QStringLiteral("20"), QStringLiteral("20 devices"), arguments({"--devices", "20", "--duration"}) << lockstep},
        {QStringLiteral("burst"), QStringLiteral("2,000 connect at once, 1 msg each"),
            arguments({"--devices", "2000", "--messages", "1"})},
        {QStringLiteral("idle1000"), QStringLiteral("20 devices + 1,000 idle"),
            arguments({"--devices", "20", "--idle", "1000", "--duration"}) << lockstep},
        {QStringLiteral("idle8000"), QStringLiteral("20 devices + 8,000 idle"),
            arguments({"--devices", "20", "--idle", "8000", "--duration"}) << lockstep},
        {QStringLiteral("10000"), QStringLiteral("10,000 devices, 1 msg / 10 s"),
            arguments({"--devices", "10000", "--rate", "0.1", "--duration"}) << paced, 10000},
        {QStringLiteral("long"), QStringLiteral("20 devices, %L1 msgs").arg(longMessages),
            arguments({"--devices", "20", "--messages"}) << QString::number(longMessages / 20)},
    };
}

ProgramFigures measureProgram(const Load& load)
{
    // Memory freed by the loads before goes back to the system, so that each starts from the same ground.
    malloc_trim(0);
    ProgramFigures figures;
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const settings_t settings = benchSettings(freeLoopbackPort());
    QFile config(QStringLiteral("config.cfg"));
    if (config.open(QIODevice::WriteOnly))
        config.write(configText(settings));
    config.close();
    const QString ackLog = dir.filePath(QStringLiteral("acknowledged"));
    for (int device = 1; device <= load.dayFilesInPlace; ++device) {
        // The simulator names device k "SIM" followed by k.
        QFile(dailyFileName(settings.file, QStringLiteral("SIM%1").arg(device), QDate::currentDate()))
            .open(QIODevice::WriteOnly);
    }
    {
        MainWindow window;
        window.show();
        window.findChild<QPushButton*>(QStringLiteral("start"))->click();
        StallMeter stalls;
        // Connections the program really holds: a device may see itself connected while the
        // server's kernel still waits for room in the accept queue.
        QTimer connectionCount;
        QElapsedTimer sinceStart;
        QObject::connect(&connectionCount, &QTimer::timeout, [&] {
            const qsizetype held = qsizetype(window.server().connectionCount());
            if (held > figures.mostConnections) {
                figures.mostConnections = held;
                figures.mostConnectionsAfterS = static_cast<double>(sinceStart.elapsed()) / 1000;
            }
        });
        sinceStart.start();
        connectionCount.start(100);
        figures.sim = runSim(
            static_cast<quint16>(settings.port), load.simArguments + QStringList {QStringLiteral("--ack-log"), ackLog});
        figures.longestStallMs = stalls.longestMs();
        figures.residentBytes = residentBytes();
    }
    qint64 acknowledged = 0;
    figures.storedProblem = checkStoredOnce(dir.path(), ackLog, &acknowledged);
    if (figures.storedProblem.isEmpty() && acknowledged == 0)
        figures.storedProblem = QStringLiteral("no message was acknowledged");
    QDir::setCurrent(previous);
    return figures;
}

SimResult measureReference(const Load& load)
{
    ReferenceServer server;
    return runSim(server.port(), load.simArguments);
}
