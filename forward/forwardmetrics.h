#pragma once

#include "forward/sinkfigures.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <vector>

// The forwarder's /metrics text: per downstream system its lag in lines and seconds, what it
// forwarded, its batches and retries, the oldest line still waiting; and the process.
QByteArray forwardMetricsText(
    const std::vector<SinkFigures>& sinks, const QString& version, std::chrono::steady_clock::time_point now);

// /ready: false once any downstream system has been unreachable for `down` or longer.
bool forwardReady(
    const std::vector<SinkFigures>& sinks, std::chrono::seconds down, std::chrono::steady_clock::time_point now);
