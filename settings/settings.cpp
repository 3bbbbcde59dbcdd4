#include "settings/settings.h"

#include "settings/clock.h"

QString formatTimeStamp(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("yyyy.MM.dd  hh:mm:ss  -  "));
}

QString settings_t::timeStamp() const
{
    return formatTimeStamp(clockNow());
}
