#include "settings/settings.h"

#include "settings/clock.h"

QString formatTimeStamp(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("yyyy.MM.dd  hh:mm:ss  -  "));
}

QString settings_t::timeStamp() const
{
    // Two lines or more per message fall in the same second: formatted once for all of them, by
    // each thread that writes lines.
    thread_local QDateTime formatted;
    thread_local QString stamp;
    const QDateTime now = clockNow();
    if (now != formatted) {
        formatted = now;
        stamp = formatTimeStamp(now);
    }
    return stamp;
}
