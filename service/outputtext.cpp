#include "service/outputtext.h"

QByteArray outputText(const LineQueue::Batch& batch)
{
    QString text;
    if (batch.dropped > 0)
        text = skippedLinesLine(batch.droppedStamp, batch.dropped);
    // The empty lines that set a connection's end apart in the window would be empty journal entries.
    for (const QString& event : batch.events) {
        for (const QStringView line : QStringView(event).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            text += line;
            text += QLatin1Char('\n');
        }
    }
    return text.toUtf8();
}
