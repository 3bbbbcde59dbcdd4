#include "service/outputtext.h"

#include "messages/showntext.h"
#include "settings/settings.h"

QByteArray outputText(const LineQueue::Batch& batch)
{
    QString text;
    if (batch.dropped > 0)
        text = settings_t().timeStamp() + QStringLiteral("… %1 sor kihagyva …\n").arg(batch.dropped);
    for (QString line : batch.lines) {
        while (line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        // Written out as escapes, control characters keep each event on one line, which journald
        // stores as one entry, and never reach a terminal raw.
        line = shownText(line);
        text += line + QLatin1Char('\n');
    }
    return text.toUtf8();
}
