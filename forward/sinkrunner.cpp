#include "forward/sinkrunner.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

QString folderOf(const settings_t& settings)
{
    return settings.file.path.isEmpty() ? QStringLiteral(".") : settings.file.path;
}

} // namespace

SinkRunner::SinkRunner(std::unique_ptr<Sink> sink, const settings_t& settings, std::optional<QDate> since, Say say)
    : sink(std::move(sink))
    , label(QStringLiteral("Továbbítás (%1): ").arg(this->sink->name()))
    , say(std::move(say))
    , follower(settings, since, batchLines)
    , wake(folderOf(settings))
{
    shared.sink = this->sink->name();
    shared.downSince = Clock::now();
}

SinkRunner::~SinkRunner()
{
    stop();
}

void SinkRunner::start()
{
    thread = std::thread(&SinkRunner::run, this);
}

void SinkRunner::stop()
{
    wake.stop();
    if (thread.joinable())
        thread.join();
}

SinkFigures SinkRunner::figures() const
{
    const std::lock_guard lock(figuresGuard);
    return shared;
}

void SinkRunner::run()
{
    std::chrono::seconds pause {1};
    Cursors cursors;
    bool connected = false;
    bool caughtUp = false;
    while (!wake.stopped()) {
        if (!connected) {
            connected = connect(&cursors);
            if (!connected) {
                wake.wait(pause);
                pause = std::min(pause * 2, longestPause);
                continue;
            }
            pause = std::chrono::seconds(1);
            caughtUp = false;
        }
        const FollowRound round = follower.next(cursors);
        for (const QString& notice : round.notices)
            say(label + notice);
        {
            const std::lock_guard lock(figuresGuard);
            shared.lagBytes = round.pendingBytes;
            shared.oldestPendingSeen = round.oldestPendingSeen;
        }
        if (round.after.empty()) {
            if (!caughtUp && round.pendingBytes == 0)
                say(label + QStringLiteral("naprakész, minden tárolt sor továbbítva."));
            caughtUp = round.pendingBytes == 0;
            wake.wait(idleLook);
            continue;
        }
        QString problem;
        if (!sink->deliver(round.lines, round.after, &problem)) {
            connected = false;
            lost(problem);
            continue;
        }
        for (const auto& [key, offset] : round.after)
            cursors[key] = offset;
        delivered(round);
    }
}

bool SinkRunner::connect(Cursors* cursors)
{
    QString problem;
    if (!sink->open(&problem) || !sink->cursors(cursors, &problem)) {
        lost(problem);
        return false;
    }
    say(label + QStringLiteral("kapcsolódva."));
    const std::lock_guard lock(figuresGuard);
    shared.up = true;
    shared.downSince.reset();
    return true;
}

void SinkRunner::lost(const QString& problem)
{
    bool worthALine = false;
    {
        const std::lock_guard lock(figuresGuard);
        // One line when the state changes, and one at the start when the first try fails; not one a try.
        worthALine = shared.up || shared.retries == 0;
        ++shared.retries;
        shared.up = false;
        if (!shared.downSince)
            shared.downSince = Clock::now();
    }
    if (worthALine)
        say(label + QStringLiteral("nem érhető el, újra próbálom: %1").arg(problem));
}

void SinkRunner::delivered(const FollowRound& round)
{
    const std::lock_guard lock(figuresGuard);
    shared.lines += round.lines.size();
    shared.skipped += quint64(round.skipped);
    ++shared.batches;
    shared.lagBytes = round.pendingBytes - round.takenBytes;
    if (round.oldestPendingSeen)
        shared.lastBatchDelaySeconds = std::chrono::duration<double>(Clock::now() - *round.oldestPendingSeen).count();
    if (shared.lagBytes == 0)
        shared.oldestPendingSeen.reset();
}
