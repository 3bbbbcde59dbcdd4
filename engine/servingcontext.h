#pragma once

#include "settings/settings.h"

#include <QtGlobal>

#include <asio/thread_pool.hpp>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class Connection;
class DeviceTable;
class KnownDevices;
class LineQueue;

// The open connections in the order in which they were accepted, for stopping and for the
// question whether any device is connected. Every thread may ask.
class ConnectionRegistry
{
public:
    void add(quint64 serial, std::shared_ptr<Connection> connection);
    void remove(quint64 serial);
    std::vector<std::shared_ptr<Connection>> inAcceptOrder() const;
    std::size_t size() const;

private:
    mutable std::mutex mutex;
    std::map<quint64, std::shared_ptr<Connection>> connections;
};

// What every connection of one run of the server shares.
struct ServingContext
{
    settings_t settings; // as they were at the start; the operator may edit the window's own meanwhile
    LineQueue& lines;
    asio::thread_pool& slowFiles; // where files are created, so that nobody else waits for the disk
    ConnectionRegistry registry;
    // Called on the ending connection's thread with the address it was accepted from.
    std::function<void(const QString& source)> connectionEnded;
    std::function<void(const QString& message)> beforeCreatingFiles; // on a file thread; for tests
    // Called on any thread when a day file could not be opened for want of a descriptor: the day
    // files kept open give way.
    std::function<void()> descriptorsRanOut;
    std::atomic<quint64> bytesReceived {0};
    std::atomic<qint64> bytesHeld {0}; // read but not yet handled, or replies not yet taken by the sockets
    DeviceTable& devices; // the engine's, kept from run to run
    const KnownDevices* knownDevices = nullptr; // nothing: every device is known
};
