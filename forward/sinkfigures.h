#pragma once

#include <QString>

#include <chrono>
#include <optional>

// What one downstream system's forwarding has done and where it stands, for metrics and readiness.
struct SinkFigures
{
    QString sink;
    bool up = false;
    quint64 lines = 0; // forwarded
    quint64 batches = 0;
    quint64 retries = 0; // connections and batches that failed and are tried again
    quint64 skipped = 0; // complete lines in day files that are no message
    qint64 lagBytes = 0; // durable or not, in the day files beyond the cursors
    double lastBatchDelaySeconds = 0; // from its oldest line's first sight to its delivery
    std::optional<std::chrono::steady_clock::time_point> oldestPendingSeen;
    std::optional<std::chrono::steady_clock::time_point> downSince;
};
