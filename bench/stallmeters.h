#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <thread>

// The largest lateness of a 10 ms timer on this thread's event loop: how long the loop was kept
// from its work.
class EventLoopStallMeter
{
public:
    EventLoopStallMeter();
    double longestMs() const { return static_cast<double>(longestNs) / 1e6; }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 longestNs = 0;
};

// The largest lateness of a thread that does nothing but sleep 10 ms at a time: how long the
// machine kept any thread of this process waiting for a core. An event-loop stall no longer than
// this one is the machine's, not the loop's.
class WakeUpLatencyMeter
{
public:
    WakeUpLatencyMeter();
    ~WakeUpLatencyMeter();
    double longestMs() const { return static_cast<double>(longestNs.load()) / 1e6; }

private:
    std::atomic<bool> stopping {false};
    std::atomic<qint64> longestNs {0};
    std::thread thread;
};
