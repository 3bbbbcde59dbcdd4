#include "engine/servingcontext.h"

void ConnectionRegistry::add(quint64 serial, std::shared_ptr<Connection> connection)
{
    const std::lock_guard lock(mutex);
    connections.emplace(serial, std::move(connection));
}

void ConnectionRegistry::remove(quint64 serial)
{
    const std::lock_guard lock(mutex);
    connections.erase(serial);
}

std::vector<std::shared_ptr<Connection>> ConnectionRegistry::inAcceptOrder() const
{
    const std::lock_guard lock(mutex);
    std::vector<std::shared_ptr<Connection>> ordered;
    ordered.reserve(connections.size());
    for (const auto& [serial, connection] : connections)
        ordered.push_back(connection);
    return ordered;
}

std::size_t ConnectionRegistry::size() const
{
    const std::lock_guard lock(mutex);
    return connections.size();
}
