#include "engine/devicetable.h"

#include "engine/datafiles.h"
#include "messages/messagelayout.h"
#include "recording/dailyfile.h"
#include "recording/devicename.h"
#include "settings/clock.h"
#include "settings/settings.h"

#include <QDirIterator>

#include <algorithm>

namespace {

void startDay(device_row_t& row, const QDate& today)
{
    if (row.day == today)
        return;
    row.day = today;
    row.messages = row.checksumErrors = row.syntaxErrors = row.storingFailures = 0;
}

} // namespace

DeviceTable::DeviceTable(std::size_t capacity) : capacity(capacity) { }

device_row_t* DeviceTable::rowFor(shard_t& shard, const QString& name, qint64 now)
{
    auto found = shard.rows.find(name);
    if (found != shard.rows.end())
        return &*found;
    if (count.fetch_add(1, std::memory_order_relaxed) >= capacity) {
        count.fetch_sub(1, std::memory_order_relaxed);
        return nullptr;
    }
    shard.forgotten.remove(name);
    device_row_t& row = shard.rows[name];
    row.name = name;
    row.firstSeen = now;
    return &row;
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
    const std::lock_guard lock(shard.mutex);
    device_row_t* row = rowFor(shard, name, moment);
    if (!row) {
        totals_.unlisted.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    startDay(*row, today);
    row->lastMessage = moment;
    row->lastPeer = peer;
    if (connecting && row->connections++ == 0)
        totals_.devicesConnected.fetch_add(1, std::memory_order_relaxed);
    ++row->messages;
    row->checksumErrors += checksumError ? 1 : 0;
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
    startDay(*found, clockToday());
    ++found->syntaxErrors;
    stamp(*found);
}

void DeviceTable::disconnected(const QString& name)
{
    shard_t& shard = shardOf(name);
    const std::lock_guard lock(shard.mutex);
    auto found = shard.rows.find(name);
    if (found == shard.rows.end() || found->connections == 0)
        return;
    if (--found->connections == 0)
        totals_.devicesConnected.fetch_sub(1, std::memory_order_relaxed);
    stamp(*found);
}

void DeviceTable::seed(const settings_t& settings)
{
    const DataFileNames dataFiles(settings);
    struct found_t
    {
        qint64 last = 0;
        QDate oldest;
    };
    QHash<QString, found_t> files;
    const QString folder = settings.file.path;
    QDirIterator entries(folder.isEmpty() ? QStringLiteral(".") : folder, QDir::Files);
    while (entries.hasNext()) {
        entries.next();
        const std::optional<DataFileNames::data_file_t> file = dataFiles.match(entries.fileName());
        if (!file)
            continue;
        found_t& device = files[file->device];
        device.last = std::max(device.last, entries.fileInfo().lastModified().toMSecsSinceEpoch());
        if (!device.oldest.isValid() || file->day < device.oldest)
            device.oldest = file->day;
    }
    for (auto file = files.cbegin(); file != files.cend(); ++file) {
        shard_t& shard = shardOf(file.key());
        const std::lock_guard lock(shard.mutex);
        if (shard.rows.contains(file.key()) || shard.forgotten.contains(file.key()))
            continue;
        device_row_t* row = rowFor(shard, file.key(), file->oldest.startOfDay().toMSecsSinceEpoch());
        if (!row)
            return;
        row->lastMessage = file->last;
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
        if (found == shard.rows.end() || found->connections > 0)
            continue;
        shard.rows.erase(found);
        shard.forgotten.insert(name);
        count.fetch_sub(1, std::memory_order_relaxed);
        forgotten << name;
    }
    return forgotten;
}

std::vector<device_row_t> DeviceTable::rowsChangedSince(quint64 since) const
{
    const QDate today = clockToday();
    std::vector<device_row_t> changed;
    for (const shard_t& shard : shards) {
        const std::lock_guard lock(shard.mutex);
        for (const device_row_t& row : shard.rows) {
            if (row.version > since)
                changed.push_back(row);
        }
    }
    for (device_row_t& row : changed)
        startDay(row, today);
    return changed;
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
