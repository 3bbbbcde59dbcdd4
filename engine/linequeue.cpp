#include "engine/linequeue.h"

#include "settings/clock.h"
#include "settings/settings.h"

LineQueue::LineQueue(std::size_t capacity) : capacity(capacity) { }

void LineQueue::push(const QStringList& lines)
{
    bool first = false;
    {
        const std::lock_guard lock(mutex);
        first = pending.events.isEmpty() && pending.dropped == 0;
        if (static_cast<std::size_t>(pending.events.size()) >= capacity)
            pending.dropped += lineCount(pending.events.takeFirst());
        const QString& stamped = stamp();
        QString event;
        for (const QString& line : lines)
            event += stamped + line;
        pending.events.append(std::move(event));
    }
    if (first && wake)
        wake();
}

const QString& LineQueue::stamp()
{
    // Read under the lock, so that an entry never joins the queue with an earlier stamp than the one
    // before it; formatted once a second for all of them.
    const QDateTime now = clockNow();
    const qint64 second = now.toSecsSinceEpoch();
    if (second != stampSecond) {
        stampSecond = second;
        stampText = formatTimeStamp(now);
    }
    return stampText;
}

LineQueue::Batch LineQueue::take()
{
    const std::lock_guard lock(mutex);
    return std::exchange(pending, Batch());
}

void LineQueue::onFirstLine(std::function<void()> wakeUp)
{
    wake = std::move(wakeUp);
}

bool LineQueue::isEmpty()
{
    const std::lock_guard lock(mutex);
    return pending.events.isEmpty() && pending.dropped == 0;
}

qsizetype lineCount(const QString& event)
{
    // Every line ends in a line feed; the lines that end a connection or a run add an empty one.
    return event.count(QLatin1Char('\n')) - event.count(QStringLiteral("\n\n"));
}
