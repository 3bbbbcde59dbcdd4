#pragma once

#include "forward/dayfilefollower.h"
#include "forward/folderwake.h"
#include "forward/sink.h"
#include "forward/sinkfigures.h"

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Takes the data folder's lines to one downstream system on a thread of its own, so that a slow or
// absent system holds up nothing else: connects, loads its cursors, delivers batch after batch while
// there is a backlog, then waits for the folder to change. After any fault it connects again, with a
// growing pause, and starts from the cursors the system itself holds.
class SinkRunner
{
public:
    using Say = std::function<void(const QString&)>;

    SinkRunner(std::unique_ptr<Sink> sink, const settings_t& settings, std::optional<QDate> since, Say say);
    ~SinkRunner();

    void start();
    // Ends the thread once the call in hand returns.
    void stop();
    SinkFigures figures() const;

    static constexpr int batchLines = 5000;
    static constexpr std::chrono::milliseconds idleLook {1000};
    static constexpr std::chrono::seconds longestPause {30};

private:
    void run();
    bool connect(Cursors* cursors);
    void lost(const QString& problem);
    void delivered(const FollowRound& round);

    const std::unique_ptr<Sink> sink;
    const QString label;
    const Say say;
    DayFileFollower follower;
    FolderWake wake;
    mutable std::mutex figuresGuard;
    SinkFigures shared;
    std::thread thread;
};
