#include "bench/loads.h"

#include "app/mainwindow.h"
#include "bench/freeport.h"
#include "bench/stallmeters.h"
#include "bench/storedcheck.h"
#include "bench/threadcpu.h"
#include "bench/waituntil.h"
#include "settings/configfile.h"
#include "settings/settings.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>

namespace {

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

// Runs the devices of `load` against `port`; `extraArguments` adds to their arguments.
LoadResult runLoad(const Load& load, quint16 port, const QStringList& extraArguments)
{
    LoadResult result;
    result.run = runSim(load.simulated ? QStringLiteral(STILWATER_SIM) : QStringLiteral(STILWATER_DRIVE), port,
        load.devices + extraArguments);
    if (load.opensWithBurst)
        result.burstDoneMs = result.run.firstRepliesMs;
    if (result.run.exitStatus != 0)
        result.problem = result.run.problem;
    return result;
}

} // namespace

QList<Load> benchLoads(int seconds, qint64 longMessages)
{
    const QString lockstep = QString::number(seconds);
    const QString paced = QString::number(4 * seconds);
    const auto busy = [&lockstep](const char* devices, const char* idle = "0") {
        return arguments({"--devices", devices, "--idle", idle, "--seconds"}) << lockstep;
    };
    // Connecting at once, one message each, then one every ten seconds: a fleet after midnight.
    const QStringList fleet = arguments({"--every", "10", "--seconds"}) << paced;
    const QStringList tenThousand = arguments({"--devices", "10000"}) + fleet;
    const QString fleetTitle = QStringLiteral("%L1 at once, then 1 msg / 10 s");
    return {
        {QStringLiteral("1"), QStringLiteral("1 device"), busy("1")},
        {QStringLiteral("20"), QStringLiteral("20 devices"), busy("20")},
        {QStringLiteral("20nosync"), QStringLiteral("20 devices, no sync"), busy("20"), false, 0, false},
        {QStringLiteral("20x1"), QStringLiteral("20 devices, engine on 1 thread"), busy("20"), false, 1},
        {QStringLiteral("1000"), QStringLiteral("1,000 devices"), busy("1000")},
        {QStringLiteral("1000nosync"), QStringLiteral("1,000 devices, no sync"), busy("1000"), false, 0, false},
        {QStringLiteral("burst"), QStringLiteral("2,000 connect at once, 1 msg each"), arguments({"--devices", "2000"}),
            true},
        {QStringLiteral("idle1000"), QStringLiteral("20 devices + 1,000 idle"), busy("20", "1000")},
        {QStringLiteral("idle8000"), QStringLiteral("20 devices + 8,000 idle"), busy("20", "8000")},
        {QStringLiteral("10000"), fleetTitle.arg(10000), tenThousand, true},
        {QStringLiteral("10000x1"), QStringLiteral("the same, engine on 1 thread"), tenThousand, true, 1},
        {QStringLiteral("10000nosync"), QStringLiteral("the same, no sync"), tenThousand, true, 0, false},
        {QStringLiteral("19000"), fleetTitle.arg(19000), arguments({"--devices", "19000"}) + fleet, true},
        [&] {
            Load load {QStringLiteral("19000w"), QStringLiteral("the same, devices window open"),
                arguments({"--devices", "19000"}) + fleet, true};
            load.devicesWindow = true;
            return load;
        }(),
        {QStringLiteral("long"), QStringLiteral("20 devices, %L1 msgs").arg(longMessages),
            arguments({"--devices", "20", "--reply-timeout", "60000", "--json", "--messages"})
                << QString::number(longMessages / 20),
            false, 0, true, true},
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
    const settings_t settings = benchSettings(freeServerPort());
    QFile config(QStringLiteral("config.cfg"));
    if (config.open(QIODevice::WriteOnly))
        config.write(configText(settings));
    config.close();
    const QString ackLog = dir.filePath(QStringLiteral("acknowledged"));
    {
        MainWindow window(load.serverThreads);
        window.server().setDurableAcknowledgements(load.durable);
        window.show();
        EventLoopStallMeter stalls;
        // Threads that exist before Start are not the engine's.
        const std::map<qint64, ThreadCpu> before = threadCpu();
        const WakeUpLatencyMeter machine;
        QElapsedTimer sinceStart;
        sinceStart.start();
        window.findChild<QPushButton*>(QStringLiteral("start"))->click();
        if (load.devicesWindow)
            window.findChild<QAction*>(QStringLiteral("actionDevices"))->trigger();
        // Connections the program really holds: a device may see itself connected while the
        // server's kernel still waits for room in the accept queue.
        QTimer connectionCount;
        QObject::connect(&connectionCount, &QTimer::timeout, [&] {
            const qsizetype held = qsizetype(window.server().connectionCount());
            if (held > figures.mostConnections) {
                figures.mostConnections = held;
                figures.mostConnectionsAfterS = static_cast<double>(sinceStart.elapsed()) / 1000;
            }
        });
        connectionCount.start(100);
        figures.result = runLoad(load, static_cast<quint16>(settings.port),
            load.simulated ? QStringList {QStringLiteral("--ack-log"), ackLog} : QStringList());
        // The window must also take the lines of every connection ending at once.
        waitUntil(
            [&window] { return window.server().connectionCount() == 0 && window.server().lines().isEmpty(); }, 30000);
        const double seconds = static_cast<double>(sinceStart.nsecsElapsed()) / 1e9;
        const std::map<qint64, ThreadCpu> after = threadCpu();
        const QByteArray programName = after.at(mainThreadId()).name;
        for (const auto& [tid, thread] : after) {
            if (tid == mainThreadId())
                figures.windowCpu = (thread.seconds - before.at(tid).seconds) / seconds;
            // The engine's threads are plain threads, named as the program, and new since Start.
            else if (before.count(tid) == 0 && thread.name == programName)
                figures.engineCpu += thread.seconds / seconds;
        }
        figures.longestStallMs = stalls.longestMs();
        figures.longestWakeUpMs = machine.longestMs();
        figures.residentBytes = residentBytes();
    }
    qint64 acknowledged = figures.result.run.acknowledged;
    figures.storedProblem = load.simulated ? checkStoredOnce(dir.path(), {ackLog}, &acknowledged)
                                           : checkStoredCount(dir.path(), acknowledged);
    if (figures.storedProblem.isEmpty() && acknowledged == 0)
        figures.storedProblem = QStringLiteral("no message was acknowledged");
    QDir::setCurrent(previous);
    return figures;
}

LoadResult measureReference(const Load& load, quint16 port)
{
    return runLoad(load, port, QStringList());
}
