#include "bench/stallmeters.h"

#include <chrono>

namespace {

constexpr int periodMs = 10;

} // namespace

EventLoopStallMeter::EventLoopStallMeter()
{
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [this] {
        longestNs = std::max(longestNs, clock.nsecsElapsed() - periodMs * qint64(1000000));
        clock.restart();
    });
    clock.start();
    timer.start(periodMs);
}

WakeUpLatencyMeter::WakeUpLatencyMeter()
    : thread([this] {
        using Clock = std::chrono::steady_clock;
        while (!stopping) {
            const Clock::time_point asleep = Clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
            const qint64 late = std::chrono::duration_cast<std::chrono::nanoseconds>(
                Clock::now() - asleep - std::chrono::milliseconds(periodMs))
                                    .count();
            longestNs = std::max(longestNs.load(), late);
        }
    })
{ }

WakeUpLatencyMeter::~WakeUpLatencyMeter()
{
    stopping = true;
    thread.join();
}
