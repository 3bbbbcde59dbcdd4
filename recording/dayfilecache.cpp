#include "recording/dayfilecache.h"

std::shared_ptr<DayFile> DayFileCache::find(const QString& fileName)
{
    if (scarce.load(std::memory_order_relaxed) && !order.empty())
        clear();
    const auto found = byName.constFind(fileName);
    if (found == byName.cend())
        return nullptr;
    const Order::iterator at = *found;
    if (!(*at)->stillAtItsPath()) {
        order.erase(at);
        byName.erase(found);
        return nullptr;
    }
    order.splice(order.begin(), order, at);
    return order.front();
}

void DayFileCache::keep(const std::shared_ptr<DayFile>& file)
{
    if (capacity == 0 || scarce.load(std::memory_order_relaxed))
        return;
    if (const auto found = byName.constFind(file->fileName()); found != byName.cend()) {
        order.erase(*found);
        byName.erase(found);
    }
    order.push_front(file);
    byName.insert(file->fileName(), order.begin());
    if (order.size() > capacity) {
        byName.remove(order.back()->fileName());
        order.pop_back();
    }
}

void DayFileCache::clear()
{
    order.clear();
    byName.clear();
}
