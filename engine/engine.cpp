#include "engine/engine.h"

#include "engine/servingrun.h"
#include "settings/settings.h"

namespace {

// The reader of the lines may fall this far behind before the oldest are dropped: as many as the
// message window keeps.
constexpr std::size_t lineBacklog = 50000;

unsigned threadsFor(unsigned asked)
{
    return asked > 0 ? asked : std::max(1U, std::thread::hardware_concurrency());
}

} // namespace

Engine::Engine(unsigned threads) : threadCount(threadsFor(threads)), lineQueue(lineBacklog) { }

Engine::~Engine()
{
    if (seeder.joinable())
        seeder.join();
    if (stopper.joinable())
        stopper.join();
    if (run)
        run->stop(StopLine::Omit);
}

bool Engine::start(const settings_t& settings, const ListenPlace& place, QString* listRefusal)
{
    if (stopper.joinable())
        stopper.join();
    QString listInForce;
    const QString refusal = knownDevices->take(&listInForce);
    if (!refusal.isEmpty()) {
        if (listRefusal)
            *listRefusal = refusal;
        return false;
    }
    auto starting
        = std::make_unique<ServingRun>(settings, lineQueue, threadCount, durableAcks, creatingFiles, deviceTable);
    starting->guard(admission, *knownDevices);
    if (!starting->listen(place))
        return false;
    if (knownDevices->inForce())
        deviceTable.keepOnly(*knownDevices);
    lineQueue.push(QStringList {QStringLiteral("Szerver elindítva.\n"), listInForce + QStringLiteral("\n\n")});
    if (seeder.joinable())
        seeder.join();
    seeder = std::thread([this, settings] { deviceTable.seed(settings, *knownDevices); });
    starting->begin(aliveInterval, alive);
    const std::lock_guard lock(mutex);
    run = std::move(starting);
    return true;
}

void Engine::stop(StopLine line, std::function<void()> stopped)
{
    if (stopper.joinable())
        stopper.join();
    if (!run)
        return;
    stopper = std::thread([this, line, stopped = std::move(stopped)] {
        run->stop(line);
        std::unique_ptr<ServingRun> ended;
        {
            const std::lock_guard lock(mutex);
            ended = std::move(run);
        }
        // Taken down outside the lock: the window may ask meanwhile whether devices are connected.
        ended.reset();
        if (stopped)
            stopped();
    });
}

bool Engine::running() const
{
    const std::lock_guard lock(mutex);
    return run != nullptr;
}

std::size_t Engine::connectionCount() const
{
    const std::lock_guard lock(mutex);
    return run ? run->connectionCount() : 0;
}

quint64 Engine::bytesReceived() const
{
    const std::lock_guard lock(mutex);
    return run ? run->bytesReceived() : 0;
}

qint64 Engine::bytesHeld() const
{
    const std::lock_guard lock(mutex);
    return run ? run->bytesHeld() : 0;
}

void Engine::beforeCreatingFiles(std::function<void(const QString& message)> hook)
{
    creatingFiles = std::move(hook);
}

void Engine::reloadKnownDevices(bool force)
{
    const QString outcome = knownDevices->reload(force);
    if (outcome.isEmpty())
        return;
    if (knownDevices->inForce())
        deviceTable.keepOnly(*knownDevices);
    lineQueue.push(outcome);
}

void Engine::onAlive(std::chrono::milliseconds interval, std::function<void()> aliveCall)
{
    aliveInterval = interval;
    alive = std::move(aliveCall);
}
