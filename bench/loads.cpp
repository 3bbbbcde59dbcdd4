#include "bench/loads.h"

#include "app/mainwindow.h"
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
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>

namespace {

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

// `devices` in `processes` stilwater-sims side by side, named apart so that their files and
// messages stay apart; `then` are the remaining arguments of each.
QList<QStringList> split(int devices, int processes, const QStringList& then)
{
    QList<QStringList> sims;
    for (int i = 0; i < processes; ++i) {
        sims << QStringList {QStringLiteral("--devices"), QString::number(devices / processes),
                    QStringLiteral("--name-prefix"), QStringLiteral("SIM%1-").arg(QChar(u'A' + i))}
                + then;
    }
    return sims;
}

// Connecting at once, one message each, then one every ten seconds: a fleet after midnight. The
// devices are spread over four simulators: one Qt event loop watching thousands of sockets would
// measure itself rather than the server.
Load fleet(const QString& key, const QString& title, int devices, const QString& paced)
{
    constexpr int simulators = 4;
    return {key, title,
        {split(devices, simulators, arguments({"--messages", "1"})),
            split(devices, simulators, arguments({"--rate", "0.1", "--duration"}) << paced)},
        true};
}

// Runs the phases of `load` against `port`, one after another. `extraArguments` adds to the arguments
// of each process of a phase; `afterPhase` is called once a phase's processes have all ended.
LoadResult runLoad(const Load& load, quint16 port,
    const std::function<QStringList(qsizetype phase, qsizetype process)>& extraArguments,
    const std::function<void()>& afterPhase)
{
    LoadResult result;
    for (qsizetype phase = 0; phase < load.phases.size(); ++phase) {
        QList<QStringList> processes = load.phases[phase];
        for (qsizetype process = 0; process < processes.size(); ++process)
            processes[process] += extraArguments(phase, process);
        result.last = runSims(port, processes);
        if (phase == 0 && load.opensWithBurst)
            result.burstDoneMs = result.last.doneMs;
        if (result.last.exitStatus != 0)
            result.problem += (result.problem.isEmpty() ? QString() : QStringLiteral("; ")) + result.last.problem;
        afterPhase();
    }
    return result;
}

} // namespace

QList<Load> benchLoads(int seconds, qint64 longMessages)
{
    const QString lockstep = QString::number(seconds);
    const QString paced = QString::number(4 * seconds);
    const QStringList twenty = arguments({"--devices", "20", "--duration"}) << lockstep;
    return {
        {QStringLiteral("1"), QStringLiteral("1 device"), {{arguments({"--devices", "1", "--duration"}) << lockstep}}},
        {QStringLiteral("20"), QStringLiteral("20 devices"), {{twenty}}},
        {QStringLiteral("20x1"), QStringLiteral("20 devices, engine on 1 thread"), {{twenty}}, false, 1},
        {QStringLiteral("burst"), QStringLiteral("2,000 connect at once, 1 msg each"),
            {{arguments({"--devices", "2000", "--messages", "1"})}}, true},
        {QStringLiteral("idle1000"), QStringLiteral("20 devices + 1,000 idle"),
            {{arguments({"--devices", "20", "--idle", "1000", "--duration"}) << lockstep}}},
        {QStringLiteral("idle8000"), QStringLiteral("20 devices + 8,000 idle"),
            {{arguments({"--devices", "20", "--idle", "8000", "--duration"}) << lockstep}}},
        fleet(QStringLiteral("10000"), QStringLiteral("10,000 at once, then 1 msg / 10 s"), 10000, paced),
        [&] {
            Load load = fleet(QStringLiteral("10000x1"), QStringLiteral("the same, engine on 1 thread"), 10000, paced);
            load.serverThreads = 1;
            return load;
        }(),
        fleet(QStringLiteral("19000"), QStringLiteral("19,000 at once, then 1 msg / 10 s"), 19000, paced),
        [&] {
            Load load = fleet(QStringLiteral("19000w"), QStringLiteral("the same, devices window open"), 19000, paced);
            load.devicesWindow = true;
            return load;
        }(),
        {QStringLiteral("long"), QStringLiteral("20 devices, %L1 msgs").arg(longMessages),
            {{arguments({"--devices", "20", "--messages"}) << QString::number(longMessages / 20)}}},
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
    QStringList ackLogs;
    {
        MainWindow window(load.serverThreads);
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
        // After each phase the window must also take the lines of every connection ending at once.
        const auto allEndedAndShown = [&window] {
            waitUntil([&window] { return window.server().connectionCount() == 0 && window.server().lines().isEmpty(); },
                30000);
        };
        figures.result = runLoad(
            load, static_cast<quint16>(settings.port),
            [&](qsizetype phase, qsizetype process) {
                ackLogs << dir.filePath(QStringLiteral("acknowledged-%1-%2").arg(phase).arg(process));
                return QStringList {QStringLiteral("--ack-log"), ackLogs.last()};
            },
            allEndedAndShown);
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
    qint64 acknowledged = 0;
    figures.storedProblem = checkStoredOnce(dir.path(), ackLogs, &acknowledged);
    if (figures.storedProblem.isEmpty() && acknowledged == 0)
        figures.storedProblem = QStringLiteral("no message was acknowledged");
    QDir::setCurrent(previous);
    return figures;
}

LoadResult measureReference(const Load& load, quint16 port)
{
    return runLoad(
        load, port, [](qsizetype, qsizetype) { return QStringList(); }, [] {});
}
