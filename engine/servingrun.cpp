#include "engine/servingrun.h"

#include "engine/acceptrefusal.h"
#include "engine/commitbatch.h"
#include "engine/connection.h"
#include "engine/devicetable.h"
#include "engine/groupcommit.h"
#include "engine/listening.h"
#include "engine/openfiles.h"
#include "engine/peeraddress.h"
#include "recording/dayfilecache.h"

#include <algorithm>
#include <asio/post.hpp>
#include <condition_variable>

namespace {

// A data file and a backup file for every thread that may be writing, a config.cfg being saved,
// and some to spare.
constexpr int descriptorsKeptFree = 16;
// Far enough below the limit, room is taken for granted instead of tried out: the trial costs two
// system calls per descriptor, which would slow a burst of thousands of devices down to a crawl.
constexpr long long descriptorsSurelyFree = 512;
constexpr std::chrono::seconds acceptRetryInterval(1);
// Refusals closer together than this belong to one episode and are reported once.
constexpr std::chrono::seconds refusalEpisodeGap(10);
// Creating files is mostly waiting for the disk; a few at a time keep one slow file from holding up
// the others. No more of them than cores, though: creating files in one folder takes the folder's
// lock, and more threads than cores spin on it (10,000 files on 2 cores: 0.09 s with 2 threads,
// 1.3 s with 4).
std::size_t slowFileThreads()
{
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
}

std::vector<std::unique_ptr<asio::io_context>> makeLoops(unsigned count)
{
    std::vector<std::unique_ptr<asio::io_context>> loops;
    // Each loop is run by one thread only, which spares it the locking of a shared one.
    while (loops.size() < std::max(count, 1U)) {
        loops.push_back(std::make_unique<asio::io_context>(1));
        // A loop sets up its own descriptors with its first timer or socket: now, while there are
        // some to spare, not when its first device arrives.
        asio::steady_timer setUp(*loops.back());
    }
    return loops;
}

// A busy device's day file stays open between its messages. Each event loop keeps up to an eighth of
// the descriptors' share, so that the connections keep the most of them.
std::vector<std::unique_ptr<DayFileCache>> makeDayFileCaches(std::size_t loops, const std::atomic<bool>& scarce)
{
    const long long share = std::clamp<long long>(openFileLimit() / 8 / static_cast<long long>(loops), 16, 4096);
    std::vector<std::unique_ptr<DayFileCache>> caches;
    while (caches.size() < loops)
        caches.push_back(std::make_unique<DayFileCache>(static_cast<std::size_t>(share), scarce));
    return caches;
}

std::vector<std::unique_ptr<CommitBatch>> makeCommitBatches(
    GroupCommit* commits, const std::vector<std::unique_ptr<asio::io_context>>& loops)
{
    std::vector<std::unique_ptr<CommitBatch>> batches;
    if (commits) {
        for (const auto& loop : loops)
            batches.push_back(std::make_unique<CommitBatch>(*commits, loop->get_executor()));
    }
    return batches;
}

} // namespace

ServingRun::ServingRun(const settings_t& settings, LineQueue& lines, unsigned threads, bool durable,
    std::function<void(const QString& message)> beforeCreatingFiles, DeviceTable& devices)
    : loops(makeLoops(threads))
    , dayFiles(makeDayFileCaches(loops.size(), descriptorsScarce))
    , slowFiles(slowFileThreads())
    , commits(durable ? std::make_unique<GroupCommit>() : nullptr)
    , commitBatches(makeCommitBatches(commits.get(), loops))
    , context {settings, lines, slowFiles, {}, {}, std::move(beforeCreatingFiles), {}, {}, {}, devices}
    , acceptRetry(*loops.front())
    , refusalTimer(*loops.front())
    , aliveTimer(*loops.front())
{
    context.descriptorsRanOut = [this] { releaseKeptFiles(); };
    context.connectionEnded = [this](const QString& source) {
        asio::post(*loops.front(), [this, source] {
            released(source);
            resumeAccepting();
        });
    };
}

void ServingRun::guard(const AdmissionRules& admission, const KnownDevices& knownDevices)
{
    rules = admission;
    totalLimit = connectionCeiling(openFileLimit() - rules.frontEndDescriptors);
    if (rules.total > 0)
        totalLimit = std::min(totalLimit, static_cast<std::size_t>(rules.total));
    context.knownDevices = &knownDevices;
}

ServingRun::~ServingRun()
{
    slowFiles.join();
}

bool ServingRun::listen(const ListenPlace& place)
{
    listener = place.inheritedSocket >= 0
        ? adoptListener(*loops.front(), place.inheritedSocket)
        : openListener(*loops.front(), context.settings.port, place.address.toStdString());
    return listener.has_value();
}

void ServingRun::begin(std::chrono::milliseconds interval, std::function<void()> aliveCall)
{
    aliveInterval = interval;
    alive = std::move(aliveCall);
    accept();
    if (alive) {
        aliveAnswers = loops.size() + 1;
        checkAlive();
    }
    for (auto& loop : loops) {
        work.push_back(asio::make_work_guard(*loop));
        threads.emplace_back([&loop = *loop] { loop.run(); });
    }
}

void ServingRun::accept()
{
    // Connections are dealt out to the event loops in turn.
    const std::size_t loop = nextLoop++ % loops.size();
    listener->async_accept(*loops[loop], [this, loop](const asio::error_code& error, asio::ip::tcp::socket socket) {
        accepted(error, std::move(socket), loop);
    });
}

void ServingRun::accepted(const asio::error_code& error, asio::ip::tcp::socket socket, std::size_t loop)
{
    if (stopping || error == asio::error::operation_aborted)
        return;
    if (isTransientAcceptError(error)) {
        // The device gave up before it was taken; the next one is not kept waiting for it.
        accept();
        return;
    }
    if (error) {
        if (isDescriptorShortage(error))
            releaseKeptFiles();
        pauseAccepting(refusalText(error));
        return;
    }
    if (!admits(socket)) {
        pauseAccepting(refusalText(asio::error::no_descriptors));
        return;
    }
    asio::error_code ignored;
    const QString peer = peerAddressText(socket.remote_endpoint(ignored).address());
    const bool balancer = rules.balancers.contains(peer);
    if (!withinLimits(peer, balancer)) {
        socket.close(ignored);
        accept();
        return;
    }
    const quint64 serial = ++nextSerial;
    auto connection = std::make_shared<Connection>(std::move(socket), context, *dayFiles[loop],
        commitBatches.empty() ? nullptr : commitBatches[loop].get(), serial, peer);
    context.registry.add(serial, connection);
    // A balancer's connection is told once its header names the device.
    if (balancer)
        connection->expectProxyHeader();
    else
        context.lines.push(QLatin1Char('[') + peer + QStringLiteral("] Új kapcsolat.\n"));
    asio::post(connection->executor(), [connection] { connection->start(); });
    accept();
}

bool ServingRun::admits(asio::ip::tcp::socket& socket)
{
    // A connection that would leave too few descriptors for the files of the devices already here
    // is let go; they are served all the while, and the rest wait in the listen queue. Descriptors
    // are numbered lowest first, so the highest number seen tells how crowded they may be.
    const auto descriptor = static_cast<long long>(socket.native_handle());
    highestDescriptor = std::max(highestDescriptor, descriptor);
    if (openFileLimit() - highestDescriptor > descriptorsSurelyFree)
        return true;
    // From now on the connections need the descriptors that open day files hold.
    releaseKeptFiles();
    if (descriptorsToSpare(descriptorsKeptFree, descriptor))
        return true;
    context.devices.totals().descriptorRefusals.fetch_add(1, std::memory_order_relaxed);
    asio::error_code ignored;
    socket.close(ignored);
    return false;
}

// Once, for the rest of the run: the loops that are busy elsewhere, or idle, close theirs too.
void ServingRun::releaseKeptFiles()
{
    if (descriptorsScarce.exchange(true))
        return;
    for (std::size_t loop = 0; loop < loops.size(); ++loop)
        asio::post(*loops[loop], [files = dayFiles[loop].get()] { files->clear(); });
}

bool ServingRun::withinLimits(const QString& peer, bool balancer)
{
    if (context.registry.size() >= totalLimit) {
        refuse(peer, refusedByTotal, context.devices.totals().totalLimitRefusals);
        return false;
    }
    // A balancer speaks for many devices; their own limits belong in its configuration.
    if (rules.perAddress <= 0 || balancer)
        return true;
    int& open = perAddress[blockOf(peer)];
    if (open >= rules.perAddress) {
        refuse(peer, refusedByAddress, context.devices.totals().perAddressRefusals);
        return false;
    }
    ++open;
    return true;
}

QString ServingRun::blockOf(const QString& peer) const
{
    asio::error_code ignored;
    return addressBlock(asio::ip::make_address(peer.toStdString(), ignored), rules.ipv6Prefix);
}

void ServingRun::released(const QString& source)
{
    if (perAddress.isEmpty())
        return;
    const auto counted = perAddress.find(blockOf(source));
    if (counted != perAddress.end() && --*counted == 0)
        perAddress.erase(counted);
}

// However many connections are turned away, the operator reads one line per interval about them.
void ServingRun::refuse(const QString& peer, int& counter, std::atomic<quint64>& total)
{
    ++counter;
    total.fetch_add(1, std::memory_order_relaxed);
    lastRefused = peer;
    if (refusalsPending)
        return;
    refusalsPending = true;
    refusalTimer.expires_after(rules.refusalSummary);
    refusalTimer.async_wait([this](const asio::error_code& error) {
        if (error)
            return;
        context.lines.push(QStringLiteral("Kapcsolatkorlát: %1 kapcsolatot elutasítottam, %2 a címenkénti, %3 a "
                                          "teljes korlát miatt; az utolsót innen: %4.\n")
                               .arg(refusedByAddress + refusedByTotal)
                               .arg(refusedByAddress)
                               .arg(refusedByTotal)
                               .arg(lastRefused));
        refusalsPending = false;
        refusedByAddress = 0;
        refusedByTotal = 0;
    });
}

void ServingRun::pauseAccepting(const QString& reason)
{
    acceptPaused = true;
    const auto now = std::chrono::steady_clock::now();
    if (!lastRefusal || now - *lastRefusal > refusalEpisodeGap)
        context.lines.push(reason);
    lastRefusal = now;
    acceptRetry.expires_after(acceptRetryInterval);
    acceptRetry.async_wait([this](const asio::error_code& error) {
        if (!error)
            resumeAccepting();
    });
}

void ServingRun::resumeAccepting()
{
    if (!acceptPaused || stopping)
        return;
    acceptPaused = false;
    acceptRetry.cancel();
    accept();
}

void ServingRun::checkAlive()
{
    // Each event loop and the file threads answer every round; a round that all answered in time
    // counts as a sign of life.
    if (aliveAnswers.exchange(0) == loops.size() + 1)
        alive();
    for (auto& loop : loops)
        asio::post(*loop, [this] { ++aliveAnswers; });
    asio::post(slowFiles, [this] { ++aliveAnswers; });
    aliveTimer.expires_after(aliveInterval);
    aliveTimer.async_wait([this](const asio::error_code& error) {
        if (!error)
            checkAlive();
    });
}

void ServingRun::waitForAll(const std::function<void(std::function<void()> done)>& each, std::size_t count)
{
    std::mutex mutex;
    std::condition_variable allDone;
    std::size_t remaining = count;
    const auto done = [&] {
        const std::lock_guard lock(mutex);
        if (--remaining == 0)
            allDone.notify_one();
    };
    each(done);
    std::unique_lock lock(mutex);
    allDone.wait(lock, [&] { return remaining == 0; });
}

void ServingRun::stop(Engine::StopLine line)
{
    waitForAll(
        [this](const std::function<void()>& done) {
            asio::post(*loops.front(), [this, done] {
                stopping = true;
                asio::error_code ignored;
                listener->close(ignored);
                acceptRetry.cancel();
                refusalTimer.cancel();
                aliveTimer.cancel();
                done();
            });
        },
        1);
    // Each connection finishes what it has read and gets the close grace for its replies; only then
    // do the event loops stop, which would drop whatever is still on its way.
    const std::vector<std::shared_ptr<Connection>> open = context.registry.inAcceptOrder();
    waitForAll(
        [&open](const std::function<void()>& done) {
            for (const auto& connection : open)
                asio::post(connection->executor(), [connection, done] { connection->halt(done); });
        },
        open.size());

    work.clear();
    for (auto& loop : loops)
        loop->stop();
    for (std::thread& thread : threads)
        thread.join();
    threads.clear();

    for (const auto& connection : open)
        connection->closeByServer();
    if (line == Engine::StopLine::Announce)
        context.lines.push(QStringLiteral("Szerver leállítva.\n\n"));
}
