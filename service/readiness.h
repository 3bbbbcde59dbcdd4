#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace httplib {
class Server;
}

// HTTP GET /ready for a load balancer's health check: 200 while the engine's event loops answer,
// 503 once they have been silent for longer than `stale`. A connection that the kernel completes
// proves nothing; this answer comes only from a process that still runs.
class Readiness
{
public:
    explicit Readiness(std::chrono::milliseconds stale);
    ~Readiness();

    // Listens on `port` of `address` (every address when empty); false when it cannot.
    bool listen(const QString& address, int port);
    // Answers from now on, on a thread of its own.
    void serve();
    // The engine answered: called from its event loop.
    void alive();

private:
    bool ready() const;

    const std::chrono::milliseconds stale;
    std::atomic<std::chrono::steady_clock::rep> lastAlive;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
};
