#include "bench/simrun.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

qint64 residentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

SimResult runSim(quint16 port, const QStringList& arguments)
{
    SimResult result;
    QProcess sim;
    QByteArray errors;
    // The tool's progress lines come once a second: each gives a point of the memory curve.
    QObject::connect(&sim, &QProcess::readyReadStandardError, [&] {
        errors += sim.readAllStandardError();
        qsizetype end = 0;
        while ((end = errors.indexOf('\n')) >= 0) {
            const QByteArray line = errors.left(end);
            if (line.startsWith("sent "))
                result.memoryCurve.emplace_back(line.mid(5, line.indexOf(',') - 5).toLongLong(), residentBytes());
            else
                result.problem = QString::fromLocal8Bit(line);
            errors.remove(0, end + 1);
        }
    });
    QEventLoop loop;
    QObject::connect(&sim, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&sim, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    // A late reply is slow, not wrong: the latency figures show it.
    sim.start(QStringLiteral(STILWATER_SIM),
        arguments
            + QStringList {QStringLiteral("--port"), QString::number(port), QStringLiteral("--reply-timeout"),
                QStringLiteral("60000"), QStringLiteral("--json")});
    loop.exec();

    if (sim.error() == QProcess::FailedToStart) {
        result.problem = sim.errorString();
        return result;
    }
    result.exitStatus = sim.exitStatus() == QProcess::NormalExit ? sim.exitCode() : -1;
    const QJsonObject summary = QJsonDocument::fromJson(sim.readAllStandardOutput()).object();
    result.sent = summary.value(QStringLiteral("sent")).toInteger();
    result.rate = summary.value(QStringLiteral("rate")).toDouble();
    result.p50Ms = summary.value(QStringLiteral("p50_ms")).toDouble();
    result.p99Ms = summary.value(QStringLiteral("p99_ms")).toDouble();
    result.connectMs = summary.value(QStringLiteral("connect_ms")).toDouble();
    if (result.exitStatus == 1)
        result.problem
            = QStringLiteral("%1 replies wrong or missing after a minute, %2 connections closed by the server")
                  .arg(summary.value(QStringLiteral("wrong")).toInteger())
                  .arg(summary.value(QStringLiteral("closed_by_server")).toInteger());
    return result;
}
