#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <chrono>
#include <memory>
#include <vector>

struct pg_conn;
struct pg_result;

// One libpq connection whose every wait ends at a deadline, so that a server that hangs, or a
// network that drops packets without a word, costs a call a few seconds and never the thread.
// Any fault is told as one Hungarian sentence for the operator's line; a fault that leaves the
// connection unusable closes it, and the next connect() starts afresh.
class PgConnection
{
public:
    using Result = std::unique_ptr<pg_result, void (*)(pg_result*)>;
    using Params = std::vector<QByteArray>;

    PgConnection() = default;
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;
    ~PgConnection() { close(); }

    // Connects unless connected already. A conninfo that names no connect_timeout waits `limit` per
    // host; libpq tries the hosts of a multi-host conninfo in turn.
    bool connect(const QString& conninfo, std::chrono::seconds limit, QString* problem);
    bool connected() const;
    void close();

    // Runs one statement (or, without params, several separated by semicolons) and returns its last
    // result, or nothing with `problem` told. Params go as text, none of them NULL.
    Result run(const QByteArray& sql, const Params& params, QDeadlineTimer deadline, QString* problem);
    // Runs "COPY ... FROM STDIN" and sends it `data` in the format the statement names.
    bool copyIn(const QByteArray& sql, const QByteArray& data, QDeadlineTimer deadline, QString* problem);

    // The SQLSTATE of the last statement that the server refused, empty after any other outcome.
    QByteArray lastSqlState() const { return sqlState; }

private:
    bool send(QDeadlineTimer deadline, QString* problem);
    bool waitFor(short events, QDeadlineTimer deadline, QString* problem);
    bool nextResult(Result* result, QDeadlineTimer deadline, QString* problem);
    Result collect(Result current, QDeadlineTimer deadline, QString* problem);
    void tell(const pg_result* failure, QString* problem);
    bool lost(QString* problem);

    pg_conn* conn = nullptr;
    std::chrono::seconds limit {};
    QByteArray sqlState;
};
