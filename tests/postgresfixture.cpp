#include "tests/postgresfixture.h"

#include "tests/testsupport.h"

#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString binaries = u"/usr/lib/postgresql/15/bin/"_s;

const QByteArray accessRules = "local all all trust\n"
                               "host all guarded 127.0.0.1/32 scram-sha-256\n"
                               "host all all 127.0.0.1/32 trust\n"
                               "host replication all 127.0.0.1/32 trust\n";

// The user the server runs as, and owns its folder: nobody when the tests run as root.
const passwd* serverUser()
{
    return geteuid() == 0 ? getpwnam("nobody") : nullptr;
}

} // namespace

PostgresServer::PostgresServer() : PostgresServer(nullptr)
{
    made = made
        && query(u"CREATE ROLE %1 LOGIN PASSWORD '%2'; GRANT CREATE ON DATABASE postgres TO %1"_s.arg(
                     QLatin1String(guardedUser), QLatin1String(guardedPassword)))
               .isEmpty();
}

PostgresServer::PostgresServer(const PostgresServer* primary) : listenPort(freeLoopbackPort())
{
    if (const passwd* user = serverUser();
        user && chown(QFile::encodeName(dir.path()), user->pw_uid, user->pw_gid) != 0)
        return;
    if (primary) {
        made = run(binaries + u"pg_basebackup"_s,
            {u"-h"_s, u"127.0.0.1"_s, u"-p"_s, QString::number(primary->port()), u"-U"_s, u"postgres"_s, u"-D"_s,
                dataDir(), u"-R"_s, u"-X"_s, u"stream"_s, u"--checkpoint=fast"_s, u"--no-sync"_s});
    } else {
        made = run(binaries + u"initdb"_s,
            {u"-D"_s, dataDir(), u"-U"_s, u"postgres"_s, u"-A"_s, u"trust"_s, u"-E"_s, u"UTF8"_s, u"--locale=C"_s,
                u"--no-sync"_s, u"--no-instructions"_s});
        if (made)
            writeFile(dataDir() + u"/pg_hba.conf"_s, accessRules);
    }
    made = made && start();
}

PostgresServer::~PostgresServer()
{
    if (running)
        stop(Stop::Immediate);
}

std::unique_ptr<PostgresServer> PostgresServer::standbyOf(const PostgresServer& primary)
{
    return std::unique_ptr<PostgresServer>(new PostgresServer(&primary));
}

QString PostgresServer::conninfo(const QString& more) const
{
    return u"host=127.0.0.1 port=%1 dbname=postgres user=postgres %2"_s.arg(listenPort).arg(more);
}

bool PostgresServer::start()
{
    // fsync off: the tests' crashes are the server's, never the machine's.
    const QString options = u"-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off"_s.arg(listenPort).arg(dir.path());
    running = run(binaries + u"pg_ctl"_s,
        {u"start"_s, u"-w"_s, u"-t"_s, u"60"_s, u"-D"_s, dataDir(), u"-l"_s, dir.filePath(u"log"_s), u"-o"_s, options});
    return running;
}

bool PostgresServer::stop(Stop mode)
{
    running = !run(binaries + u"pg_ctl"_s,
        {u"stop"_s, u"-w"_s, u"-m"_s, mode == Stop::Fast ? u"fast"_s : u"immediate"_s, u"-D"_s, dataDir()});
    return !running;
}

bool PostgresServer::promote()
{
    return run(binaries + u"pg_ctl"_s, {u"promote"_s, u"-w"_s, u"-D"_s, dataDir()});
}

QStringList PostgresServer::query(const QString& sql) const
{
    return SqlSession(conninfo()).exec(sql);
}

bool PostgresServer::run(const QString& program, const QStringList& arguments) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(dir.path());
    if (const passwd* user = serverUser()) {
        process.setProgram(u"setpriv"_s);
        process.setArguments(QStringList {u"--reuid=%1"_s.arg(user->pw_uid), u"--regid=%1"_s.arg(user->pw_gid),
                                 u"--clear-groups"_s, program}
            + arguments);
    } else {
        process.setProgram(program);
        process.setArguments(arguments);
    }
    process.start();
    const bool succeeded
        = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!succeeded)
        qWarning().noquote() << program << arguments.join(u' ') << "failed:" << process.readAll()
                             << readFileBytes(dir.filePath(u"log"_s));
    return succeeded;
}

SqlSession::SqlSession(const QString& conninfo) : conn(PQconnectdb(conninfo.toUtf8().constData())) { }

SqlSession::~SqlSession()
{
    PQfinish(conn);
}

QStringList SqlSession::exec(const QString& sql)
{
    PGresult* result = PQexec(conn, sql.toUtf8().constData());
    QStringList rows;
    if (PQresultStatus(result) == PGRES_TUPLES_OK) {
        for (int row = 0; row < PQntuples(result); ++row) {
            QStringList fields;
            for (int field = 0; field < PQnfields(result); ++field)
                fields.append(QString::fromUtf8(PQgetvalue(result, row, field)));
            rows.append(fields.join(u'|'));
        }
    } else if (PQresultStatus(result) != PGRES_COMMAND_OK) {
        rows.append(QString::fromUtf8(PQerrorMessage(conn)).simplified());
    }
    PQclear(result);
    return rows;
}
