#include "engine/linequeue.h"

LineQueue::LineQueue(std::size_t capacity) : capacity(capacity) { }

void LineQueue::push(QString line)
{
    bool first = false;
    {
        const std::lock_guard lock(mutex);
        first = pending.lines.isEmpty() && pending.dropped == 0;
        if (static_cast<std::size_t>(pending.lines.size()) >= capacity) {
            pending.lines.removeFirst();
            ++pending.dropped;
        }
        pending.lines.append(std::move(line));
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
    return pending.lines.isEmpty() && pending.dropped == 0;
}
