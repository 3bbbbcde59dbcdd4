// The load benchmark: the real main window, shown and started, against devices simulated by
// stilwater-sim in a child process, each load also run against a bare reference server; see --help.

#include "bench/loads.h"
#include "net/publicaddress.h"
#include "engine/openfiles.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTcpServer>
#include <QTextStream>

namespace {

QString megabytes(qint64 bytes)
{
    return QStringLiteral("%1 MB").arg(static_cast<double>(bytes) / 1e6, 0, 'f', 0);
}

// About ten points of the curve, evenly spread over the run.
void printMemoryCurve(QTextStream& out, const SimResult& run)
{
    out << "\nmemory curve of the long run (messages sent, resident memory):\n";
    const size_t points = run.memoryCurve.size();
    for (size_t i = 0; i < points; i += std::max<size_t>(1, points / 10))
        out << QStringLiteral("%L1\t%2\n").arg(run.memoryCurve[i].first).arg(megabytes(run.memoryCurve[i].second));
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // The program's side of 10,000 connections lives in this process.
    raiseOpenFileLimit();
    // Nothing in a measurement may leave the machine: the public-address request goes to a dead port.
    QTcpServer deadPort;
    deadPort.listen(QHostAddress::LocalHost);
    setPublicAddressServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/ip").arg(deadPort.serverPort())));
    deadPort.close();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs each load against the program and then against a bare reference server, checks that every "
        "acknowledged message stands in the data files exactly once, and prints one table.\n"
        "Loads: 1, 20, burst, idle1000, idle8000, 10000, long. Example: stilwater_bench --loads 1,20 --seconds 3"));
    parser.addHelpOption();
    const QCommandLineOption loadsOption(QStringLiteral("loads"),
        QStringLiteral("Comma-separated loads to run (default: all)."), QStringLiteral("list"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
        QStringLiteral("Seconds of each lockstep load; the paced 10,000 devices send four times as long (default 5)."),
        QStringLiteral("S"), QStringLiteral("5"));
    const QCommandLineOption longOption(QStringLiteral("long"),
        QStringLiteral("Messages of the long run (default 1000000)."), QStringLiteral("N"), QStringLiteral("1000000"));
    parser.addOptions({loadsOption, secondsOption, longOption});
    parser.process(application);

    QList<Load> loads = benchLoads(parser.value(secondsOption).toInt(), parser.value(longOption).toLongLong());
    if (parser.isSet(loadsOption)) {
        const QStringList wanted = parser.value(loadsOption).split(QLatin1Char(','));
        loads.removeIf([&wanted](const Load& load) { return !wanted.contains(load.key); });
    }

    QTextStream out(stdout);
    QStringList failures;
    SimResult longRun;
    out << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9\n")
               .arg(QStringLiteral("load"), -34)
               .arg(QStringLiteral("program msg/s"), 13)
               .arg(QStringLiteral("reference msg/s"), 15)
               .arg(QStringLiteral("ratio"), 5)
               .arg(QStringLiteral("reply p50/p99 ms"), 16)
               .arg(QStringLiteral("connect ms"), 10)
               .arg(QStringLiteral("held most, after"), 16)
               .arg(QStringLiteral("stall ms"), 8)
               .arg(QStringLiteral("resident"), 8);
    out.flush();
    for (const Load& load : std::as_const(loads)) {
        const ProgramFigures program = measureProgram(load);
        const SimResult reference = measureReference(load);
        out << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9\n")
                   .arg(load.title, -34)
                   .arg(program.sim.rate, 13, 'f', 0)
                   .arg(reference.rate, 15, 'f', 0)
                   .arg(reference.rate > 0 ? program.sim.rate / reference.rate : 0, 5, 'f', 2)
                   .arg(QStringLiteral("%1 / %2").arg(program.sim.p50Ms, 0, 'f', 1).arg(program.sim.p99Ms, 0, 'f', 1),
                       16)
                   .arg(program.sim.connectMs, 10, 'f', 0)
                   .arg(QStringLiteral("%1, %2 s")
                            .arg(program.mostConnections)
                            .arg(program.mostConnectionsAfterS, 0, 'f', 1),
                       16)
                   .arg(program.longestStallMs, 8, 'f', 0)
                   .arg(megabytes(program.residentBytes), 8);
        out.flush();
        if (program.sim.exitStatus != 0)
            failures << load.title + QStringLiteral(", program: ") + program.sim.problem;
        else if (!program.storedProblem.isEmpty())
            failures << load.title + QStringLiteral(", program: ") + program.storedProblem;
        if (reference.exitStatus != 0)
            failures << load.title + QStringLiteral(", reference: ") + reference.problem;
        if (load.key == QLatin1String("long"))
            longRun = program.sim;
    }
    if (!longRun.memoryCurve.empty())
        printMemoryCurve(out, longRun);
    for (const QString& failure : std::as_const(failures))
        out << "FAILED: " << failure << '\n';
    return failures.isEmpty() ? 0 : 1;
}
