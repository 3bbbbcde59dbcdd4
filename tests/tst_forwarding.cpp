// The forwarder as a program between real servers, a real PostgreSQL and a real broker: what the day
// files hold reaches the database exactly once and the broker at least once, whatever fails meanwhile.

#include "tests/mosquittofixture.h"
#include "tests/postgresfixture.h"
#include "tests/serverfixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// One stilwater-server in a folder of its own, its devices and its forwarder.
class Instance
{
public:
    explicit Instance(const QString& name) : name(name)
    {
        QVERIFY(QDir().mkpath(name));
        QDir::setCurrent(name);
        TestConfig config;
        config.port = QByteArray::number(freeLoopbackPort());
        writeConfig(config);
        QDir::setCurrent(u".."_s);
        port = quint16(config.port.toInt());
        server.setWorkingDirectory(name);
        server.setStandardOutputFile(path(u"server.txt"_s));
        server.start(QStringLiteral(STILWATER_SERVER), {u"--listen"_s, u"127.0.0.1"_s, u"--quiet-messages"_s});
        QTRY_VERIFY_WITH_TIMEOUT(readFileBytes(path(u"server.txt"_s)).contains("Szerver elindítva."), 20000);
    }
    ~Instance()
    {
        for (QProcess* process : {&devices, &forwarder, &server}) {
            process->kill();
            process->waitForFinished();
        }
    }

    QString path(const QString& file) const { return QDir(name).absoluteFilePath(file); }

    // Devices that send `messages` each, 20 a second, and reconnect when the server closes them.
    void startDevices(int count, int messages)
    {
        devices.start(QStringLiteral(STILWATER_SIM),
            u"--devices %1 --messages %2 --rate 20 --reconnect --name-prefix %3 --port %4"_s.arg(count)
                .arg(messages)
                .arg(name.toUpper())
                .arg(port)
                .split(u' '));
    }
    bool devicesDone() const { return devices.state() == QProcess::NotRunning; }

    void startForwarder(const QStringList& arguments)
    {
        forwarderArguments = QStringList {u"--instance"_s, name} + arguments;
        forwarder.setWorkingDirectory(name);
        forwarder.setStandardOutputFile(path(u"forward.txt"_s), QIODevice::Append);
        forwarder.start(QStringLiteral(STILWATER_FORWARD), forwarderArguments);
        QVERIFY(forwarder.waitForStarted());
    }
    void killForwarder()
    {
        forwarder.kill();
        QVERIFY(forwarder.waitForFinished());
        forwarder.start(QStringLiteral(STILWATER_FORWARD), forwarderArguments);
        QVERIFY(forwarder.waitForStarted());
    }
    int said(const QByteArray& text) const { return int(readFileBytes(path(u"forward.txt"_s)).count(text)); }

    // "instance|device|day|offset|line as hex" of every message line in the day files.
    QStringList storedLines() const
    {
        QStringList lines;
        for (const QFileInfo& file : QDir(name).entryInfoList({u"*-log_*.txt"_s}, QDir::Files)) {
            const QString device = file.fileName().section(u"-log_"_s, 0, 0);
            const QString day = file.fileName().section(u"-log_"_s, 1).chopped(4);
            const QByteArray bytes = readFileBytes(file.filePath());
            for (qsizetype at = 0, end = 0; (end = bytes.indexOf("\r\n", at)) >= 0; at = end + 2)
                lines << u"%1|%2|%3|%4|%5"_s.arg(name, device, day)
                             .arg(at)
                             .arg(QString::fromLatin1(bytes.mid(at, end - at).toHex()));
        }
        return lines;
    }

    const QString name;
    quint16 port = 0;
    QProcess server;
    QProcess devices;
    QProcess forwarder;
    QStringList forwarderArguments;
};

// The status and body of a GET on loopback.
QPair<int, QByteArray> httpGet(quint16 port, const QString& path)
{
    QNetworkAccessManager network;
    std::unique_ptr<QNetworkReply> reply(
        network.get(QNetworkRequest(QUrl(u"http://127.0.0.1:%1%2"_s.arg(port).arg(path)))));
    if (!QTest::qWaitFor([&reply] { return reply->isFinished(); }, 5000))
        return {0, {}};
    return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
}

QStringList rowsOf(const PostgresServer& database)
{
    return database.query(u"SELECT instance, device, day, file_offset, encode(line, 'hex') FROM stilwater.messages"_s);
}

int rowCount(const PostgresServer& database)
{
    return database.query(u"SELECT count(*) FROM stilwater.messages"_s).value(0).toInt();
}

// Waits as long as a run of devices can take, for what a loaded machine needs.
constexpr int longWait = 120000;

} // namespace

class ForwardingTest : public StilwaterTest
{
    Q_OBJECT

private slots:
    // Two servers and their two forwarders into one database; each forwarder killed again and again,
    // once while the database is down; the database crashed and down for a while. At the end the
    // table holds each line of the day files once.
    void eachLineOnceIntoPostgresAcrossKillsAndAnOutage()
    {
        PostgresServer database;
        QVERIFY(database.ready());
        const QStringList sink {u"--postgres"_s, database.conninfo(u"connect_timeout=2"_s)};
        Instance a(u"a"_s);
        Instance b(u"b"_s);
        const quint16 metrics = freeLoopbackPort();
        a.startDevices(10, 800);
        a.startForwarder(
            sink + QStringList {u"--metrics"_s, QString::number(metrics), u"--ready-down-seconds"_s, u"2"_s});
        b.startDevices(10, 800);
        b.startForwarder(sink);
        QTRY_VERIFY_WITH_TIMEOUT(rowCount(database) > 500, longWait);
        a.killForwarder();
        QTRY_VERIFY_WITH_TIMEOUT(rowCount(database) > 1500, longWait);
        b.killForwarder();
        QTRY_VERIFY_WITH_TIMEOUT(rowCount(database) > 2500, longWait);

        QVERIFY(database.stop(PostgresServer::Stop::Immediate));
        QElapsedTimer outage;
        outage.start();
        QTRY_VERIFY_WITH_TIMEOUT(a.said("nem érhető el") > 0 && b.said("nem érhető el") > 0, longWait);
        QTRY_COMPARE_WITH_TIMEOUT(httpGet(metrics, u"/ready"_s).first, 503, longWait);
        a.killForwarder();
        // Down while the devices store some 8,000 lines more, about 20 seconds of them.
        const int storedBefore = int(a.storedLines().size() + b.storedLines().size());
        QTRY_VERIFY_WITH_TIMEOUT(a.storedLines().size() + b.storedLines().size() > storedBefore + 8000
                || (a.devicesDone() && b.devicesDone()),
            longWait);
        QVERIFY(database.start());
        qInfo("PostgreSQL was down for %.1f s", double(outage.elapsed()) / 1000);
        const int rowsBefore = rowCount(database);
        QTRY_VERIFY_WITH_TIMEOUT(rowCount(database) > rowsBefore, longWait);
        b.killForwarder();
        QTRY_COMPARE_WITH_TIMEOUT(httpGet(metrics, u"/ready"_s).first, 200, longWait);
        QProcess promtool;
        promtool.start(u"promtool"_s, {u"check"_s, u"metrics"_s});
        promtool.write(httpGet(metrics, u"/metrics"_s).second);
        promtool.closeWriteChannel();
        QVERIFY(promtool.waitForFinished());
        QVERIFY2(promtool.exitCode() == 0, promtool.readAllStandardError().constData());

        QTRY_VERIFY_WITH_TIMEOUT(a.devicesDone() && b.devicesDone(), longWait);
        const QStringList expected = a.storedLines() + b.storedLines();
        QCOMPARE(expected.size(), 2 * 10 * 800);
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(database), int(expected.size()), longWait);
        QStringList rows = rowsOf(database);
        rows.sort();
        QStringList sorted = expected;
        sorted.sort();
        QCOMPARE(rows, sorted);
        qInfo("%lld lines, each once", qlonglong(rows.size()));
    }

    // The primary crashes and its streaming standby is promoted: a forwarder given both hosts follows
    // it, and what the standby had not received yet is sent again, once.
    void followsAPromotedStandby()
    {
        PostgresServer primary;
        QVERIFY(primary.ready());
        const std::unique_ptr<PostgresServer> standby = PostgresServer::standbyOf(primary);
        QVERIFY(standby && standby->ready());
        const QStringList sink {u"--postgres"_s,
            u"host=127.0.0.1,127.0.0.1 port=%1,%2 dbname=postgres user=postgres target_session_attrs=read-write "
            "connect_timeout=2"_s.arg(primary.port())
                .arg(standby->port())};
        Instance a(u"a"_s);
        a.startDevices(5, 400);
        a.startForwarder(sink);
        QTRY_VERIFY_WITH_TIMEOUT(rowCount(primary) > 500, longWait);
        QVERIFY(primary.stop(PostgresServer::Stop::Immediate));
        QVERIFY(standby->promote());
        QTRY_VERIFY_WITH_TIMEOUT(a.devicesDone(), longWait);
        const QStringList expected = a.storedLines();
        QCOMPARE(expected.size(), 5 * 400);
        QTRY_COMPARE_WITH_TIMEOUT(rowCount(*standby), int(expected.size()), longWait);
        QStringList rows = rowsOf(*standby);
        rows.sort();
        QStringList sorted = expected;
        sorted.sort();
        QCOMPARE(rows, sorted);
    }

    // The broker stops and starts again mid-run: a subscriber of its own gets every line, some twice.
    void everyLineAtLeastOnceThroughABrokerRestart()
    {
        MosquittoBroker broker;
        QVERIFY(broker.start());
        Subscriber subscriber(broker.port());
        QTRY_VERIFY(subscriber.subscribed());
        const QStringList sink {u"--mqtt"_s, u"mqtt://127.0.0.1:%1"_s.arg(broker.port())};
        Instance a(u"a"_s);
        a.startDevices(10, 400);
        a.startForwarder(sink);
        QTRY_VERIFY_WITH_TIMEOUT(subscriber.received().size() > 500, longWait);
        broker.stop();
        QTRY_VERIFY_WITH_TIMEOUT(a.said("nem érhető el") > 0, longWait);
        a.killForwarder();
        QVERIFY(broker.start());
        QTRY_VERIFY_WITH_TIMEOUT(a.devicesDone(), longWait);
        const QStringList expected = a.storedLines();
        QCOMPARE(expected.size(), 10 * 400);
        const auto delivered = [&subscriber] {
            QSet<QString> lines;
            for (const auto& [topic, payload] : subscriber.received()) {
                const QJsonObject message = QJsonDocument::fromJson(payload).object();
                lines << u"%1|%2|%3|%4|%5"_s
                             .arg(QString::fromUtf8(topic.split('/').value(1)), message.value(u"device"_s).toString(),
                                 message.value(u"day"_s).toString())
                             .arg(message.value(u"offset"_s).toInteger())
                             .arg(QString::fromLatin1(message.value(u"line"_s).toString().toLatin1().toHex()));
            }
            return lines;
        };
        QTRY_COMPARE_WITH_TIMEOUT(delivered().size(), expected.size(), longWait);
        QCOMPARE(delivered(), QSet<QString>(expected.begin(), expected.end()));
        qInfo(
            "%lld lines, %lld messages received", qlonglong(expected.size()), qlonglong(subscriber.received().size()));
    }
};

QTEST_MAIN(ForwardingTest)
#include "tst_forwarding.moc"
