#include "engine/devicetable.h"

#include "engine/datafiles.h"
#include "engine/knowndevices.h"
#include "messages/messagelayout.h"
#include "recording/dailyfile.h"
#include "recording/devicename.h"
#include "settings/clock.h"
#include "settings/settings.h"

#include <QDirIterator>

#include <algorithm>
#include <limits>

namespace {

void startDay(device_row_t& row, const QDate& today)
{
    if (row.day == today)
        return;
    row.day = today;
    row.messages = row.checksumErrors = row.syntaxErrors = row.storingFailures = 0;
}

} // namespace

DeviceTable::DeviceTable(std::size_t capacity, std::size_t shardCount) : capacity(capacity), shards(shardCount) { }

device_row_t* DeviceTable::rowFor(shard_t& shard, const QString& name, qint64 now, Heard heard)
{
    auto found = shard.rows.find(name);
    if (found != shard.rows.end()) {
        if (heard == Heard::Now)
            shard.recency.splice(shard.recency.begin(), shard.recency, found->heard);
        return &found->row;
    }
    if (count.fetch_add(1, std::memory_order_relaxed) >= capacity) {
        count.fetch_sub(1, std::memory_order_relaxed);
        return nullptr;
    }
    shard.forgotten.remove(name);
    const auto place = heard == Heard::Now ? shard.recency.insert(shard.recency.begin(), name)
                                           : shard.recency.insert(shard.recency.end(), name);
    entry_t& entry = shard.rows[name];
    entry.heard = place;
    entry.row.name = name;
    entry.row.firstSeen = now;
    return &entry.row;
}

DeviceTable::Entries::iterator DeviceTable::remove(shard_t& shard, Entries::iterator entry)
{
    if (entry->row.connections > 0)
        totals_.devicesConnected.fetch_sub(1, std::memory_order_relaxed);
    shard.recency.erase(entry->heard);
    count.fetch_sub(1, std::memory_order_relaxed);
    removed.fetch_add(1, std::memory_order_relaxed);
    return shard.rows.erase(entry);
}

// Only once the table is full, for each new name: each shard's least recently heard row is at its
// end, and the oldest of those is the table's. One shard's lock at a time, so that no two threads
// wait for each other; a row heard meanwhile gives its place to the next oldest of its shard.
bool DeviceTable::giveWay()
{
    shard_t* oldest = nullptr;
    qint64 heard = std::numeric_limits<qint64>::max();
    for (shard_t& shard : shards) {
        const std::lock_guard lock(shard.mutex);
        if (shard.recency.empty())
            continue;
        const qint64 last = shard.rows.value(shard.recency.back()).row.lastMessage;
        if (last < heard) {
            heard = last;
            oldest = &shard;
        }
    }
    if (!oldest)
        return false;
    const std::lock_guard lock(oldest->mutex);
    if (oldest->recency.empty())
        return false;
    remove(*oldest, oldest->rows.find(oldest->recency.back()));
    return true;
}

void DeviceTable::stamp(device_row_t& row)
{
    row.version = changes.fetch_add(1, std::memory_order_relaxed) + 1;
}

bool DeviceTable::message(
    const QString& name, const QString& peer, bool checksumError, bool storingFailed, bool connecting)
{
    const qint64 moment = clockNowMSecs();
    const QDate today = clockToday();
    shard_t& shard = shardOf(name);
    std::unique_lock lock(shard.mutex);
    device_row_t* row = rowFor(shard, name, moment, Heard::Now);
    if (!row) {
        // Counted even when it finds room: a full table is what the operator is warned of.
        totals_.unlisted.fetch_add(1, std::memory_order_relaxed);
        lock.unlock();
        const bool madeRoom = giveWay();
        lock.lock();
        row = madeRoom ? rowFor(shard, name, moment, Heard::Now) : nullptr;
    }
    if (!row)
        return false;
    startDay(*row, today);
    row->lastMessage = moment;
    row->lastPeer = peer;
    if (connecting && row->connections++ == 0)
        totals_.devicesConnected.fetch_add(1, std::memory_order_relaxed);
    ++row->messages;
    row->checksumErrors += checksumError ? 1 : 0;
    row->allChecksumErrors += checksumError ? 1 : 0;
    row->storingFailures += storingFailed ? 1 : 0;
    stamp(*row);
    return true;
}

void DeviceTable::syntaxError(const QString& name)
{
    shard_t& shard = shardOf(name);
    const std::lock_guard lock(shard.mutex);
    auto found = shard.rows.find(name);
    if (found == shard.rows.end())
        return;
    startDay(found->row, clockToday());
    ++found->row.syntaxErrors;
    ++found->row.allSyntaxErrors;
    stamp(found->row);
}

void DeviceTable::disconnected(const QString& name)
{
    shard_t& shard = shardOf(name);
    const std::lock_guard lock(shard.mutex);
    auto found = shard.rows.find(name);
    if (found == shard.rows.end() || found->row.connections == 0)
        return;
    if (--found->row.connections == 0)
        totals_.devicesConnected.fetch_sub(1, std::memory_order_relaxed);
    stamp(found->row);
}

void DeviceTable::seed(const settings_t& settings, const KnownDevices& known)
{
    const DataFileNames dataFiles(settings);
    struct found_t
    {
        QString device;
        qint64 last = 0;
        QDate oldest;
    };
    QHash<QString, found_t> files;
    const QString folder = settings.file.path;
    QDirIterator entries(folder.isEmpty() ? QStringLiteral(".") : folder, QDir::Files);
    while (entries.hasNext()) {
        entries.next();
        const std::optional<DataFileNames::data_file_t> file = dataFiles.match(entries.fileName());
        if (!file || !known.admits(file->device))
            continue;
        found_t& device = files[file->device];
        device.device = file->device;
        device.last = std::max(device.last, entries.fileInfo().lastModified().toMSecsSinceEpoch());
        if (!device.oldest.isValid() || file->day < device.oldest)
            device.oldest = file->day;
    }
    // The most recently written first, each behind the one before, so that the files written longest
    // ago are the first to give way.
    std::vector<found_t> newestFirst(files.cbegin(), files.cend());
    std::sort(newestFirst.begin(), newestFirst.end(),
        [](const found_t& one, const found_t& other) { return one.last > other.last; });
    for (const found_t& file : newestFirst) {
        shard_t& shard = shardOf(file.device);
        const std::lock_guard lock(shard.mutex);
        if (shard.rows.contains(file.device) || shard.forgotten.contains(file.device))
            continue;
        device_row_t* row = rowFor(shard, file.device, file.oldest.startOfDay().toMSecsSinceEpoch(), Heard::Before);
        if (!row)
            return;
        row->lastMessage = file.last;
        stamp(*row);
    }
}

QStringList DeviceTable::forget(const QStringList& names)
{
    QStringList forgotten;
    for (const QString& name : names) {
        shard_t& shard = shardOf(name);
        const std::lock_guard lock(shard.mutex);
        const auto found = shard.rows.find(name);
        if (found == shard.rows.end() || found->row.connections > 0)
            continue;
        remove(shard, found);
        shard.forgotten.insert(name);
        forgotten << name;
    }
    return forgotten;
}

void DeviceTable::keepOnly(const KnownDevices& known)
{
    for (shard_t& shard : shards) {
        const std::lock_guard lock(shard.mutex);
        for (auto entry = shard.rows.begin(); entry != shard.rows.end();)
            entry = known.admits(entry.key()) ? std::next(entry) : remove(shard, entry);
    }
}

std::vector<device_row_t> DeviceTable::rowsChangedSince(quint64 since) const
{
    const QDate today = clockToday();
    std::vector<device_row_t> changed;
    for (const shard_t& shard : shards) {
        const std::lock_guard lock(shard.mutex);
        for (const entry_t& entry : shard.rows) {
            if (entry.row.version > since)
                changed.push_back(entry.row);
        }
    }
    for (device_row_t& row : changed)
        startDay(row, today);
    return changed;
}

void DeviceTable::replied(std::chrono::nanoseconds latency)
{
    const double seconds = std::chrono::duration<double>(latency).count();
    const auto bound = std::lower_bound(replyLatencyBounds.cbegin(), replyLatencyBounds.cend(), seconds);
    totals_.replyLatencies[bound - replyLatencyBounds.cbegin()].fetch_add(1, std::memory_order_relaxed);
    totals_.replyLatencyNanoseconds.fetch_add(static_cast<quint64>(latency.count()), std::memory_order_relaxed);
}

DevicePresence::DevicePresence(DeviceTable& table) : table(table)
{
    table.totals().connectionsAccepted.fetch_add(1, std::memory_order_relaxed);
}

void DevicePresence::judged(const QString& message, int verdict, const QList<saved_line_t>& saved, const QString& peer)
{
    DeviceTable::totals_t& totals = table.totals();
    if (verdict != verdict::accepted && verdict != verdict::checksumError) {
        totals.syntaxErrors.fetch_add(1, std::memory_order_relaxed);
        if (connected)
            table.syntaxError(device);
        return;
    }
    const bool failed
        = std::any_of(saved.cbegin(), saved.cend(), [](const saved_line_t& line) { return !line.written; });
    (verdict == verdict::accepted ? totals.accepted : totals.checksumErrors).fetch_add(1, std::memory_order_relaxed);
    if (failed)
        totals.storingFailures.fetch_add(1, std::memory_order_relaxed);
    // Working out the name costs more than the rest: only when the name field differs from the last.
    const QStringView field = QStringView(message).mid(nameFieldStart, nameFieldLength);
    if (field != nameField || device.isNull()) {
        ended();
        nameField = field.toString();
        device = deviceName(message);
    }
    if (table.message(device, peer, verdict == verdict::checksumError, failed, !connected))
        connected = true;
}

void DevicePresence::ended()
{
    if (connected)
        table.disconnected(device);
    connected = false;
}
