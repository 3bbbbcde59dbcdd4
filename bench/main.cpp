// The load benchmark: the real main window, shown and started, against devices played by
// stilwater-drive in a child process, each load also run against two bare reference servers; see --help.

#include "bench/epollreference.h"
#include "bench/forwardbench.h"
#include "bench/hostile.h"
#include "bench/loads.h"
#include "bench/referenceserver.h"
#include "bench/synclatency.h"
#include "bench/windowedge.h"
#include "engine/openfiles.h"
#include "net/publicaddress.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QHash>
#include <QTcpServer>
#include <QTextStream>

#include <algorithm>

namespace {

QString megabytes(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(static_cast<double>(bytes) / 1e6, 0, 'f', 0);
}

QString ratio(double part, double whole)
{
    return whole > 0 ? QString::number(part / whole, 'f', 2) : QStringLiteral("-");
}

QString milliseconds(double ms)
{
    return QString::number(ms, 'f', ms < 10 ? 1 : 0);
}

// About ten points of the curve, evenly spread over the run.
void printMemoryCurve(QTextStream& out, const SimResult& run)
{
    out << "\nmemory curve of the long run (messages sent, resident memory):\n";
    const size_t points = run.memoryCurve.size();
    for (size_t i = 0; i < points; i += std::max<size_t>(1, points / 10))
        out << QStringLiteral("%L1\t%2\n").arg(run.memoryCurve[i].first).arg(megabytes(run.memoryCurve[i].second));
}

struct Measured
{
    ProgramFigures program;
    LoadResult qt;
    LoadResult epoll;
};

void printRow(QTextStream& out, const Load& load, const Measured& m)
{
    const auto rate = [](const LoadResult& r) { return QString::number(r.run.rate, 'f', 0); };
    const auto burst = [&load](const LoadResult& r) {
        return load.opensWithBurst ? QString::number(r.burstDoneMs / 1000, 'f', 2) : QStringLiteral("-");
    };
    const ProgramFigures& p = m.program;
    out << QStringList {load.title, rate(p.result), rate(m.qt), rate(m.epoll), ratio(p.result.run.rate, m.qt.run.rate),
        ratio(p.result.run.rate, m.epoll.run.rate),
        milliseconds(p.result.run.p50Ms) + QStringLiteral(" / ") + milliseconds(p.result.run.p99Ms),
        milliseconds(m.qt.run.p99Ms) + QStringLiteral(" / ") + milliseconds(m.epoll.run.p99Ms),
        burst(p.result) + QStringLiteral(" / ") + burst(m.qt) + QStringLiteral(" / ") + burst(m.epoll),
        QStringLiteral("%L1, %2 s").arg(p.mostConnections).arg(p.mostConnectionsAfterS, 0, 'f', 1),
        milliseconds(p.longestStallMs) + QStringLiteral(" / ") + milliseconds(p.longestWakeUpMs),
        QStringLiteral("%1 % / %2 %").arg(100 * p.windowCpu, 0, 'f', 0).arg(100 * p.engineCpu, 0, 'f', 0),
        megabytes(p.residentBytes)}
               .join(QStringLiteral(" | "))
        << '\n';
    out.flush();
}

// The 20 busy devices beside idle connections, against the same 20 alone.
void printIdleShare(QTextStream& out, const QHash<QString, Measured>& measured)
{
    if (!measured.contains(QStringLiteral("20")) || !measured.contains(QStringLiteral("idle8000")))
        return;
    const Measured& alone = measured[QStringLiteral("20")];
    const Measured& beside = measured[QStringLiteral("idle8000")];
    out << QStringLiteral("\nthe 20 beside 8,000 idle, share of their rate alone: program %1, Qt %2, epoll %3\n")
               .arg(ratio(beside.program.result.run.rate, alone.program.result.run.rate),
                   ratio(beside.qt.run.rate, alone.qt.run.rate), ratio(beside.epoll.run.rate, alone.epoll.run.rate));
}

// The price of durable acknowledgements, each figure a ratio of two loads of this run.
void printDurability(QTextStream& out, const QHash<QString, Measured>& measured)
{
    const auto has = [&measured](std::initializer_list<const char*> keys) {
        return std::all_of(keys.begin(), keys.end(),
            [&measured](const char* key) { return measured.contains(QString::fromLatin1(key)); });
    };
    const auto rate
        = [&measured](const char* key) { return measured[QString::fromLatin1(key)].program.result.run.rate; };
    if (!has({"20nosync"}) && !has({"1000", "1000nosync"}) && !has({"19000"}) && !has({"10000"}))
        return;
    out << "\ndurable acknowledgements (goal in brackets):\n";
    if (has({"20nosync"})) {
        out << QStringLiteral("20 devices without sync, share of the epoll server's rate: %1 (at least 0.5)\n")
                   .arg(ratio(rate("20nosync"), measured[QStringLiteral("20nosync")].epoll.run.rate));
    }
    if (has({"20", "20nosync"})) {
        out << QStringLiteral("20 devices with sync, share of their rate without: %1 (at least 0.5)\n")
                   .arg(ratio(rate("20"), rate("20nosync")));
    }
    if (has({"1000", "1000nosync"})) {
        out << QStringLiteral("1,000 devices with sync, share of their rate without: %1 (at least 0.7)\n")
                   .arg(ratio(rate("1000"), rate("1000nosync")));
    }
    if (has({"19000"})) {
        out << QStringLiteral("19,000 paced devices with sync, p99 of the replies: %1 ms (under 20 ms)\n")
                   .arg(milliseconds(measured[QStringLiteral("19000")].program.result.run.p99Ms));
    }
    if (has({"10000"})) {
        const Measured& fleet = measured[QStringLiteral("10000")];
        out << QStringLiteral("10,000 at once with sync, last first reply: %1 s, %2 times the epoll server's %3 s "
                              "(at most 1.2 times)\n")
                   .arg(fleet.program.result.burstDoneMs / 1000, 0, 'f', 2)
                   .arg(ratio(fleet.program.result.burstDoneMs, fleet.epoll.burstDoneMs))
                   .arg(fleet.epoll.burstDoneMs / 1000, 0, 'f', 2);
    }
}

void printWindowEdge(QTextStream& out, const QList<EdgeStep>& steps)
{
    out << "\nthe window fed straight through its line queue (2 lines a message):\n"
           "lines/s | lines skipped | window thread CPU\n";
    for (const EdgeStep& step : steps)
        out << QStringLiteral("%L1 | %L2 of %L3 | %4 %\n")
                   .arg(step.linesPerSecond)
                   .arg(step.skipped)
                   .arg(step.pushed)
                   .arg(100 * step.windowCpu, 0, 'f', 0);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // The program's side of 19,000 connections lives in this process.
    raiseOpenFileLimit();
    // Nothing in a measurement may leave the machine: the public-address request goes to a dead port.
    QTcpServer deadPort;
    deadPort.listen(QHostAddress::LocalHost);
    setPublicAddressServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/ip").arg(deadPort.serverPort())));
    deadPort.close();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs each load against the program, then against a bare QTcpServer and a bare epoll server, checks "
        "that every acknowledged message stands in the data files exactly once, and prints one table; then "
        "feeds the window lines at rising rates to find where it starts skipping them.\n"
        "Loads: 1, 20, 20nosync, 20x1, 1000, 1000nosync, burst, idle1000, idle8000, 10000, 10000x1, 10000nosync, "
        "19000, 19000w, long, edge, hostile, forward. "
        "Example: stilwater_bench --loads 1,20 --seconds 3"));
    parser.addHelpOption();
    const QCommandLineOption loadsOption(QStringLiteral("loads"),
        QStringLiteral("Comma-separated loads to run (default: all)."), QStringLiteral("list"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
        QStringLiteral("Seconds of each lockstep load; the paced fleets send four times as long (default 5)."),
        QStringLiteral("S"), QStringLiteral("5"));
    const QCommandLineOption longOption(QStringLiteral("long"),
        QStringLiteral("Messages of the long run (default 1000000)."), QStringLiteral("N"), QStringLiteral("1000000"));
    parser.addOptions({loadsOption, secondsOption, longOption});
    parser.process(application);

    QList<Load> loads = benchLoads(parser.value(secondsOption).toInt(), parser.value(longOption).toLongLong());
    const QStringList wanted = parser.value(loadsOption).split(QLatin1Char(','));
    if (parser.isSet(loadsOption))
        loads.removeIf([&wanted](const Load& load) { return !wanted.contains(load.key); });

    QTextStream out(stdout);
    QStringList failures;
    QHash<QString, Measured> measured;
    // Every durable figure depends on it; the loads' data files are made where this is measured.
    out << QStringLiteral("the disk's own sync (fdatasync of a message-sized append, median): %1 ms\n\n")
               .arg(milliseconds(diskSyncLatencyMs(QDir::tempPath())));
    out << "load | program msg/s | Qt msg/s | epoll msg/s | ÷Qt | ÷epoll | program p50 / p99 ms | "
           "Qt / epoll p99 ms | all first replies s (program / Qt / epoll) | held most, after | stall ms window / idle "
           "thread | "
           "CPU window / engine | resident\n";
    out.flush();
    for (const Load& load : std::as_const(loads)) {
        Measured m;
        m.program = measureProgram(load);
        {
            const ReferenceServer qt;
            m.qt = measureReference(load, qt.port());
        }
        {
            const EpollReference epoll;
            m.epoll = measureReference(load, epoll.port());
        }
        printRow(out, load, m);
        if (!m.program.result.problem.isEmpty())
            failures << load.title + QStringLiteral(", program: ") + m.program.result.problem;
        if (!m.program.storedProblem.isEmpty())
            failures << load.title + QStringLiteral(", program: ") + m.program.storedProblem;
        if (!m.qt.problem.isEmpty())
            failures << load.title + QStringLiteral(", Qt reference: ") + m.qt.problem;
        if (!m.epoll.problem.isEmpty())
            failures << load.title + QStringLiteral(", epoll reference: ") + m.epoll.problem;
        measured.insert(load.key, m);
    }
    printIdleShare(out, measured);
    printDurability(out, measured);
    if (measured.contains(QStringLiteral("long")))
        printMemoryCurve(out, measured[QStringLiteral("long")].program.result.run);
    if (!parser.isSet(loadsOption) || wanted.contains(QStringLiteral("hostile"))) {
        if (!measureHostile(out, parser.value(secondsOption).toInt()))
            failures << QStringLiteral("hostile");
    }
    if (!parser.isSet(loadsOption) || wanted.contains(QStringLiteral("forward"))) {
        if (!measureForward(out, parser.value(secondsOption).toInt()))
            failures << QStringLiteral("forward");
    }
    if (!parser.isSet(loadsOption) || wanted.contains(QStringLiteral("edge"))) {
        printWindowEdge(out,
            measureWindowEdge({1000, 1400, 2000, 2800, 4000, 5600, 8000, 11000, 16000, 22000, 32000, 45000}, 2000));
    }
    for (const QString& failure : std::as_const(failures))
        out << "FAILED: " << failure << '\n';
    return failures.isEmpty() ? 0 : 1;
}
