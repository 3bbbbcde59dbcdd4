#pragma once

#include "forward/dayfilesondisk.h"
#include "forward/sink.h"
#include "settings/clock.h"
#include "settings/settings.h"

#include <QDate>
#include <QStringList>

#include <chrono>
#include <map>
#include <optional>
#include <vector>

// What one look at the data folder has for one downstream system.
struct FollowRound
{
    std::vector<ForwardedLine> lines;
    Cursors after; // every file whose cursor moves, lines or no lines
    int skipped = 0; // complete lines that are no message
    qint64 takenBytes = 0; // what `after` covers beyond the cursors
    qint64 pendingBytes = 0; // beyond the cursors before this round, taken or not
    // When the oldest byte still waiting before this round was first seen; nothing when none waits.
    std::optional<std::chrono::steady_clock::time_point> oldestPendingSeen;
    QStringList notices; // for the operator: files replaced, shrunk, gone or unreadable
};

// Follows the data files of one data folder for one downstream system: which files, in which order
// and how much of each go in the next batch. Only what a sync of the folder made durable is read.
class DayFileFollower
{
public:
    // Files of days before `since` are left alone; without it, from the oldest day that the downstream
    // system has taken anything of, or today on a first start.
    DayFileFollower(const settings_t& settings, std::optional<QDate> since, int batchLines);

    FollowRound next(const Cursors& cursors);

    // A day's unended last line, once its file has not grown for this long after its day, was torn
    // by a crash: nothing will end it any more.
    static constexpr std::chrono::seconds tornTailAge {60};

private:
    struct Followed
    {
        DayFileOnDisk seen;
        qint64 durable = 0; // what a sync has made durable: only that is read
        std::chrono::steady_clock::time_point grewAt;
        std::optional<std::chrono::steady_clock::time_point> pendingSince;
        bool shrinkSaid = false;
    };

    QDate firstDay(const Cursors& cursors) const;
    void look(const DayFilesOnDisk& files, const Cursors& cursors, FollowRound& round);
    void take(const DayFileKey& key, qint64 cursor, int lines, bool live, FollowRound& round);

    const settings_t settings;
    const std::optional<QDate> since;
    const QDate startDay = clockNow().date();
    const int batchLines;
    std::map<DayFileKey, Followed> followed;
    DayFileNames names;
};
