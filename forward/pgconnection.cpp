#include "forward/pgconnection.h"

#include <cerrno>
#include <cstring>
#include <libpq-fe.h>
#include <poll.h>

namespace {

PgConnection::Result none()
{
    return {nullptr, PQclear};
}

// libpq's messages end in a newline and, for several hosts, hold one line each.
QString oneLine(const char* text)
{
    return QString::fromUtf8(text).simplified();
}

bool isFailure(const PGresult* result)
{
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_BAD_RESPONSE || status == PGRES_NONFATAL_ERROR || status == PGRES_FATAL_ERROR;
}

} // namespace

bool PgConnection::connected() const
{
    return conn != nullptr && PQstatus(conn) == CONNECTION_OK;
}

bool PgConnection::connect(const QString& conninfo, std::chrono::seconds callLimit, QString* problem)
{
    if (connected())
        return true;
    close();
    limit = callLimit;
    const QByteArray info = conninfo.toUtf8();
    const QByteArray seconds = QByteArray::number(qint64(limit.count()));
    // Keywords before dbname (which expands the conninfo) are defaults that it may override; the
    // encoding after it holds regardless, since text columns are sent and read as UTF-8.
    const char* const keywords[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
    const char* const values[] = {seconds.constData(), "stilwater-forward", info.constData(), "UTF8", nullptr};
    conn = PQconnectdbParams(keywords, values, 1);
    // "Already exists, skipping" and the like are no news to anyone.
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString user = QString::fromUtf8(PQuser(conn));
        // The server asked for a password: none was given, or the one given was refused.
        if (PQconnectionNeedsPassword(conn))
            *problem = QStringLiteral("PostgreSQL: a szerver jelszót kér, de a kapcsolat leírása nem ad meg "
                                      "jelszót (felhasználó: %1).")
                           .arg(user);
        else if (PQconnectionUsedPassword(conn))
            *problem = QStringLiteral("PostgreSQL: hibás jelszó (felhasználó: %1).").arg(user);
        else
            *problem = QStringLiteral("PostgreSQL nem érhető el: %1").arg(oneLine(PQerrorMessage(conn)));
        close();
        return false;
    }
    // The server gives up on a statement about when this side would, so that no lock outlives a call
    // that was abandoned; dates come back as the ISO text the sink parses.
    if (PQsetnonblocking(conn, 1) != 0)
        return lost(problem);
    const QByteArray session
        = "SET statement_timeout = " + QByteArray::number(qint64(limit.count()) * 1000) + "; SET datestyle = ISO";
    if (!run(session, {}, QDeadlineTimer(limit), problem)) {
        close();
        return false;
    }
    return true;
}

void PgConnection::close()
{
    PQfinish(conn);
    conn = nullptr;
}

PgConnection::Result PgConnection::run(
    const QByteArray& sql, const Params& params, QDeadlineTimer deadline, QString* problem)
{
    sqlState.clear();
    std::vector<const char*> values;
    for (const QByteArray& param : params)
        values.push_back(param.constData());
    const int sent = params.empty()
        ? PQsendQuery(conn, sql.constData())
        : PQsendQueryParams(conn, sql.constData(), int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
    if (!sent) {
        lost(problem);
        return none();
    }
    if (!send(deadline, problem))
        return none();
    return collect(none(), deadline, problem);
}

bool PgConnection::copyIn(const QByteArray& sql, const QByteArray& data, QDeadlineTimer deadline, QString* problem)
{
    sqlState.clear();
    if (!PQsendQuery(conn, sql.constData()))
        return lost(problem);
    Result started = none();
    if (!send(deadline, problem) || !nextResult(&started, deadline, problem))
        return false;
    if (PQresultStatus(started.get()) != PGRES_COPY_IN)
        return bool(collect(std::move(started), deadline, problem));
    // Sent in pieces, so that libpq's buffer never holds a second copy of a large batch.
    constexpr qsizetype piece = 1 << 20;
    for (qsizetype at = 0; at < data.size(); at += piece) {
        int queued;
        while ((queued = PQputCopyData(conn, data.constData() + at, int(std::min(piece, data.size() - at)))) == 0) {
            if (!waitFor(POLLOUT, deadline, problem))
                return false;
        }
        if (queued < 0)
            return lost(problem);
        if (!send(deadline, problem))
            return false;
    }
    int ended;
    while ((ended = PQputCopyEnd(conn, nullptr)) == 0) {
        if (!waitFor(POLLOUT, deadline, problem))
            return false;
    }
    if (ended < 0)
        return lost(problem);
    return send(deadline, problem) && collect(none(), deadline, problem);
}

bool PgConnection::send(QDeadlineTimer deadline, QString* problem)
{
    for (;;) {
        const int pending = PQflush(conn);
        if (pending == 0)
            return true;
        if (pending < 0)
            return lost(problem);
        // The server may be waiting for this side to read what it sent before it reads on.
        if (!waitFor(POLLOUT | POLLIN, deadline, problem))
            return false;
        if (!PQconsumeInput(conn))
            return lost(problem);
    }
}

bool PgConnection::waitFor(short events, QDeadlineTimer deadline, QString* problem)
{
    pollfd watched {PQsocket(conn), events, 0};
    int ready;
    do {
        ready = ::poll(&watched, 1, int(deadline.remainingTime()));
    } while (ready < 0 && errno == EINTR);
    if (ready > 0)
        return true;
    *problem = ready == 0
        ? QStringLiteral("PostgreSQL: %1 másodperc alatt sem válaszolt, a kapcsolatot bontottam.").arg(limit.count())
        : QStringLiteral("PostgreSQL: a kapcsolat figyelése nem sikerült: %1")
              .arg(QString::fromLocal8Bit(strerror(errno)));
    close();
    return false;
}

bool PgConnection::nextResult(Result* result, QDeadlineTimer deadline, QString* problem)
{
    while (PQisBusy(conn)) {
        if (!waitFor(POLLIN, deadline, problem))
            return false;
        if (!PQconsumeInput(conn))
            return lost(problem);
    }
    result->reset(PQgetResult(conn));
    return true;
}

// Reads every result of what was sent, so that the connection is ready for the next statement; the
// first failure among them fails the whole.
PgConnection::Result PgConnection::collect(Result current, QDeadlineTimer deadline, QString* problem)
{
    Result last = none();
    bool failed = false;
    do {
        if (current) {
            if (!failed && isFailure(current.get())) {
                failed = true;
                tell(current.get(), problem);
                if (!conn)
                    return none();
            }
            last = std::move(current);
        }
        if (!nextResult(&current, deadline, problem))
            return none();
    } while (current);
    return failed ? none() : std::move(last);
}

void PgConnection::tell(const pg_result* failure, QString* problem)
{
    const char* severity = PQresultErrorField(failure, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (PQstatus(conn) == CONNECTION_BAD || qstrcmp(severity, "FATAL") == 0 || qstrcmp(severity, "PANIC") == 0) {
        *problem = QStringLiteral("PostgreSQL: megszakadt a kapcsolat: %1").arg(oneLine(PQresultErrorMessage(failure)));
        close();
        return;
    }
    sqlState = PQresultErrorField(failure, PG_DIAG_SQLSTATE);
    const char* primary = PQresultErrorField(failure, PG_DIAG_MESSAGE_PRIMARY);
    *problem = QStringLiteral("PostgreSQL-hiba: %1 (%2)")
                   .arg(oneLine(primary ? primary : PQresultErrorMessage(failure)), QString::fromLatin1(sqlState));
}

bool PgConnection::lost(QString* problem)
{
    *problem = QStringLiteral("PostgreSQL: megszakadt a kapcsolat: %1").arg(oneLine(PQerrorMessage(conn)));
    close();
    return false;
}
