#include "service/monitoring.h"

#include "engine/connection.h"
#include "engine/engine.h"
#include "service/metricsserver.h"
#include "service/metricstext.h"
#include "settings/clock.h"
#include "settings/settings.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

summary_t totalsNow(DeviceTable& devices)
{
    const DeviceTable::totals_t& totals = devices.totals();
    summary_t now;
    now.accepted = totals.accepted.load(std::memory_order_relaxed);
    now.checksumErrors = totals.checksumErrors.load(std::memory_order_relaxed);
    now.syntaxErrors = totals.syntaxErrors.load(std::memory_order_relaxed);
    now.storingFailures = totals.storingFailures.load(std::memory_order_relaxed);
    return now;
}

} // namespace

Monitoring::Monitoring(asio::io_context& io, Engine& engine, const monitoring_t& options)
    : engine(engine), options(options), summaryTimer(io)
{ }

Monitoring::~Monitoring() = default;

bool Monitoring::start()
{
    if (!options.metricsHost.isEmpty()) {
        metrics = std::make_unique<MetricsServer>([this] {
            DeviceTable& devices = engine.devices();
            const DeviceTable::totals_t& totals = devices.totals();
            const summary_t messages = totalsNow(devices);
            metrics_t figures {engine.connectionCount(), totals.connectionsAccepted.load(), messages.accepted,
                messages.checksumErrors, messages.syntaxErrors, messages.storingFailures, engine.bytesReceived(),
                droppedLines.load(), totals.descriptorRefusals.load(), totals.unknownDeviceRefusals.load(),
                totals.perAddressRefusals.load(), totals.totalLimitRefusals.load(), totals.invalidProxyHeaders.load(),
                totals.closed[Connection::TimedOut].load(), totals.closed[Connection::ClientClosed].load(),
                totals.closed[Connection::ServerStopped].load(),
                static_cast<quint64>(std::max<qint64>(0, totals.devicesConnected.load())), totals.unlisted.load(), {},
                QCoreApplication::applicationVersion(), processFigures(), {}, {},
                totals.replyLatencyNanoseconds.load()};
            for (const std::atomic<quint64>& replies : totals.replyLatencies)
                figures.replyLatencies.push_back(replies.load());
            for (const device_row_t& row : devices.rowsChangedSince(0)) {
                figures.lastMessages.emplace_back(row.name, row.lastMessage);
                if (row.allChecksumErrors > 0 || row.allSyntaxErrors > 0)
                    figures.deviceErrors.emplace_back(row.name, row.allChecksumErrors, row.allSyntaxErrors);
            }
            std::sort(figures.lastMessages.begin(), figures.lastMessages.end());
            std::sort(figures.deviceErrors.begin(), figures.deviceErrors.end());
            return metricsText(figures);
        });
        if (!metrics->listen(options.metricsHost, options.metricsPort))
            return false;
    }
    if (options.quietMessages) {
        counted = totalsNow(engine.devices());
        countedVersion = engine.devices().version();
        countedAt = clockNow().toMSecsSinceEpoch();
        summarizeLater();
    }
    return true;
}

LineQueue::Batch Monitoring::pass(LineQueue::Batch batch)
{
    droppedLines.fetch_add(static_cast<quint64>(batch.dropped), std::memory_order_relaxed);
    if (options.quietMessages) {
        for (QString& event : batch.events)
            event = quietEvent(event, &connectionLines);
        batch.events.removeAll(QString());
    }
    return batch;
}

void Monitoring::stop()
{
    if (!options.quietMessages)
        return;
    summaryTimer.cancel();
    // The connections that the stop ended are counted only here.
    summarize((clockNow().toMSecsSinceEpoch() - countedAt + 500) / 1000);
}

void Monitoring::summarizeLater()
{
    summaryTimer.expires_after(options.summaryInterval);
    summaryTimer.async_wait([this](const asio::error_code& error) {
        if (error)
            return;
        summarize(options.summaryInterval.count());
        summarizeLater();
    });
}

void Monitoring::summarize(qint64 seconds)
{
    DeviceTable& devices = engine.devices();
    const quint64 version = devices.version();
    const qint64 now = clockNow().toMSecsSinceEpoch();
    summary_t interval = totalsNow(devices);
    const summary_t total = interval;
    interval.seconds = static_cast<int>(seconds);
    interval.accepted -= counted.accepted;
    interval.checksumErrors -= counted.checksumErrors;
    interval.syntaxErrors -= counted.syntaxErrors;
    interval.storingFailures -= counted.storingFailures;
    for (const device_row_t& row : devices.rowsChangedSince(countedVersion))
        interval.devices += row.lastMessage > countedAt ? 1 : 0;
    interval.opened = connectionLines.opened;
    interval.endedByTimeout = connectionLines.endedByTimeout;
    interval.endedByClient = connectionLines.endedByClient;
    interval.endedByServer = connectionLines.endedByServer;
    engine.lines().push(summaryText(interval) + QLatin1Char('\n'));
    counted = total;
    countedVersion = version;
    countedAt = now;
    connectionLines = summary_t();
}
