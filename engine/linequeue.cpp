#include "engine/linequeue.h"

#include "settings/clock.h"
#include "settings/settings.h"

namespace {

QString joined(const QString& stamp, const QStringList& lines)
{
    qsizetype size = 0;
    for (const QString& line : lines)
        size += stamp.size() + line.size();
    QString event;
    event.reserve(size);
    for (const QString& line : lines) {
        event += stamp;
        event += line;
    }
    return event;
}

} // namespace

LineQueue::LineQueue(std::size_t capacity) : capacity(capacity) { }

void LineQueue::push(const QStringList& lines)
{
    // The event is built before the lock, so that the threads that push wait for each other as little
    // as they can.
    const qint64 second = clockNowMSecs() / 1000;
    const QString stamp = timeStampOfSecond(second);
    QString event = joined(stamp, lines);
    bool first = false;
    {
        const std::lock_guard lock(mutex);
        first = pending.events.isEmpty() && pending.dropped == 0;
        if (static_cast<std::size_t>(pending.events.size()) >= capacity) {
            const QString dropped = pending.events.takeFirst();
            pending.dropped += lineCount(dropped);
            pending.droppedStamp = dropped.left(timeStampLength);
        }
        // Another thread has pushed a later second meanwhile: this event takes that stamp, so the
        // stamps never run backwards.
        if (second < stampSecond)
            event = joined(stampText, lines);
        else if (second > stampSecond) {
            stampSecond = second;
            stampText = stamp;
        }
        pending.events.append(std::move(event));
    }
    if (first && wake)
        wake();
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

QString skippedLinesLine(const QString& stamp, qsizetype count)
{
    return stamp + QStringLiteral("… %1 sor kihagyva …\n").arg(count);
}
