#include "forward/forwardmetrics.h"

#include "messages/messagelayout.h"
#include "service/metricstext.h"
#include "service/processfigures.h"

#include <algorithm>
#include <functional>

namespace {

using Clock = std::chrono::steady_clock;

void sample(QString& text, const char* name, double value, const QString& labels = QString())
{
    text += QLatin1String(name) + labels + QLatin1Char(' ') + QString::number(value, 'g', 15) + QLatin1Char('\n');
}

void perSink(QString& text, const std::vector<SinkFigures>& sinks, const char* name, const char* type, const char* help,
    const std::function<double(const SinkFigures&)>& value)
{
    metricFamily(text, name, type, help);
    for (const SinkFigures& sink : sinks)
        sample(text, name, value(sink), QStringLiteral("{sink=\"%1\"}").arg(escapedLabelValue(sink.sink)));
}

double secondsSince(const std::optional<Clock::time_point>& moment, Clock::time_point now)
{
    return moment ? std::chrono::duration<double>(now - *moment).count() : 0;
}

} // namespace

QByteArray forwardMetricsText(const std::vector<SinkFigures>& sinks, const QString& version, Clock::time_point now)
{
    QString text;
    metricFamily(
        text, "stilwater_forward_build_info", "gauge", "Always 1; its label names the running forwarder's version.");
    sample(text, "stilwater_forward_build_info", 1, QStringLiteral("{version=\"%1\"}").arg(escapedLabelValue(version)));
    perSink(text, sinks, "stilwater_forward_up", "gauge", "1 while the downstream system is connected.",
        [](const SinkFigures& sink) { return sink.up ? 1 : 0; });
    perSink(text, sinks, "stilwater_forward_lines_total", "counter", "Lines delivered downstream.",
        [](const SinkFigures& sink) { return double(sink.lines); });
    perSink(text, sinks, "stilwater_forward_batches_total", "counter", "Batches delivered downstream.",
        [](const SinkFigures& sink) { return double(sink.batches); });
    perSink(text, sinks, "stilwater_forward_retries_total", "counter",
        "Connections and batches that failed and are tried again.",
        [](const SinkFigures& sink) { return double(sink.retries); });
    perSink(text, sinks, "stilwater_forward_skipped_lines_total", "counter",
        "Complete lines of the day files that are no message, skipped.",
        [](const SinkFigures& sink) { return double(sink.skipped); });
    // Every message line is the same length, so the bytes waiting tell the lines waiting.
    perSink(text, sinks, "stilwater_forward_lag_lines", "gauge", "Lines in the day files not yet downstream.",
        [](const SinkFigures& sink) { return double((sink.lagBytes + messageLength + 1) / (messageLength + 2)); });
    perSink(text, sinks, "stilwater_forward_lag_seconds", "gauge",
        "For the last batch: from the first sight of its oldest line to its delivery.",
        [](const SinkFigures& sink) { return sink.lastBatchDelaySeconds; });
    perSink(text, sinks, "stilwater_forward_oldest_unforwarded_age_seconds", "gauge",
        "How long the oldest line not yet downstream has waited since it was first seen; 0 when none waits.",
        [now](const SinkFigures& sink) { return secondsSince(sink.oldestPendingSeen, now); });
    perSink(text, sinks, "stilwater_forward_down_seconds", "gauge",
        "How long the downstream system has been unreachable; 0 while connected.",
        [now](const SinkFigures& sink) { return secondsSince(sink.downSince, now); });

    appendProcessMetrics(text, processFigures());
    return text.toUtf8();
}

bool forwardReady(const std::vector<SinkFigures>& sinks, std::chrono::seconds down, Clock::time_point now)
{
    return std::none_of(sinks.begin(), sinks.end(),
        [&](const SinkFigures& sink) { return sink.downSince && now - *sink.downSince >= down; });
}
