#pragma once

#include "service/processfigures.h"

#include <QByteArray>
#include <QString>

#include <tuple>
#include <utility>
#include <vector>

// One scrape's figures: counters since the service started, gauges as they are now.
struct metrics_t
{
    quint64 connectionsOpen = 0;
    quint64 connectionsAccepted = 0;
    quint64 accepted = 0;
    quint64 checksumErrors = 0;
    quint64 syntaxErrors = 0;
    quint64 storingFailures = 0;
    quint64 bytesReceived = 0;
    quint64 droppedLines = 0;
    quint64 descriptorRefusals = 0;
    quint64 unknownDeviceRefusals = 0;
    quint64 perAddressRefusals = 0;
    quint64 totalLimitRefusals = 0;
    quint64 invalidProxyHeaders = 0;
    quint64 closedByTimeout = 0;
    quint64 closedByClient = 0;
    quint64 closedByServer = 0;
    quint64 devicesConnected = 0;
    quint64 unlistedMessages = 0;
    // Each known device with the moment of its last message, milliseconds since the epoch.
    std::vector<std::pair<QString, qint64>> lastMessages;
    QString version; // as --version gives it
    process_figures_t process;
    // The devices with a checksum or syntax error since their row was made: name, checksum errors,
    // syntax errors.
    std::vector<std::tuple<QString, quint64, quint64>> deviceErrors;
    // The replies that took at most each of DeviceTable::replyLatencyBounds, and more; their sum.
    std::vector<quint64> replyLatencies;
    quint64 replyLatencyNanoseconds = 0;
};

// A label value as the exposition format quotes it: backslash, double quote and line feed escaped.
QString escapedLabelValue(const QString& value);

// "# HELP" and "# TYPE" of one family, in the exposition format.
void metricFamily(QString& text, const char* name, const char* type, const char* help);

// The process_* families that Prometheus expects of every program it scrapes.
void appendProcessMetrics(QString& text, const process_figures_t& process);

// The figures in Prometheus's text exposition format, in UTF-8.
QByteArray metricsText(const metrics_t& metrics);
