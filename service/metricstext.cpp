#include "service/metricstext.h"

#include "engine/devicetable.h"

namespace {

void sample(QString& text, const char* name, quint64 value, const QString& labels = QString())
{
    text += QLatin1String(name) + labels + QLatin1Char(' ') + QString::number(value) + QLatin1Char('\n');
}

void single(QString& text, const char* name, const char* type, const char* help, quint64 value)
{
    metricFamily(text, name, type, help);
    sample(text, name, value);
}

// One sample of a family whose only label is the reason.
void byReason(QString& text, const char* name, quint64 value, const char* reason)
{
    sample(text, name, value, QStringLiteral("{reason=\"%1\"}").arg(QLatin1String(reason)));
}

} // namespace

QString escapedLabelValue(const QString& value)
{
    QString escaped;
    escaped.reserve(value.size());
    for (const QChar character : value) {
        if (character == QLatin1Char('\\'))
            escaped += QLatin1String("\\\\");
        else if (character == QLatin1Char('"'))
            escaped += QLatin1String("\\\"");
        else if (character == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else
            escaped += character;
    }
    return escaped;
}

QByteArray metricsText(const metrics_t& metrics)
{
    QString text;
    metricFamily(
        text, "stilwater_build_info", "gauge", "Always 1; its label names the version of the running service.");
    sample(text, "stilwater_build_info", 1,
        QStringLiteral("{version=\"") + escapedLabelValue(metrics.version) + QStringLiteral("\"}"));
    single(text, "stilwater_connections_open", "gauge", "Device connections open now.", metrics.connectionsOpen);
    single(text, "stilwater_connections_accepted_total", "counter", "Device connections accepted.",
        metrics.connectionsAccepted);
    metricFamily(text, "stilwater_messages_total", "counter", "Messages received, by verdict.");
    sample(text, "stilwater_messages_total", metrics.accepted, QStringLiteral("{verdict=\"accepted\"}"));
    sample(text, "stilwater_messages_total", metrics.checksumErrors, QStringLiteral("{verdict=\"checksum_error\"}"));
    sample(text, "stilwater_messages_total", metrics.syntaxErrors, QStringLiteral("{verdict=\"syntax_error\"}"));
    single(text, "stilwater_storing_failures_total", "counter",
        "Messages with the right form that did not reach every file they go to.", metrics.storingFailures);
    single(text, "stilwater_received_bytes_total", "counter", "Bytes received from devices.", metrics.bytesReceived);
    single(text, "stilwater_output_dropped_lines_total", "counter",
        "Output lines dropped because the output fell behind.", metrics.droppedLines);
    single(text, "stilwater_descriptor_refusals_total", "counter",
        "Connections let go because file descriptors ran short.", metrics.descriptorRefusals);
    metricFamily(text, "stilwater_connections_refused_total", "counter",
        "Device connections turned away, by reason; those for want of descriptors are "
        "stilwater_descriptor_refusals_total too.");
    const auto refused = [&text](quint64 value, const char* reason) {
        byReason(text, "stilwater_connections_refused_total", value, reason);
    };
    refused(metrics.unknownDeviceRefusals, "unknown_device");
    refused(metrics.perAddressRefusals, "per_address_limit");
    refused(metrics.totalLimitRefusals, "total_limit");
    refused(metrics.invalidProxyHeaders, "invalid_proxy_header");
    refused(metrics.descriptorRefusals, "descriptors");
    metricFamily(text, "stilwater_connections_closed_total", "counter",
        "Device connections ended, by reason: the server's timeout, the client, or the server otherwise.");
    const auto closed = [&text](quint64 value, const char* reason) {
        byReason(text, "stilwater_connections_closed_total", value, reason);
    };
    closed(metrics.closedByTimeout, "timeout");
    closed(metrics.closedByClient, "client");
    closed(metrics.closedByServer, "server");
    single(text, "stilwater_devices_connected", "gauge", "Devices with an open connection.", metrics.devicesConnected);
    single(text, "stilwater_devices_known", "gauge", "Devices in the device table.", metrics.lastMessages.size());
    single(text, "stilwater_unlisted_messages_total", "counter",
        "Messages of new names that found the device table full.", metrics.unlistedMessages);
    metricFamily(text, "stilwater_device_last_message_timestamp_seconds", "gauge",
        "When the device last sent a message with the right form, in seconds since the epoch.");
    for (const auto& [name, moment] : metrics.lastMessages) {
        text += QStringLiteral("stilwater_device_last_message_timestamp_seconds{device=\"") + escapedLabelValue(name)
            + QStringLiteral("\"} ") + QString::number(moment / 1000.0, 'f', 3) + QLatin1Char('\n');
    }
    metricFamily(text, "stilwater_device_errors_total", "counter",
        "Messages of the device with a checksum or syntax error, by verdict, since it entered the device table; "
        "devices without one are left out.");
    for (const auto& [name, checksumErrors, syntaxErrors] : metrics.deviceErrors) {
        const QString device = QStringLiteral("{device=\"") + escapedLabelValue(name);
        sample(text, "stilwater_device_errors_total", checksumErrors,
            device + QStringLiteral("\",verdict=\"checksum_error\"}"));
        sample(text, "stilwater_device_errors_total", syntaxErrors,
            device + QStringLiteral("\",verdict=\"syntax_error\"}"));
    }
    metricFamily(text, "stilwater_reply_latency_seconds", "histogram",
        "From a message's last byte to its reply; in durable mode the wait for the disk is part of it.");
    quint64 replies = 0;
    for (std::size_t bucket = 0; bucket < metrics.replyLatencies.size(); ++bucket) {
        replies += metrics.replyLatencies[bucket];
        const QString bound = bucket < DeviceTable::replyLatencyBounds.size()
            ? QString::number(DeviceTable::replyLatencyBounds[bucket])
            : QStringLiteral("+Inf");
        sample(text, "stilwater_reply_latency_seconds_bucket", replies, QStringLiteral("{le=\"%1\"}").arg(bound));
    }
    text += QStringLiteral("stilwater_reply_latency_seconds_sum ")
        + QString::number(static_cast<double>(metrics.replyLatencyNanoseconds) / 1e9, 'f', 9) + QLatin1Char('\n');
    sample(text, "stilwater_reply_latency_seconds_count", replies);
    appendProcessMetrics(text, metrics.process);
    return text.toUtf8();
}

void metricFamily(QString& text, const char* name, const char* type, const char* help)
{
    text += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
}

void appendProcessMetrics(QString& text, const process_figures_t& process)
{
    metricFamily(text, "process_start_time_seconds", "gauge", "Start time of the process since unix epoch in seconds.");
    text += QStringLiteral("process_start_time_seconds ") + QString::number(process.startTime, 'f', 2)
        + QLatin1Char('\n');
    single(text, "process_open_fds", "gauge", "Number of open file descriptors.", process.openDescriptors);
    single(text, "process_max_fds", "gauge", "Maximum number of open file descriptors.", process.descriptorLimit);
    single(text, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.", process.residentBytes);
}
