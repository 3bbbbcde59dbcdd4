#pragma once

#include "service/httpendpoint.h"

#include <QString>

#include <atomic>
#include <chrono>

// HTTP GET /ready for a load balancer's health check: 200 while the engine's event loops answer,
// 503 once they have been silent for longer than `stale`. A connection that the kernel completes
// proves nothing; this answer comes only from a process that still runs.
class Readiness
{
public:
    explicit Readiness(std::chrono::milliseconds stale);

    // Listens on `port` of `host`; false when it cannot.
    bool listen(const QString& host, quint16 port);
    // Answers from now on, on a thread of its own.
    void serve();
    // The engine answered: called from its event loop.
    void alive();

private:
    bool ready() const;

    const std::chrono::milliseconds stale;
    std::atomic<std::chrono::steady_clock::rep> lastAlive;
    HttpEndpoint endpoint;
};
