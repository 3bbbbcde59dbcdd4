#include "forward/postgressink.h"

#include "forward/binarycopy.h"

#include <iterator>
#include <libpq-fe.h>

namespace {

// The columns a delivery fills, in the order of COPY's rows.
const QByteArray deliveredColumns = "instance, device, day, file_offset, line, verdict, checksum_ok";

// Each call's bound: libpq's connect timeout per host, then the statements together, whether
// connecting afresh or not.
constexpr std::chrono::seconds callLimit(5);

// Schema changes in order; the database's schema_version tells how many it has had. "{s}" stands
// for the schema.
//
// A line is bytea: the device's bytes are Latin-1 and may hold any byte at all (a line with a
// checksum error is no text of any kind), which a UTF-8 text column would convert or refuse;
// convert_from(line, 'LATIN1') reads one as text. Rows are partitioned by day so that retention is
// the DROP of a day's partition.
const char* const migrations[] = {
    R"(CREATE TABLE {s}.messages (
        instance text NOT NULL,
        device text NOT NULL,
        day date NOT NULL,
        file_offset bigint NOT NULL,
        line bytea NOT NULL,
        verdict text NOT NULL CHECK (verdict IN ('accepted', 'checksum error')),
        checksum_ok boolean NOT NULL,
        forwarded_at timestamptz NOT NULL DEFAULT now(),
        UNIQUE (instance, device, day, file_offset)
    ) PARTITION BY RANGE (day);
    CREATE TABLE {s}.cursors (
        instance text NOT NULL,
        device text NOT NULL,
        day date NOT NULL,
        next_offset bigint NOT NULL,
        PRIMARY KEY (instance, device, day)
    ))",
};

// SQL's own quoting: libpq's needs a connection, and the schema's name is known before one.
QByteArray quotedIdentifier(const QString& name)
{
    return '"' + name.toUtf8().replace('"', "\"\"") + '"';
}

QByteArray arrayLiteral(const QByteArrayList& items)
{
    QByteArrayList quoted;
    for (QByteArray item : items)
        quoted.append('"' + item.replace('\\', "\\\\").replace('"', "\\\"") + '"');
    return '{' + quoted.join(',') + '}';
}

QByteArray isoDay(QDate day)
{
    return day.toString(Qt::ISODate).toLatin1();
}

// Another forwarder created the partition between this one's look and its own CREATE.
bool createdMeanwhile(const QByteArray& sqlState)
{
    return sqlState == "42P07" /* duplicate_table */ || sqlState == "23505" /* unique_violation */;
}

} // namespace

PostgresSink::PostgresSink(QString conninfo, QString instance, QString schema)
    : conninfo(std::move(conninfo)), instance(instance.toUtf8()), schemaName(schema), schema(quotedIdentifier(schema))
{ }

bool PostgresSink::open(QString* problem)
{
    return openWithin(QDeadlineTimer(callLimit), problem);
}

bool PostgresSink::openWithin(QDeadlineTimer deadline, QString* problem)
{
    if (db.connected())
        return true;
    partitions.clear();
    if (!db.connect(conninfo, callLimit, problem))
        return false;
    if (!migrate(deadline, problem)) {
        db.close();
        return false;
    }
    return true;
}

// Forwarders starting together take turns, so that none trips over another's half-made schema.
bool PostgresSink::migrate(QDeadlineTimer deadline, QString* problem)
{
    if (!db.run("BEGIN", {}, deadline, problem)
        || !db.run("SELECT pg_advisory_xact_lock(hashtext($1))", {"stilwater-forward " + schemaName.toUtf8()}, deadline,
            problem))
        return false;
    const PgConnection::Result version = db.run(withSchema("CREATE SCHEMA IF NOT EXISTS {s}; "
                                                           "CREATE TABLE IF NOT EXISTS {s}.schema_version "
                                                           "(version integer NOT NULL); "
                                                           "SELECT coalesce(max(version), 0) FROM {s}.schema_version"),
        {}, deadline, problem);
    if (!version)
        return false;
    const int known = int(std::size(migrations));
    const int reached = QByteArray(PQgetvalue(version.get(), 0, 0)).toInt();
    if (reached > known) {
        *problem = QStringLiteral("PostgreSQL: a(z) %1 séma %2. változatú, ez a program csak a %3. változatig "
                                  "ismeri; újabb stilwater-forward kell hozzá.")
                       .arg(schemaName)
                       .arg(reached)
                       .arg(known);
        return false;
    }
    for (int next = reached; next < known; ++next) {
        const QByteArray step = withSchema(migrations[next]) + withSchema("; INSERT INTO {s}.schema_version VALUES (")
            + QByteArray::number(next + 1) + ')';
        if (!db.run(step, {}, deadline, problem))
            return false;
    }
    return bool(db.run("COMMIT", {}, deadline, problem));
}

bool PostgresSink::cursors(Cursors* stored, QString* problem)
{
    const QDeadlineTimer deadline(callLimit);
    if (!openWithin(deadline, problem))
        return false;
    const PgConnection::Result rows = db.run(withSchema("SELECT device, day, next_offset FROM {s}.cursors "
                                                        "WHERE instance = $1"),
        {instance}, deadline, problem);
    if (!rows) {
        db.close();
        return false;
    }
    stored->clear();
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
        const DayFileKey file {QString::fromUtf8(PQgetvalue(rows.get(), row, 0)),
            QDate::fromString(QLatin1String(PQgetvalue(rows.get(), row, 1)), Qt::ISODate)};
        (*stored)[file] = QByteArray(PQgetvalue(rows.get(), row, 2)).toLongLong();
    }
    return true;
}

bool PostgresSink::deliver(const std::vector<ForwardedLine>& lines, const Cursors& after, QString* problem)
{
    const QDeadlineTimer deadline(callLimit);
    if (!openWithin(deadline, problem))
        return false;
    if (!createPartitions(lines, deadline, problem) || !store(lines, after, deadline, problem)) {
        // Closing rolls back whatever the transaction had done.
        db.close();
        return false;
    }
    return true;
}

// Each in a transaction of its own, before the rows': creating one locks the whole table a moment.
bool PostgresSink::createPartitions(const std::vector<ForwardedLine>& lines, QDeadlineTimer deadline, QString* problem)
{
    for (const ForwardedLine& line : lines) {
        const QDate day = line.file.day;
        if (partitions.count(day) != 0)
            continue;
        const QByteArray sql = withSchema("CREATE TABLE IF NOT EXISTS {s}.messages_")
            + day.toString(u"yyyyMMdd").toLatin1() + withSchema(" PARTITION OF {s}.messages FOR VALUES FROM ('")
            + isoDay(day) + "') TO ('" + isoDay(day.addDays(1)) + "')";
        if (!db.run(sql, {}, deadline, problem) && !(db.connected() && createdMeanwhile(db.lastSqlState())))
            return false;
        partitions.insert(day);
    }
    return true;
}

// Straight in with COPY, as fast as the server takes rows. A row already there fails that: another
// forwarder under this instance name stored it meanwhile, or the caller sends a batch again. The
// slower way then skips such rows.
bool PostgresSink::store(
    const std::vector<ForwardedLine>& lines, const Cursors& after, QDeadlineTimer deadline, QString* problem)
{
    const QByteArray rows = copyRows(lines);
    if (transact(rows, after, Arrival::New, deadline, problem))
        return true;
    return db.connected() && db.lastSqlState() == "23505" /* unique_violation */
        && db.run("ROLLBACK", {}, deadline, problem) && transact(rows, after, Arrival::SomeStored, deadline, problem);
}

bool PostgresSink::transact(
    const QByteArray& rows, const Cursors& after, Arrival arrival, QDeadlineTimer deadline, QString* problem)
{
    if (!db.run("BEGIN", {}, deadline, problem))
        return false;
    if (!rows.isEmpty()
        && !(arrival == Arrival::New
                ? db.copyIn(withSchema("COPY {s}.messages (" + deliveredColumns + ") FROM STDIN (FORMAT binary)"), rows,
                    deadline, problem)
                : insertSkippingStored(rows, deadline, problem)))
        return false;
    if (!after.empty() && !moveCursors(after, deadline, problem))
        return false;
    return bool(db.run("COMMIT", {}, deadline, problem));
}

// COPY cannot skip a row; the rows go through a table of the session's own, emptied at each commit.
bool PostgresSink::insertSkippingStored(const QByteArray& rows, QDeadlineTimer deadline, QString* problem)
{
    return db.run(withSchema("CREATE TEMPORARY TABLE IF NOT EXISTS arriving (LIKE {s}.messages INCLUDING DEFAULTS) "
                             "ON COMMIT DELETE ROWS"),
               {}, deadline, problem)
        && db.copyIn(
            "COPY pg_temp.arriving (" + deliveredColumns + ") FROM STDIN (FORMAT binary)", rows, deadline, problem)
        && db.run(withSchema("INSERT INTO {s}.messages (" + deliveredColumns + ") SELECT " + deliveredColumns
                      + " FROM pg_temp.arriving ON CONFLICT DO NOTHING"),
            {}, deadline, problem);
}

// Cursors only move forward, so that a forwarder behind another under the same instance name
// cannot send it back over lines stored already.
bool PostgresSink::moveCursors(const Cursors& after, QDeadlineTimer deadline, QString* problem)
{
    QByteArrayList devices, days, offsets;
    for (const auto& [file, offset] : after) {
        devices.append(file.device.toUtf8());
        days.append(isoDay(file.day));
        offsets.append(QByteArray::number(offset));
    }
    return bool(db.run(withSchema("INSERT INTO {s}.cursors AS c (instance, device, day, next_offset) "
                                  "SELECT $1, * FROM unnest($2::text[], $3::date[], $4::bigint[]) "
                                  "ON CONFLICT (instance, device, day) "
                                  "DO UPDATE SET next_offset = greatest(c.next_offset, excluded.next_offset)"),
        {instance, arrayLiteral(devices), arrayLiteral(days), arrayLiteral(offsets)}, deadline, problem));
}

QByteArray PostgresSink::copyRows(const std::vector<ForwardedLine>& lines) const
{
    if (lines.empty())
        return {};
    qsizetype bytes = 0;
    for (const ForwardedLine& line : lines)
        bytes += line.bytes.size() + line.file.device.size() + instance.size() + 80;
    BinaryCopy rows(bytes);
    for (const ForwardedLine& line : lines) {
        rows.startRow(7);
        rows.add(instance);
        rows.add(line.file.device.toUtf8());
        rows.add(line.file.day);
        rows.add(line.offset);
        rows.add(line.bytes);
        rows.add(line.checksumOk ? QByteArray("accepted") : QByteArray("checksum error"));
        rows.add(line.checksumOk);
    }
    return rows.finish();
}

QByteArray PostgresSink::withSchema(const QByteArray& sql) const
{
    return QByteArray(sql).replace("{s}", schema);
}
