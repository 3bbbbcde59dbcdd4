#pragma once

#include "engine/linequeue.h"
#include "service/quietoutput.h"

#include <QString>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <chrono>
#include <memory>

class Engine;
class MetricsServer;

// How the service lets itself be watched, from its command line.
struct monitoring_t
{
    QString metricsHost; // where /metrics is served; empty: not served
    quint16 metricsPort = 0;
    bool quietMessages = false; // per-message and connection lines left out, a summary every interval instead
    std::chrono::seconds summaryInterval {60};
};

// The metrics endpoint and the quiet journal of one service, beside its engine.
class Monitoring
{
public:
    Monitoring(asio::io_context& io, Engine& engine, const monitoring_t& options);
    ~Monitoring();

    // Opens the metrics endpoint when asked for and starts the summaries; false when the endpoint's
    // address cannot be opened.
    bool start();
    // A batch of the engine's lines as it goes to the output.
    LineQueue::Batch pass(LineQueue::Batch batch);
    // Under --quiet-messages, the summary of the interval so far, once the engine has stopped and
    // its last lines have passed.
    void stop();

private:
    void summarizeLater();
    void summarize(qint64 seconds);

    Engine& engine;
    const monitoring_t options;
    std::atomic<quint64> droppedLines {0};
    std::unique_ptr<MetricsServer> metrics;
    asio::steady_timer summaryTimer;
    summary_t counted; // the totals at the last summary
    quint64 countedVersion = 0; // the device table's then
    qint64 countedAt = 0;
    summary_t connectionLines; // the connections' starts and ends left out since then
};
