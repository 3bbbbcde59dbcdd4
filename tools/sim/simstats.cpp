#include "tools/sim/simstats.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

void SimStats::acknowledged(const QByteArray& message)
{
    if (ackLog)
        ackLog->write(message + '\n');
}

QString summaryText(SimStats stats, int devices, double seconds, double connectMs, bool json)
{
    std::vector<qint64>& latencies = stats.latenciesNs;
    std::sort(latencies.begin(), latencies.end());
    const auto percentile = [&latencies](double share) {
        if (latencies.empty())
            return 0.0;
        const auto rank = static_cast<size_t>(std::ceil(share * static_cast<double>(latencies.size())));
        return static_cast<double>(latencies[std::max<size_t>(rank, 1) - 1]) / 1e6;
    };
    const double rate = seconds > 0 ? static_cast<double>(stats.sent) / seconds : 0;

    if (json) {
        const QJsonObject summary {{QStringLiteral("sent"), stats.sent}, {QStringLiteral("right"), stats.right},
            {QStringLiteral("wrong"), stats.wrong}, {QStringLiteral("seconds"), seconds},
            {QStringLiteral("rate"), rate}, {QStringLiteral("p50_ms"), percentile(0.5)},
            {QStringLiteral("p95_ms"), percentile(0.95)}, {QStringLiteral("p99_ms"), percentile(0.99)},
            {QStringLiteral("max_ms"), percentile(1)}, {QStringLiteral("connect_ms"), connectMs},
            {QStringLiteral("closed_by_server"), stats.closedByServer}, {QStringLiteral("resent"), stats.resent},
            {QStringLiteral("refused"), stats.refused}};
        return QString::fromUtf8(QJsonDocument(summary).toJson(QJsonDocument::Compact)) + QLatin1Char('\n');
    }
    QString text = QStringLiteral("%1 messages sent by %2 devices in %3 s: %4 messages per second\n")
                       .arg(stats.sent)
                       .arg(devices)
                       .arg(seconds, 0, 'f', 2)
                       .arg(rate, 0, 'f', 0);
    text += QStringLiteral("replies: %1 right, %2 wrong\n").arg(stats.right).arg(stats.wrong);
    text += QStringLiteral("reply latency: p50 %1 ms, p95 %2 ms, p99 %3 ms, max %4 ms\n")
                .arg(percentile(0.5), 0, 'f', 1)
                .arg(percentile(0.95), 0, 'f', 1)
                .arg(percentile(0.99), 0, 'f', 1)
                .arg(percentile(1), 0, 'f', 1);
    text += QStringLiteral("all connections made in %1 ms\n").arg(connectMs, 0, 'f', 0);
    if (stats.closedByServer > 0)
        text += QStringLiteral("the server closed %1 connections before the run ended\n").arg(stats.closedByServer);
    if (stats.refused > 0)
        text += QStringLiteral("%1 connections refused\n").arg(stats.refused);
    if (stats.resent > 0)
        text += QStringLiteral("%1 unacknowledged messages sent again on a new connection\n").arg(stats.resent);
    return text;
}
