#include "settings/settings.h"

#include "settings/clock.h"
#include "settings/threadtextcache.h"

QString formatTimeStamp(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("yyyy.MM.dd  hh:mm:ss  -  "));
}

QString timeStampOfSecond(qint64 second)
{
    // Two lines or more per message fall in the same second, and turning a moment into local time
    // reads the time-zone file: each thread that writes lines formats a second once.
    thread_local ThreadTextCache<qint64, 32> stamps;
    return stamps.textOf(second, [second] { return formatTimeStamp(QDateTime::fromSecsSinceEpoch(second)); })
        .toString();
}

QString settings_t::timeStamp() const
{
    return timeStampOfSecond(clockNowMSecs() / 1000);
}
