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

SimResult runSim(const QString& program, quint16 port, const QStringList& arguments)
{
    SimResult result;
    QProcess process;
    QByteArray errors;
    QEventLoop loop;
    // stilwater-sim's progress lines come once a second: each gives a point of the memory curve.
    QObject::connect(&process, &QProcess::readyReadStandardError, [&] {
        errors += process.readAllStandardError();
        qsizetype end = 0;
        while ((end = errors.indexOf('\n')) >= 0) {
            const QByteArray line = errors.left(end);
            if (!line.startsWith("sent "))
                result.problem = QString::fromLocal8Bit(line);
            else
                result.memoryCurve.emplace_back(line.mid(5, line.indexOf(',') - 5).toLongLong(), residentBytes());
            errors.remove(0, end + 1);
        }
    });
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&] {
        if (process.error() == QProcess::FailedToStart)
            loop.quit();
    });
    process.start(program, arguments + QStringList {QStringLiteral("--port"), QString::number(port)});
    loop.exec();

    result.exitStatus = -1;
    if (process.error() == QProcess::FailedToStart)
        result.problem = process.errorString();
    else if (process.exitStatus() == QProcess::NormalExit)
        result.exitStatus = process.exitCode();
    const QJsonObject summary = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    if (result.exitStatus == 1)
        result.problem
            = QStringLiteral("%1 replies wrong or missing after a minute, %2 connections closed by the server")
                  .arg(summary.value(QStringLiteral("wrong")).toInteger())
                  .arg(summary.value(QStringLiteral("closed_by_server")).toInteger());
    result.acknowledged = summary.value(QStringLiteral("acknowledged")).toInteger();
    result.rate = summary.value(QStringLiteral("rate")).toDouble();
    result.p50Ms = summary.value(QStringLiteral("p50_ms")).toDouble();
    result.p99Ms = summary.value(QStringLiteral("p99_ms")).toDouble();
    result.firstRepliesMs = summary.value(QStringLiteral("first_replies_ms")).toDouble();
    return result;
}
