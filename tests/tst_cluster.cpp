#include "tests/serverfixture.h"

using namespace Qt::StringLiterals;

namespace {

const QString haproxy = u"/usr/sbin/haproxy"_s;
const QStringList instances {u"a"_s, u"b"_s};

// The README's configuration, quicker: a dead instance is out within half a second, and HAProxy's
// retries (min(timeout connect, 1 s) apart) end well within the devices' one-second reply timeout.
QByteArray haproxyConfig(quint16 front, quint16 a, quint16 b)
{
    return u"defaults\n  mode tcp\n  timeout connect 100ms\n  timeout client 60s\n  timeout server 60s\n"
           "  retries 3\n  option redispatch\nfrontend devices\n  bind 127.0.0.1:%1\n  default_backend stilwater\n"
           "backend stilwater\n  balance source\n  hash-type consistent\n"
           "  server a 127.0.0.1:%2 check inter 200ms fall 2 rise 2\n"
           "  server b 127.0.0.1:%3 check inter 200ms fall 2 rise 2\n"_s.arg(front).arg(a).arg(b).toLatin1();
}

// The devices whose data files an instance holds.
QSet<QString> deviceNames(const QString& instance)
{
    QSet<QString> names;
    for (const QString& file : QDir(instance).entryList({u"SIM*"_s}))
        names << file.section(u"-log_"_s, 0, 0);
    return names;
}

} // namespace

// Two stilwater-server instances, each in its own folder, behind HAProxy balancing by source address;
// devices from sixteen loopback addresses reconnect and resend, and one instance is killed with
// SIGKILL while they send.
class ClusterTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!QFileInfo::exists(haproxy))
            QSKIP("HAProxy is not installed (apt install haproxy); scripts/test installs it.");
    }

    void killedInstanceLosesNothingAcknowledged_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::newRow("back to back") << QString();
        // The line feed after each resent message has its own reply, as on the first connection.
        QTest::newRow("CR LF, in pieces") << u" --crlf --split 3 --expect-syntax SE"_s;
    }

    void killedInstanceLosesNothingAcknowledged()
    {
        QFETCH(QString, arguments);
        ScopedWorkDir dir;
        QList<quint16> ports;
        std::vector<std::unique_ptr<QProcess>> servers;
        for (const QString& name : instances) {
            QVERIFY(QDir().mkdir(name));
            QDir::setCurrent(name);
            TestConfig config;
            config.port = QByteArray::number(freeLoopbackPort());
            config.errorSyntax = "SE";
            writeConfig(config);
            QDir::setCurrent(u".."_s);
            ports << static_cast<quint16>(config.port.toInt());
            auto& server = servers.emplace_back(std::make_unique<QProcess>());
            server->setWorkingDirectory(name);
            server->setStandardOutputFile(QDir(name).absoluteFilePath(u"lines.txt"_s));
            server->start(QStringLiteral(STILWATER_SERVER));
            QTRY_VERIFY_WITH_TIMEOUT(readFileBytes(name + u"/lines.txt"_s).contains("Szerver elindítva."), 20000);
        }
        const quint16 front = freeLoopbackPort();
        QFile config(u"haproxy.cfg"_s);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(haproxyConfig(front, ports.at(0), ports.at(1)));
        config.close();
        QProcess balancer;
        balancer.start(haproxy, {u"-f"_s, config.fileName(), u"-db"_s});

        // The devices retry until HAProxy listens.
        QStringList sources;
        for (int host = 2; host <= 17; ++host)
            sources << u"127.0.0.%1"_s.arg(host);
        QProcess sim;
        sim.start(QStringLiteral(STILWATER_SIM),
            (u"--devices 16 --duration 3 --reconnect --ack-log acks --json --port %1 --from %2"_s.arg(front).arg(
                 sources.join(u','))
                + arguments)
                .split(u' '));
        // Both take devices: source hashing spreads the sixteen addresses over the two.
        QTRY_VERIFY_WITH_TIMEOUT(!deviceNames(instances.at(0)).isEmpty() && !deviceNames(instances.at(1)).isEmpty(), 20000);
        QCOMPARE(sim.state(), QProcess::Running);
        servers.front()->kill();
        QVERIFY(servers.front()->waitForFinished());
        const QSet<QString> devicesOfKilled = deviceNames(instances.at(0));

        QVERIFY(QTest::qWaitFor([&sim] { return sim.state() == QProcess::NotRunning; }, 30000));
        const QByteArray summaryJson = sim.readAllStandardOutput();
        QVERIFY2(sim.exitCode() == 0, summaryJson + sim.readAllStandardError() + balancer.readAllStandardError());
        const qint64 resent = QJsonDocument::fromJson(summaryJson).object().value(u"resent"_s).toInteger();
        QVERIFY(resent > 0);

        QList<QByteArray> stored;
        for (const QString& name : instances) {
            for (const QString& file : QDir(name).entryList({u"SIM*"_s})) {
                const QByteArray lines = readFileBytes(name + u'/' + file);
                QCOMPARE(lines.size() % 135, 0); // 133 characters and CR LF each, also in the killed one's
                for (qsizetype at = 0; at < lines.size(); at += 135)
                    stored << lines.mid(at, 133);
            }
        }
        // The killed instance's devices went on at the other one.
        QVERIFY(deviceNames(instances.at(1)).contains(devicesOfKilled));
        const QSet<QByteArray> distinct(stored.cbegin(), stored.cend());
        QByteArrayList acknowledged = readFileBytes(u"acks"_s).split('\n');
        acknowledged.removeLast();
        QVERIFY(acknowledged.size() > 100);
        QVERIFY(distinct.contains(QSet<QByteArray>(acknowledged.cbegin(), acknowledged.cend())));
        QVERIFY(stored.size() - distinct.size() <= resent); // only a message sent again can be stored twice
        qInfo("%lld acknowledged, %lld resent, %lld stored twice", qlonglong(acknowledged.size()),
            resent, qlonglong(stored.size() - distinct.size()));
    }
};

QTEST_MAIN(ClusterTest)
#include "tst_cluster.moc"
