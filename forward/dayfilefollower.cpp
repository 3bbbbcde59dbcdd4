#include "forward/dayfilefollower.h"

#include "forward/completelines.h"
#include "messages/messagelayout.h"
#include "settings/clock.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

// A message and its CR LF: how many bytes a batch's share of lines reads at most.
constexpr qint64 lineBytes = messageLength + 2;
// Reads at least this much, so that a stray line longer than a batch's share is still seen whole.
constexpr qint64 smallestRead = 64 * 1024;

qint64 cursorOf(const Cursors& cursors, const DayFileKey& key)
{
    const auto found = cursors.find(key);
    return found == cursors.end() ? 0 : found->second;
}

} // namespace

DayFileFollower::DayFileFollower(const settings_t& settings, std::optional<QDate> since, int batchLines)
    : settings(settings), since(since), batchLines(batchLines)
{ }

QDate DayFileFollower::firstDay(const Cursors& cursors) const
{
    if (since)
        return *since;
    return cursors.empty() ? startDay : std::min(startDay, cursors.begin()->first.day);
}

FollowRound DayFileFollower::next(const Cursors& cursors)
{
    FollowRound round;
    QString problem;
    const DayFilesOnDisk files = dayFilesOnDisk(settings, &names, &problem);
    if (!problem.isEmpty()) {
        round.notices << problem;
        return round;
    }
    const QDate today = clockNow().date();
    look(files, cursors, round);
    if (round.pendingBytes == 0)
        return round;
    // One sync makes every byte seen so far durable, so a backlog already on the disk costs one sync,
    // not one a batch.
    const bool beyondTheLastSync = std::any_of(followed.begin(), followed.end(), [&](const auto& entry) {
        return entry.second.seen.size > std::max(entry.second.durable, cursorOf(cursors, entry.first));
    });
    if (beyondTheLastSync) {
        if (!syncDataFolder(settings, &problem)) {
            round.notices << problem;
            return round;
        }
        for (auto& [key, file] : followed)
            file.durable = file.seen.size;
    }
    // Today's files first with half a batch, so that a backlog of earlier days never holds live lines
    // back for longer than one batch; then everything oldest first.
    for (const bool liveOnly : {true, false}) {
        for (const auto& [key, file] : followed) {
            const int room = (liveOnly ? batchLines / 2 : batchLines) - int(round.lines.size()) - round.skipped;
            if (room <= 0)
                break;
            if (liveOnly && key.day != today)
                continue;
            const qint64 cursor = std::max(cursorOf(cursors, key), cursorOf(round.after, key));
            if (file.durable > cursor)
                take(key, cursor, room, key.day == today, round);
        }
    }
    return round;
}

void DayFileFollower::look(const DayFilesOnDisk& files, const Cursors& cursors, FollowRound& round)
{
    const Clock::time_point now = Clock::now();
    const QDate first = firstDay(cursors);
    for (auto known = followed.begin(); known != followed.end();) {
        if (files.count(known->first)) {
            ++known;
            continue;
        }
        const qint64 left = known->second.seen.size - cursorOf(cursors, known->first);
        if (left > 0)
            round.notices << QStringLiteral(
                "A napi fájl eltűnt az adatmappából, %1 bájtja nem került továbbításra: %2.")
                                 .arg(left)
                                 .arg(known->second.seen.path);
        known = followed.erase(known);
    }
    for (const auto& [key, seen] : files) {
        if (key.day < first)
            continue;
        const auto [place, isNew] = followed.try_emplace(key, Followed {seen, 0, now, std::nullopt, false});
        Followed& file = place->second;
        if (!isNew && !(file.seen == seen)) {
            // Another file: none of its bytes has been seen synced.
            file.durable = 0;
            round.notices << QStringLiteral(
                "A napi fájl helyén másik fájl áll, a továbbítás a %1. bájtjától folytatódik: %2.")
                                 .arg(cursorOf(cursors, key))
                                 .arg(seen.path);
        }
        file.durable = std::min(file.durable, seen.size);
        if (isNew || seen.size != file.seen.size)
            file.grewAt = now;
        file.seen = seen;
        const qint64 cursor = cursorOf(cursors, key);
        if (seen.size < cursor) {
            if (!file.shrinkSaid)
                round.notices << QStringLiteral("A napi fájl rövidebb (%1 bájt), mint ameddig már továbbítva van (%2 "
                                                "bájt); amíg vissza nem nő, nem olvasom: %3.")
                                     .arg(seen.size)
                                     .arg(cursor)
                                     .arg(seen.path);
            file.shrinkSaid = true;
            file.pendingSince.reset();
            continue;
        }
        file.shrinkSaid = false;
        if (seen.size == cursor) {
            file.pendingSince.reset();
            continue;
        }
        if (!file.pendingSince)
            file.pendingSince = now;
        round.pendingBytes += seen.size - cursor;
        round.oldestPendingSeen = std::min(round.oldestPendingSeen.value_or(now), *file.pendingSince);
    }
}

void DayFileFollower::take(const DayFileKey& key, qint64 cursor, int lines, bool live, FollowRound& round)
{
    const Followed& file = followed.at(key);
    const qint64 to = std::min(file.durable, cursor + std::max(smallestRead, lines * lineBytes));
    QByteArray bytes;
    QString problem;
    if (!readDayFile(file.seen, cursor, to, &bytes, &problem)) {
        round.notices << problem;
        return;
    }
    CompleteLines taken = completeLines(key, cursor, bytes, lines);
    const bool wholeReadUnended = taken.end == cursor && bytes.size() == to - cursor;
    if (wholeReadUnended && to < file.durable) {
        // Longer than any message: a stray piece, taken as one skipped line so that it never holds
        // the lines behind it.
        taken.end = to;
        taken.skipped = 1;
    }
    const bool torn = wholeReadUnended && to == file.seen.size && !live && Clock::now() - file.grewAt >= tornTailAge;
    if (torn) {
        taken.end = to;
        taken.skipped = 1;
        round.notices << QStringLiteral("Egy korábbi nap napi fájljának utolsó sora csonka maradt, kihagyva: %1.")
                             .arg(file.seen.path);
    }
    if (taken.end == cursor)
        return;
    if (taken.skipped > 0 && !torn)
        round.notices << QStringLiteral("%1 sor nem üzenet, kihagyva (a %2. bájttól): %3.")
                             .arg(taken.skipped)
                             .arg(cursor)
                             .arg(file.seen.path);
    round.skipped += taken.skipped;
    round.takenBytes += taken.end - cursor;
    round.after[key] = taken.end;
    round.lines.insert(
        round.lines.end(), std::make_move_iterator(taken.lines.begin()), std::make_move_iterator(taken.lines.end()));
}
