#include "forward/postgressink.h"
#include "tests/postgresfixture.h"
#include "tests/testsupport.h"

#include <csignal>
#include <thread>

using namespace Qt::StringLiterals;

using Lines = std::vector<ForwardedLine>;
Q_DECLARE_METATYPE(Lines)
Q_DECLARE_METATYPE(Cursors)
Q_DECLARE_METATYPE(PostgresServer::Stop)

namespace QTest {
// "device day:offset ...", for a comparison that fails.
template<>
char* toString(const Cursors& cursors)
{
    QStringList files;
    for (const auto& [file, offset] : cursors)
        files.append(u"%1 %2:%3"_s.arg(file.device, file.day.toString(Qt::ISODate)).arg(offset));
    return qstrdup(files.join(u' ').toUtf8().constData());
}
} // namespace QTest

namespace {

const QDate monday(2026, 12, 7);
const QDate tuesday(2026, 12, 8);
const Cursors firstAfter {{{u"K01"_s, monday}, 8}};

ForwardedLine line(const QString& device, QDate day, qint64 offset, const QByteArray& bytes, bool checksumOk = true)
{
    return {{device, day}, offset, bytes, checksumOk};
}

// Each test function and row in a schema of its own, so that they share one server.
QString testSchema()
{
    return (u"t_"_s + QLatin1String(QTest::currentTestFunction()) + u'_' + QLatin1String(QTest::currentDataTag()))
        .toLower()
        .replace(QRegularExpression(u"[^a-z0-9_]"_s), u"_"_s);
}

// "partition|instance|device|day|offset|line in hex|verdict|checksum ok", in key order.
QStringList storedRows(const PostgresServer& server, const QString& schema)
{
    return server.query(u"SELECT relname, instance, device, day, file_offset, encode(line, 'hex'), verdict, "
                        "checksum_ok FROM %1.messages m JOIN pg_class ON pg_class.oid = m.tableoid "
                        "ORDER BY instance, day, device, file_offset"_s.arg(schema));
}

Cursors storedCursors(PostgresSink& sink)
{
    Cursors stored;
    QString problem;
    if (!sink.cursors(&stored, &problem))
        qWarning().noquote() << problem;
    return stored;
}

} // namespace

class ForwardPostgresTest final : public StilwaterTest
{
    Q_OBJECT

    std::optional<PostgresServer> shared;

private slots:
    void initTestCase()
    {
        StilwaterTest::initTestCase();
        QVERIFY(shared.emplace().ready());
    }

    void roundTrip_data()
    {
        QTest::addColumn<Lines>("lines");
        QTest::addColumn<Cursors>("after");
        QTest::addColumn<QStringList>("rows");

        QTest::newRow("latin1 and a checksum error")
            << Lines {line(u"K01"_s, monday, 0, "ABC"), line(u"K01"_s, monday, 5, "\xC1\xC9\x00\xFF"_ba, false)}
            << Cursors {{{u"K01"_s, monday}, 11}}
            << QStringList {u"messages_20261207|here|K01|2026-12-07|0|414243|accepted|t"_s,
                   u"messages_20261207|here|K01|2026-12-07|5|c1c900ff|checksum error|f"_s};
        QTest::newRow("two days and a skipped file")
            << Lines {line(u"K01"_s, monday, 40, "M"), line(u"K02"_s, tuesday, 0, "T")}
            << Cursors {{{u"K01"_s, monday}, 43}, {{u"K02"_s, tuesday}, 3}, {{u"K03"_s, tuesday}, 90}}
            << QStringList {u"messages_20261207|here|K01|2026-12-07|40|4d|accepted|t"_s,
                   u"messages_20261208|here|K02|2026-12-08|0|54|accepted|t"_s};
        QTest::newRow("cursors only") << Lines {} << Cursors {{{u"K01"_s, monday}, 70}} << QStringList {};
    }

    // What a sink stores, a sink connected afresh finds; and the same batch once more adds nothing.
    void roundTrip()
    {
        QFETCH(Lines, lines);
        QFETCH(Cursors, after);
        QFETCH(QStringList, rows);
        const QString schema = testSchema();
        QString problem;

        PostgresSink first(shared->conninfo(), u"here"_s, schema);
        QVERIFY2(first.deliver(lines, after, &problem), qPrintable(problem));
        PostgresSink again(shared->conninfo(), u"here"_s, schema);
        QCOMPARE(storedCursors(again), after);
        QVERIFY2(again.deliver(lines, after, &problem), qPrintable(problem));
        QCOMPARE(storedRows(*shared, schema), rows);
    }

    void twoForwarders_data()
    {
        QTest::addColumn<QString>("secondInstance");
        QTest::addColumn<Cursors>("secondCursors");
        QTest::addColumn<int>("rows");
        QTest::newRow("two instances") << u"south"_s << Cursors {{{u"K01"_s, monday}, 4}} << 3;
        QTest::newRow("one instance, the second behind") << u"north"_s << firstAfter << 2;
    }

    // The second delivers the first line of K01 after the first has delivered it and moved on.
    void twoForwarders()
    {
        QFETCH(QString, secondInstance);
        QFETCH(Cursors, secondCursors);
        QFETCH(int, rows);
        const QString schema = testSchema();
        PostgresSink first(shared->conninfo(), u"north"_s, schema);
        PostgresSink second(shared->conninfo(), secondInstance, schema);
        QString problem;
        QVERIFY2(first.deliver({line(u"K01"_s, monday, 0, "N"), line(u"K01"_s, monday, 4, "NN")}, firstAfter, &problem),
            qPrintable(problem));
        QVERIFY2(
            second.deliver({line(u"K01"_s, monday, 0, "N")}, {{{u"K01"_s, monday}, 4}}, &problem), qPrintable(problem));
        QCOMPARE(storedCursors(first), firstAfter);
        QCOMPARE(storedCursors(second), secondCursors);
        QCOMPARE(storedRows(*shared, schema).size(), rows);
    }

    // A server that takes the connection and then answers nothing costs a call its few seconds.
    void hungServer()
    {
        PostgresSink sink(shared->conninfo(u"application_name=hung"_s), u"here"_s, testSchema());
        QString problem;
        QVERIFY2(sink.open(&problem), qPrintable(problem));
        const QStringList backend
            = shared->query(u"SELECT pid FROM pg_stat_activity WHERE application_name = 'hung'"_s);
        QCOMPARE(backend.size(), 1);
        const pid_t pid = backend.first().toInt();
        QCOMPARE(kill(pid, SIGSTOP), 0);
        const auto resume = qScopeGuard([pid] { kill(pid, SIGCONT); });
        QElapsedTimer waited;
        waited.start();
        QVERIFY(!sink.deliver({line(u"K01"_s, monday, 0, "H")}, {{{u"K01"_s, monday}, 3}}, &problem));
        QCOMPARE(problem, u"PostgreSQL: 5 másodperc alatt sem válaszolt, a kapcsolatot bontottam."_s);
        QVERIFY(waited.elapsed() < 7000);
    }

    // The other forwarder is half-way through creating the day's partition when this one needs it.
    void partitionCreatedMeanwhile()
    {
        const QString schema = testSchema();
        PostgresSink sink(shared->conninfo(), u"here"_s, schema);
        QString problem;
        QVERIFY2(sink.open(&problem), qPrintable(problem));
        SqlSession other(shared->conninfo());
        QCOMPARE(other.exec(u"BEGIN; CREATE TABLE %1.messages_20261208 PARTITION OF %1.messages "
                            "FOR VALUES FROM ('2026-12-08') TO ('2026-12-09')"_s.arg(schema)),
            QStringList());

        bool delivered = false;
        std::thread delivering([&] {
            delivered = sink.deliver({line(u"K01"_s, tuesday, 0, "T")}, {{{u"K01"_s, tuesday}, 3}}, &problem);
        });
        QTRY_COMPARE(shared->query(u"SELECT wait_event_type FROM pg_stat_activity WHERE application_name = "
                                   "'stilwater-forward' AND state = 'active'"_s),
            QStringList {u"Lock"_s});
        other.exec(u"COMMIT"_s);
        delivering.join();
        QVERIFY2(delivered, qPrintable(problem));
        QCOMPARE(storedRows(*shared, schema).size(), 1);
    }

    void password_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expected");
        QTest::newRow("right") << QString::fromLatin1(PostgresServer::guardedPassword) << QString();
        QTest::newRow("wrong") << u"wrong"_s << u"PostgreSQL: hibás jelszó (felhasználó: guarded)."_s;
        QTest::newRow("none") << QString()
                              << u"PostgreSQL: a szerver jelszót kér, de a kapcsolat leírása nem ad meg jelszót "
                                 "(felhasználó: guarded)."_s;
    }

    void password()
    {
        QFETCH(QString, password);
        QFETCH(QString, expected);
        const QString secret = password.isEmpty() ? QString() : u"password="_s + password;
        PostgresSink sink(shared->conninfo(u"user=guarded passfile=/nonexistent "_s + secret), u"here"_s, testSchema());
        QString problem;
        QCOMPARE(sink.open(&problem), expected.isEmpty());
        QCOMPARE(problem, expected);
    }

    void databaseStopped_data()
    {
        QTest::addColumn<PostgresServer::Stop>("mode");
        QTest::newRow("fast") << PostgresServer::Stop::Fast;
        QTest::newRow("crash") << PostgresServer::Stop::Immediate;
    }

    // Whatever was in flight when the database went, the lines stored once it is back are each there once.
    void databaseStopped()
    {
        QFETCH(PostgresServer::Stop, mode);
        PostgresServer server;
        QVERIFY(server.ready());
        PostgresSink sink(server.conninfo(), u"here"_s);
        const Cursors early {{{u"K01"_s, monday}, 6}};
        const Lines late {line(u"K01"_s, monday, 6, "L1"), line(u"K01"_s, monday, 10, "L2")};
        const Cursors lateAfter {{{u"K01"_s, monday}, 14}};
        QString problem;
        QVERIFY2(sink.deliver({line(u"K01"_s, monday, 0, "E1")}, early, &problem), qPrintable(problem));

        QVERIFY(server.stop(mode));
        QVERIFY(!sink.deliver(late, lateAfter, &problem));
        QVERIFY2(problem.startsWith(u"PostgreSQL: megszakadt a kapcsolat: "_s), qPrintable(problem));
        QVERIFY(!sink.open(&problem));
        QVERIFY2(problem.startsWith(u"PostgreSQL nem érhető el: "_s), qPrintable(problem));

        QVERIFY(server.start());
        QVERIFY2(sink.open(&problem), qPrintable(problem));
        QCOMPARE(storedCursors(sink), early);
        QVERIFY2(sink.deliver(late, lateAfter, &problem), qPrintable(problem));
        QCOMPARE(server.query(u"SELECT encode(line, 'escape') FROM stilwater.messages ORDER BY file_offset"_s),
            QStringList({u"E1"_s, u"L1"_s, u"L2"_s}));
    }
};

QTEST_MAIN(ForwardPostgresTest)
#include "tst_forwardpostgres.moc"
