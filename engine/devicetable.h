#pragma once

#include <QDate>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <chrono>
#include <list>
#include <mutex>
#include <vector>

class KnownDevices;
class settings_t;
struct saved_line_t;

// What the server knows of one device, by the name that its messages give its day files.
struct device_row_t
{
    QString name;
    qint64 lastMessage = 0; // milliseconds since the epoch of its last message with the right form
    QString lastPeer; // empty for a device known only from its files
    int connections = 0; // open connections whose last message with the right form named it
    // Since local midnight: messages with the right form, checksum errors among them, syntax errors
    // on its connections, and messages that did not reach a file.
    quint64 messages = 0;
    quint64 checksumErrors = 0;
    quint64 syntaxErrors = 0;
    quint64 storingFailures = 0;
    // Since the row was made: the metrics' counters, which must not fall at midnight.
    quint64 allChecksumErrors = 0;
    quint64 allSyntaxErrors = 0;
    qint64 firstSeen = 0; // milliseconds since the epoch
    QDate day; // the day that the counts belong to
    quint64 version = 0; // DeviceTable::version() when the row last changed
};

// The devices that have reported, for the window and the metrics. Every event-loop thread writes to
// it; names are spread over shards, each with a lock of its own held for a few hash operations, so
// that the message path hardly ever waits. Names come from the wire, so at most `capacity` of them
// are kept: once the table is full, the row of the device heard least recently gives way to a new
// name, so that invented names cannot keep the real devices that come later out.
class DeviceTable
{
public:
    // `shardCount` is the tests' to lower, so that names meet in one shard.
    explicit DeviceTable(std::size_t capacity = 50000, std::size_t shardCount = 32);

    // Seconds; from a file in a page cache to a disk's flush.
    static constexpr std::array<double, 11> replyLatencyBounds {
        0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1};

    struct totals_t
    {
        std::atomic<quint64> accepted {0};
        std::atomic<quint64> checksumErrors {0};
        std::atomic<quint64> syntaxErrors {0};
        std::atomic<quint64> storingFailures {0};
        std::atomic<quint64> connectionsAccepted {0};
        std::atomic<quint64> descriptorRefusals {0};
        // Connections turned away for the other reasons, each counted where its journal line is written.
        std::atomic<quint64> unknownDeviceRefusals {0};
        std::atomic<quint64> perAddressRefusals {0};
        std::atomic<quint64> totalLimitRefusals {0};
        std::atomic<quint64> invalidProxyHeaders {0};
        // Connections ended, by who ended them as the journal names it: indexed by Connection::CloseReason.
        std::atomic<quint64> closed[3] {};
        // From a message's last byte to its reply, which in durable mode waits for the disk: how many
        // took at most each of replyLatencyBounds, and more, and their sum.
        std::atomic<quint64> replyLatencies[std::tuple_size_v<decltype(replyLatencyBounds)> + 1] {};
        std::atomic<quint64> replyLatencyNanoseconds {0};
        std::atomic<quint64> unlisted {0}; // messages of names that found no row and the table full
        std::atomic<qint64> devicesConnected {0};
    };
    totals_t& totals() { return totals_; }
    void replied(std::chrono::nanoseconds latency);

    // A message with the right form; false when the name found no row.
    bool message(const QString& name, const QString& peer, bool checksumError, bool storingFailed, bool connecting);
    void syntaxError(const QString& name);
    void disconnected(const QString& name);
    // Learns the devices that have data files and that `known` admits, with their files' last
    // change, as heard before any other, and leaves devices it knows already as they are. A folder
    // that was ever open holds the invented names' files too.
    void seed(const settings_t& settings, const KnownDevices& known);
    // Drops the rows of the names that `known` does not admit: a list taken holds only its devices.
    void keepOnly(const KnownDevices& known);
    // Drops the rows of devices taken out of service, which leave the window and the metrics until
    // they send again, even when a Start finds their day files; a device with an open connection is
    // not one of them and stays. Returns the names dropped.
    QStringList forget(const QStringList& names);

    // Rows changed after version `since` (0: all), their counts as of today.
    std::vector<device_row_t> rowsChangedSince(quint64 since) const;
    quint64 version() const { return changes.load(std::memory_order_relaxed); }
    std::size_t size() const { return count.load(std::memory_order_relaxed); }
    // How many rows have gone so far: a view that holds rows takes them all again when it changes.
    quint64 removals() const { return removed.load(std::memory_order_relaxed); }

private:
    struct entry_t
    {
        device_row_t row;
        std::list<QString>::iterator heard; // its place in its shard's `recency`
    };
    // Each on a cache line of its own, so that threads writing to different shards do not slow
    // each other down.
    using Entries = QHash<QString, entry_t>;
    struct alignas(64) shard_t
    {
        mutable std::mutex mutex;
        Entries rows;
        std::list<QString> recency; // the names, the most recently heard first
        QSet<QString> forgotten; // until they send again
    };
    enum class Heard { Now, Before };
    shard_t& shardOf(const QString& name) { return shards[qHash(name) % shards.size()]; }
    device_row_t* rowFor(shard_t& shard, const QString& name, qint64 now, Heard heard);
    // Takes the row out; returns the entry after it.
    Entries::iterator remove(shard_t& shard, Entries::iterator entry);
    bool giveWay();
    void stamp(device_row_t& row);

    const std::size_t capacity;
    std::vector<shard_t> shards;
    alignas(64) std::atomic<std::size_t> count {0};
    alignas(64) std::atomic<quint64> changes {0};
    std::atomic<quint64> removed {0};
    alignas(64) totals_t totals_;
};

// The connection's side of the table: the device it speaks for is the one named by its last message
// with the right form, so that syntax errors, whose name field cannot be trusted, go to that device,
// and its hang-up ends that device's connection.
class DevicePresence
{
public:
    explicit DevicePresence(DeviceTable& table);
    // A judged message and where it was stored (nothing for a syntax error).
    void judged(const QString& message, int verdict, const QList<saved_line_t>& saved, const QString& peer);
    void ended();

private:
    DeviceTable& table;
    QString nameField; // of the last message of the right form
    QString device; // its name
    bool connected = false;
};
