#pragma once

#include "recording/dayfile.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <list>
#include <memory>

// The day files of one event loop's busy devices, kept open between their messages: opening and
// closing a file for every line would cost more than writing it. The least recently written go
// first when the budget is reached. Touched by its event loop only.
class DayFileCache
{
public:
    // Keeps nothing while `scarce` holds: the connections need the descriptors then.
    DayFileCache(std::size_t capacity, const std::atomic<bool>& scarce) : capacity(capacity), scarce(scarce) { }

    // The file at `fileName` when it is open here and still at its path; one that was moved away,
    // renamed or deleted meanwhile is let go, never written again.
    std::shared_ptr<DayFile> find(const QString& fileName);
    void keep(const std::shared_ptr<DayFile>& file);
    // Lets every file go, for a system short of descriptors.
    void clear();
    // Whether the system is short of them: nothing is kept then.
    bool givingWay() const { return scarce.load(std::memory_order_relaxed); }

private:
    using Order = std::list<std::shared_ptr<DayFile>>; // most recently written first

    const std::size_t capacity;
    const std::atomic<bool>& scarce;
    Order order;
    QHash<QString, Order::iterator> byName;
};
