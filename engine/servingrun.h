#pragma once

#include "engine/admission.h"
#include "engine/engine.h"
#include "engine/servingcontext.h"

#include <QHash>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/thread_pool.hpp>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

class CommitBatch;
class DayFileCache;
class GroupCommit;

// One run of the server, from a start to its stop: an event loop per thread, each serving its share
// of the connections, and the listener on the first of them.
class ServingRun
{
public:
    // With `durable`, a message is acknowledged only once its line is on the disk.
    ServingRun(const settings_t& settings, LineQueue& lines, unsigned threads, bool durable,
        std::function<void(const QString& message)> beforeCreatingFiles, DeviceTable& devices);
    ~ServingRun();

    // Before listen(): who may connect, and which devices may store.
    void guard(const AdmissionRules& rules, const KnownDevices& knownDevices);
    // False when the port cannot be opened; the run is then of no further use.
    bool listen(const ListenPlace& place);
    // The event loops start turning and the listener takes connections.
    void begin(std::chrono::milliseconds aliveInterval, std::function<void()> alive);
    // The whole stop; waits for every message in hand, so it runs on a thread of its own.
    void stop(Engine::StopLine line);

    std::size_t connectionCount() const { return context.registry.size(); }
    quint64 bytesReceived() const { return context.bytesReceived.load(std::memory_order_relaxed); }
    qint64 bytesHeld() const { return context.bytesHeld.load(std::memory_order_relaxed); }

private:
    void accept();
    void accepted(const asio::error_code& error, asio::ip::tcp::socket socket, std::size_t loop);
    bool admits(asio::ip::tcp::socket& socket);
    bool withinLimits(const QString& peer, bool balancer);
    void releaseKeptFiles();
    void refuse(const QString& peer, int& counter, std::atomic<quint64>& total);
    // The key of `perAddress` for a peer's address text.
    QString blockOf(const QString& peer) const;
    void released(const QString& source);
    void pauseAccepting(const QString& reason);
    void resumeAccepting();
    void checkAlive();
    void waitForAll(const std::function<void(std::function<void()> done)>& each, std::size_t count);

    using Work = asio::executor_work_guard<asio::io_context::executor_type>;

    // Declared first, so that they go last: the sockets and timers below belong to them.
    std::vector<std::unique_ptr<asio::io_context>> loops;
    std::vector<Work> work;
    std::vector<std::thread> threads;
    // Set once the connections come near the descriptor limit: the day files kept open give way.
    std::atomic<bool> descriptorsScarce {false};
    std::vector<std::unique_ptr<DayFileCache>> dayFiles; // one for each event loop
    asio::thread_pool slowFiles;
    std::unique_ptr<GroupCommit> commits;
    std::vector<std::unique_ptr<CommitBatch>> commitBatches; // one for each event loop, when durable
    ServingContext context;

    // On the first event loop.
    std::optional<asio::ip::tcp::acceptor> listener;
    asio::steady_timer acceptRetry;
    bool acceptPaused = false;
    std::optional<std::chrono::steady_clock::time_point> lastRefusal;
    bool stopping = false;
    long long highestDescriptor = 0;
    std::size_t nextLoop = 0;
    quint64 nextSerial = 0;
    AdmissionRules rules;
    std::size_t totalLimit = 0;
    QHash<QString, int> perAddress; // connections open now per address block, while there is a limit on it
    asio::steady_timer refusalTimer;
    bool refusalsPending = false;
    int refusedByAddress = 0;
    int refusedByTotal = 0;
    QString lastRefused;

    asio::steady_timer aliveTimer;
    std::chrono::milliseconds aliveInterval {0};
    std::function<void()> alive;
    std::atomic<std::size_t> aliveAnswers {0};
};
