#include "bench/forwardbench.h"

#include "tests/postgresfixture.h"
#include "tests/serverfixture.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <map>
#include <vector>

namespace {

QString dayFile(const QString& folder, int device)
{
    return QStringLiteral("%1/D%2-log_%3.txt").arg(folder).arg(device).arg(QDate::currentDate().toString(Qt::ISODate));
}

int rowCount(const PostgresServer& database, const QString& table)
{
    return database.query(QStringLiteral("SELECT count(*) FROM %1").arg(table)).value(0).toInt();
}

struct Forwarder
{
    Forwarder(const PostgresServer& database, const QString& folder, const QString& instance)
    {
        process.setWorkingDirectory(folder);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(STILWATER_FORWARD),
            {QStringLiteral("--instance"), instance, QStringLiteral("--postgres"), database.conninfo()});
    }
    ~Forwarder()
    {
        process.terminate();
        process.waitForFinished();
    }
    bool said(const char* text)
    {
        output += process.readAll();
        return output.contains(text);
    }
    QProcess process;
    QByteArray output;
};

// Every line of `devices` devices' day files at once, `lines` each: the backlog of an outage.
double catchUp(const PostgresServer& database, int devices, int lines, QString* problem)
{
    QTemporaryDir folder;
    for (int device = 1; device <= devices; ++device) {
        QByteArray bytes;
        for (int n = 1; n <= lines; ++n)
            bytes += messages::numbered(device, n) + "\r\n";
        QFile file(dayFile(folder.path(), device));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            *problem = QStringLiteral("day files not written");
    }
    QElapsedTimer timer;
    timer.start();
    Forwarder forwarder(database, folder.path(), QStringLiteral("catchup"));
    const int expected = devices * lines;
    // Its own line says when it is done: asking the table all the time would cost the database more
    // than the rows do.
    if (!QTest::qWaitFor([&] { return forwarder.said("naprakész"); }, 600000)
        || rowCount(database, QStringLiteral("stilwater.messages")) != expected)
        *problem = QStringLiteral("catch-up incomplete: ") + QString::fromUtf8(forwarder.output);
    return expected / (double(timer.elapsed()) / 1000);
}

// The same rows through psql's COPY into a table like the forwarder's, unique key and partition too.
double copyReference(const PostgresServer& database, int devices, int lines, QString* problem)
{
    const QString day = QDate::currentDate().toString(Qt::ISODate);
    database.query(QStringLiteral("CREATE SCHEMA reference; CREATE TABLE reference.messages (LIKE stilwater.messages "
                                  "INCLUDING DEFAULTS INCLUDING CONSTRAINTS, UNIQUE (instance, device, day, "
                                  "file_offset)) PARTITION BY RANGE (day); CREATE TABLE reference.today PARTITION OF "
                                  "reference.messages FOR VALUES FROM ('%1') TO ('%1'::date + 1)")
                       .arg(day));
    QTemporaryDir folder;
    const QString rows = folder.filePath(QStringLiteral("rows.copy"));
    QFile file(rows);
    if (!file.open(QIODevice::WriteOnly))
        *problem = QStringLiteral("COPY file not written");
    for (int device = 1; device <= devices; ++device)
        for (int n = 1; n <= lines; ++n)
            file.write(QStringLiteral("reference\tD%1\t%2\t%3\t\\\\x%4\taccepted\tt\n")
                           .arg(device)
                           .arg(day)
                           .arg(qint64(n - 1) * 135)
                           .arg(QString::fromLatin1(messages::numbered(device, n).toHex()))
                           .toLatin1());
    file.close();
    QElapsedTimer timer;
    timer.start();
    QProcess psql;
    psql.start(QStringLiteral("psql"),
        {database.conninfo(), QStringLiteral("-c"),
            QStringLiteral("\\copy reference.messages (instance, device, day, file_offset, line, verdict, checksum_ok) "
                           "FROM '%1'")
                .arg(rows)});
    if (!psql.waitForFinished(600000) || psql.exitCode() != 0)
        *problem = QStringLiteral("psql COPY failed: ") + QString::fromUtf8(psql.readAllStandardError());
    const double rate = devices * lines / (double(timer.elapsed()) / 1000);
    if (rowCount(database, QStringLiteral("reference.messages")) != devices * lines)
        *problem = QStringLiteral("COPY took fewer rows");
    return rate;
}

struct Lag
{
    double p50 = 0;
    double p99 = 0;
    double max = 0;
    int lines = 0;
};

// `devices` files, each growing by a line every ten seconds for `seconds`, as paced devices make them
// grow; each line's lag from its append to its row's insert.
Lag liveLag(const PostgresServer& database, int devices, int seconds, QString* problem)
{
    QTemporaryDir folder;
    Forwarder forwarder(database, folder.path(), QStringLiteral("live"));
    if (!QTest::qWaitFor([&] { return forwarder.said("kapcsolódva"); }, 20000)) {
        *problem = QStringLiteral("forwarder did not connect: ") + QString::fromUtf8(forwarder.output);
        return {};
    }
    // The insert's own moment, not its transaction's start, which is before the batch was read.
    database.query(QStringLiteral("ALTER TABLE stilwater.messages ALTER forwarded_at SET DEFAULT clock_timestamp()"));
    std::map<std::pair<int, qint64>, qint64> appendedAt; // (device, offset): ms since the epoch
    std::vector<qint64> sizes(size_t(devices) + 1, 0);
    QElapsedTimer run;
    run.start();
    const qint64 total = qint64(devices) * seconds / 10;
    for (qint64 written = 0; written < total;) {
        const qint64 due = std::min(total, run.elapsed() * devices / 10000);
        for (; written < due; ++written) {
            const int device = int(written % devices) + 1;
            QFile file(dayFile(folder.path(), device));
            if (!file.open(QIODevice::Append))
                *problem = QStringLiteral("append failed");
            const QByteArray line = messages::numbered(device, int(written / devices) + 1) + "\r\n";
            file.write(line);
            file.close();
            appendedAt[{device, sizes[size_t(device)]}] = QDateTime::currentMSecsSinceEpoch();
            sizes[size_t(device)] += line.size();
        }
        QTest::qWait(5);
    }
    if (!QTest::qWaitFor(
            [&] { return rowCount(database, QStringLiteral("stilwater.messages WHERE instance = 'live'")) >= total; },
            120000)) {
        *problem = QStringLiteral("live lines missing");
        return {};
    }
    std::vector<double> lags;
    for (const QString& row : database.query(
             QStringLiteral("SELECT substr(device, 2), file_offset, (extract(epoch FROM forwarded_at) * 1000)::bigint "
                            "FROM stilwater.messages WHERE instance = 'live'"))) {
        const QStringList fields = row.split(QLatin1Char('|'));
        const auto appended = appendedAt.find({fields.value(0).toInt(), fields.value(1).toLongLong()});
        if (appended != appendedAt.end())
            lags.push_back(double(fields.value(2).toLongLong() - appended->second));
    }
    std::sort(lags.begin(), lags.end());
    if (lags.size() != size_t(total)) {
        *problem = QStringLiteral("live rows do not match the lines appended");
        return {};
    }
    return {lags[lags.size() / 2], lags[lags.size() * 99 / 100], lags.back(), int(lags.size())};
}

} // namespace

bool measureForward(QTextStream& out, int seconds)
{
    PostgresServer database;
    if (!database.ready()) {
        out << "forward: no PostgreSQL could be started\n";
        return false;
    }
    QString problem;
    const int devices = 1000;
    const int lines = 200;
    const double forwarded = catchUp(database, devices, lines, &problem);
    const double copied = problem.isEmpty() ? copyReference(database, devices, lines, &problem) : 0;
    const Lag lag = problem.isEmpty() ? liveLag(database, 19000, std::max(20, seconds * 4), &problem) : Lag();
    out << QStringLiteral("\nforward into PostgreSQL | catch-up lines/s | psql COPY lines/s | ÷COPY | live lag p50 / "
                          "p99 / max ms (19,000 paced devices, %1 lines)\n")
               .arg(lag.lines)
        << QStringLiteral("%1 lines | %2 | %3 | %4 | %5 / %6 / %7\n")
               .arg(devices * lines)
               .arg(forwarded, 0, 'f', 0)
               .arg(copied, 0, 'f', 0)
               .arg(copied > 0 ? forwarded / copied : 0, 0, 'f', 2)
               .arg(lag.p50, 0, 'f', 0)
               .arg(lag.p99, 0, 'f', 0)
               .arg(lag.max, 0, 'f', 0);
    if (!problem.isEmpty())
        out << "forward: " << problem << '\n';
    out.flush();
    return problem.isEmpty();
}
