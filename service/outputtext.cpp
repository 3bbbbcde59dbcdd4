#include "service/outputtext.h"

#include "settings/settings.h"

QByteArray outputText(const LineQueue::Batch& batch)
{
    QString text;
    if (batch.dropped > 0)
        text = settings_t().timeStamp() + QStringLiteral("… %1 sor kihagyva …\n").arg(batch.dropped);
    for (QString line : batch.lines) {
        while (line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        // A device's message may carry line feeds; written as "\n" they keep its event on one line,
        // which journald stores as one entry.
        line.replace(QLatin1Char('\n'), QLatin1String("\\n"));
        text += line + QLatin1Char('\n');
    }
    return text.toUtf8();
}
