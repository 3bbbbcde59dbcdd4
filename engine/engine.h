#pragma once

#include "engine/admission.h"
#include "engine/devicetable.h"
#include "engine/knowndevices.h"
#include "engine/linequeue.h"

#include <QtGlobal>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class settings_t;
class ServingRun;

// Where the server listens: by default on every local address, IPv6 and IPv4 together.
struct ListenPlace
{
    QString address; // one local address, IPv4 or IPv6, instead of all
    int inheritedSocket = -1; // a listening socket opened by the service manager, used as it is
};

// The device server: listening, connections, framing, replies, storing and the message-window
// lines, on threads of its own. Its front ends (the window, the service) start and stop it, ask
// whether devices are connected, and show the lines it hands over through lines().
class Engine
{
public:
    // `threads` event loops share the connections; 0 means one for each core.
    explicit Engine(unsigned threads = 0);
    ~Engine(); // a server still running is stopped first, without the stop line

    // Takes the list of known devices, listens on the port of `settings` (or takes the inherited
    // socket of `place`), and serves with a copy of them until the next stop. False when it cannot
    // listen, or when a list exists that cannot be taken: then `listRefusal`, when given, gets the
    // sentence that says why (it stays empty when the port is the cause).
    bool start(const settings_t& settings, const ListenPlace& place = ListenPlace(), QString* listRefusal = nullptr);

    enum class StopLine { Announce, Omit };
    // Closes every connection, in the order in which they were accepted, then the listener. Returns
    // at once; devices are served until each one's message in hand is through. `stopped`, when
    // given, is called on an engine thread when all is done, after running() has turned false.
    void stop(StopLine line, std::function<void()> stopped);

    bool running() const;
    std::size_t connectionCount() const;
    // Every byte that devices have sent so far in this run.
    quint64 bytesReceived() const;
    // What the connections hold now: bytes read and not yet handled, and replies that the devices
    // have not taken yet.
    qint64 bytesHeld() const;

    // Calls `alive` every `interval` for as long as each event loop answers within it, so that a
    // watchdog can tell a working server from a hung one. Set it before start().
    void onAlive(std::chrono::milliseconds interval, std::function<void()> alive);

    // Whether a message is acknowledged only once its line is on the disk (the default), or already
    // once it is handed to the system, from the next start on.
    void setDurableAcknowledgements(bool durable) { durableAcks = durable; }

    // Runs `hook` on a file thread before the files of a message are created, from the next start on:
    // a test's way to make the disk slow for one device.
    void beforeCreatingFiles(std::function<void(const QString& message)> hook);

    // Who may connect, from the next start on.
    void admit(const AdmissionRules& rules) { admission = rules; }

    // Reads the list of known devices again when it changed since the last look, or always with
    // `force`, without touching any connection, and tells the outcome among the lines. The front ends
    // call it (the window now and then, the service on SIGHUP), always from the same thread, which
    // also starts the server.
    void reloadKnownDevices(bool force);
    // Where the list of known devices is read from, from the next start on: several instances share
    // one list, so that a device that moves from one to another is known at both.
    void readKnownDevicesFrom(const QString& path) { knownDevices = std::make_unique<KnownDevices>(path); }

    LineQueue& lines() { return lineQueue; }
    // The devices seen from this engine's first start on, and those that the data folder knew then.
    DeviceTable& devices() { return deviceTable; }

private:
    const unsigned threadCount;
    LineQueue lineQueue;
    DeviceTable deviceTable;
    std::thread seeder; // reads the data folder's file names, which may take a while
    std::chrono::milliseconds aliveInterval {0};
    std::function<void()> alive;
    std::function<void(const QString& message)> creatingFiles;
    bool durableAcks = true;
    AdmissionRules admission;
    std::unique_ptr<KnownDevices> knownDevices = std::make_unique<KnownDevices>();

    mutable std::mutex mutex; // guards `run` and `stopper` against the stopping thread
    std::unique_ptr<ServingRun> run;
    std::thread stopper;
};
