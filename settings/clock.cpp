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
    return QDateTime::currentDateTime();
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
