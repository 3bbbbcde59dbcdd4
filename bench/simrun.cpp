#include "bench/simrun.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <memory>

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

namespace {

struct OneSim
{
    QProcess process;
    QByteArray errors;
    QString problem;
};

void addSummary(SimResult& result, OneSim& sim)
{
    int status = -1;
    if (sim.process.error() == QProcess::FailedToStart)
        sim.problem = sim.process.errorString();
    else if (sim.process.exitStatus() == QProcess::NormalExit)
        status = sim.process.exitCode();
    const QJsonObject summary = QJsonDocument::fromJson(sim.process.readAllStandardOutput()).object();
    if (status == 1)
        sim.problem = QStringLiteral("%1 replies wrong or missing after a minute, %2 connections closed by the server")
                          .arg(summary.value(QStringLiteral("wrong")).toInteger())
                          .arg(summary.value(QStringLiteral("closed_by_server")).toInteger());
    if (status != 0 && result.exitStatus == 0)
        result.exitStatus = status;
    if (status != 0)
        result.problem += (result.problem.isEmpty() ? QString() : QStringLiteral("; ")) + sim.problem;
    const double connectMs = summary.value(QStringLiteral("connect_ms")).toDouble();
    result.sent += summary.value(QStringLiteral("sent")).toInteger();
    result.rate += summary.value(QStringLiteral("rate")).toDouble();
    result.p50Ms = std::max(result.p50Ms, summary.value(QStringLiteral("p50_ms")).toDouble());
    result.p99Ms = std::max(result.p99Ms, summary.value(QStringLiteral("p99_ms")).toDouble());
    result.connectMs = std::max(result.connectMs, connectMs);
    result.doneMs = std::max(result.doneMs, connectMs + 1000 * summary.value(QStringLiteral("seconds")).toDouble());
}

} // namespace

SimResult runSims(quint16 port, const QList<QStringList>& processes)
{
    SimResult result;
    std::vector<std::unique_ptr<OneSim>> sims;
    QEventLoop loop;
    qsizetype running = processes.size();
    const auto ended = [&running, &loop] {
        if (--running == 0)
            loop.quit();
    };
    for (const QStringList& arguments : processes) {
        sims.push_back(std::make_unique<OneSim>());
        OneSim& sim = *sims.back();
        const bool keepsCurve = sims.size() == 1;
        // The tool's progress lines come once a second: each gives a point of the memory curve.
        QObject::connect(&sim.process, &QProcess::readyReadStandardError, [&sim, &result, keepsCurve] {
            sim.errors += sim.process.readAllStandardError();
            qsizetype end = 0;
            while ((end = sim.errors.indexOf('\n')) >= 0) {
                const QByteArray line = sim.errors.left(end);
                if (!line.startsWith("sent "))
                    sim.problem = QString::fromLocal8Bit(line);
                else if (keepsCurve)
                    result.memoryCurve.emplace_back(line.mid(5, line.indexOf(',') - 5).toLongLong(), residentBytes());
                sim.errors.remove(0, end + 1);
            }
        });
        QObject::connect(&sim.process, &QProcess::finished, &loop, ended);
        QObject::connect(&sim.process, &QProcess::errorOccurred, &loop, [&sim, ended] {
            if (sim.process.error() == QProcess::FailedToStart)
                ended();
        });
        // A late reply is slow, not wrong: the latency figures show it.
        sim.process.start(QStringLiteral(STILWATER_SIM),
            arguments
                + QStringList {QStringLiteral("--port"), QString::number(port), QStringLiteral("--reply-timeout"),
                    QStringLiteral("60000"), QStringLiteral("--json")});
    }
    if (running > 0)
        loop.exec();
    for (const auto& sim : sims)
        addSummary(result, *sim);
    return result;
}
