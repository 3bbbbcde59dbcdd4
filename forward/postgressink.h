#pragma once

#include "forward/pgconnection.h"
#include "forward/sink.h"

#include <set>

// Lines into a PostgreSQL table partitioned by day, with the cursors in the same database and moved
// in the same transaction as the lines they cover. Several forwarders may share one database, each
// under an instance name of its own.
//
// Exactly once: a delivery's rows and cursors commit together or not at all, so the cursors never
// pass a row that is not stored, nor lag behind one that is. A commit whose outcome is unknown (the
// connection lost during COMMIT) needs nothing more: the caller reloads cursors(), which show
// whether it took. Rows already there are left as they are and cursors only move forward, so even
// two forwarders under one instance name store each line once.
class PostgresSink : public Sink
{
public:
    // `conninfo` as libpq takes it, several hosts with target_session_attrs=read-write for
    // fail-over; `instance` names this forwarder's rows and cursors; `schema` holds the tables.
    PostgresSink(QString conninfo, QString instance, QString schema = QStringLiteral("stilwater"));

    QString name() const override { return QStringLiteral("postgres"); }
    bool open(QString* problem) override;
    bool cursors(Cursors* stored, QString* problem) override;
    bool deliver(const std::vector<ForwardedLine>& lines, const Cursors& after, QString* problem) override;

private:
    bool openWithin(QDeadlineTimer deadline, QString* problem);
    bool migrate(QDeadlineTimer deadline, QString* problem);
    bool createPartitions(const std::vector<ForwardedLine>& lines, QDeadlineTimer deadline, QString* problem);
    enum class Arrival { New, SomeStored };
    bool store(
        const std::vector<ForwardedLine>& lines, const Cursors& after, QDeadlineTimer deadline, QString* problem);
    bool transact(
        const QByteArray& rows, const Cursors& after, Arrival arrival, QDeadlineTimer deadline, QString* problem);
    bool insertSkippingStored(const QByteArray& rows, QDeadlineTimer deadline, QString* problem);
    bool moveCursors(const Cursors& after, QDeadlineTimer deadline, QString* problem);
    QByteArray copyRows(const std::vector<ForwardedLine>& lines) const;
    QByteArray withSchema(const QByteArray& sql) const;

    QString conninfo;
    QByteArray instance;
    QString schemaName;
    QByteArray schema; // quoted, for SQL text
    PgConnection db;
    // Days whose partition this connection has seen exist. A partition dropped meanwhile fails the
    // next insert of its day, which closes the connection and so forgets them all.
    std::set<QDate> partitions;
};
