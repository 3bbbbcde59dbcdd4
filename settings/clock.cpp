#include "settings/clock.h"

#include <limits>

namespace {

std::function<QDateTime()>& replacedClock()
{
    static std::function<QDateTime()> clock;
    return clock;
}

} // namespace

QDateTime clockNow()
{
    if (replacedClock())
        return replacedClock()();
    // Turning the system time into local time checks the time-zone file on disk each time, and
    // every message needs the local time three times: each thread works it out once per second instead.
    thread_local qint64 second = std::numeric_limits<qint64>::min();
    thread_local QDateTime moment;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now / 1000 != second) {
        second = now / 1000;
        moment = QDateTime::fromMSecsSinceEpoch(now);
    }
    return moment;
}

qint64 clockNowMSecs()
{
    return replacedClock() ? replacedClock()().toMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();
}

QDate clockToday()
{
    if (replacedClock())
        return replacedClock()().date();
    thread_local qint64 second = std::numeric_limits<qint64>::min();
    thread_local QDate today;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now / 1000 != second) {
        second = now / 1000;
        today = QDateTime::fromMSecsSinceEpoch(now).date();
    }
    return today;
}

void setClock(std::function<QDateTime()> clock)
{
    replacedClock() = std::move(clock);
}
