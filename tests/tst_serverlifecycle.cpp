#include "tests/serverfixture.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QTcpServer>
#include <QtTest>

namespace {

const QString started = QStringLiteral("<ts>Szerver elindítva.\n\n");
const QString stopped = QStringLiteral("<ts>Szerver leállítva.\n\n");

QString closedByTheServer(const QString& peer)
{
    return QStringLiteral("<ts>[%1] A kapcsolatot a szerver bontotta.\n\n").arg(peer);
}

} // namespace

class ServerLifecycleTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }

    void startAndStopSwitchTheControls()
    {
        ScopedWorkDir dir;
        ServerWindow server;
        const auto enabled = [&server] {
            QStringList names;
            for (const char* name : {"start", "actionServerStart", "stop", "actionServerStop", "menuBeallitasok"}) {
                if (server.window().findChild<QObject*>(QLatin1String(name))->property("enabled").toBool())
                    names << QLatin1String(name);
            }
            return names.join(QLatin1Char(' '));
        };
        const QString whileStopped = QStringLiteral("start actionServerStart menuBeallitasok");
        QCOMPARE(enabled(), whileStopped);
        server.pressStart();
        QCOMPARE(enabled(), QStringLiteral("stop actionServerStop"));
        server.pressStop(); // no connection open: no question is asked
        QCOMPARE(enabled(), whileStopped);
        QCOMPARE(server.settledFlow(), started + stopped);
        QTcpSocket late;
        late.connectToHost(QHostAddress(QHostAddress::LocalHost), server.port());
        QTRY_COMPARE(late.state(), QAbstractSocket::UnconnectedState);
    }

    void refusedPortShowsTheErrorBox_data()
    {
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<bool>("held");
        const QByteArray free = QByteArray::number(freeLoopbackPort());
        QTest::newRow("held by another listener") << free << true;
        QTest::newRow("zero") << QByteArray("0") << false;
        QTest::newRow("above 65535") << QByteArray("70000") << false;
        QTest::newRow("above 65535, low bits a free port") << QByteArray::number(65536 + free.toInt()) << false;
    }

    void refusedPortShowsTheErrorBox()
    {
        QFETCH(QByteArray, port);
        QFETCH(bool, held);
        ScopedWorkDir dir;
        QTcpServer holder;
        if (held)
            QVERIFY(holder.listen(QHostAddress::LocalHost, static_cast<quint16>(port.toInt())));
        {
            TestConfig config;
            config.port = port;
            ServerWindow server(config);
            SeenMessageBox seen;
            answerNextMessageBox(QMessageBox::Ok, &seen);
            server.pressStart();
            QCOMPARE(seen.title + QLatin1Char('|') + seen.text,
                QStringLiteral("Hiba|A megadott port hibás, vagy már foglalt."));
            QVERIFY(!server.running());
            QCOMPARE(server.settledFlow(), QString());
            if (held) {
                holder.close();
                server.pressStart();
                QVERIFY(server.running());
                server.pressStop();
            }
        }
        QCOMPARE(configFileLine(2), port);
    }

    void stopAndExitAskWhileDevicesAreConnected_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("ending"); // lines written after the connections were accepted
        const QString stop = QStringLiteral("actionServerStop");
        const QString stopQuestion = QStringLiteral("A szerverhez még kapcsolódik kliens. Biztosan leállítja a "
                                                    "szervert?\n\nFigyelem! Ez adatvesztéssel járhat!");
        const QString exit = QStringLiteral("actionKilepes");
        const QString exitQuestion
            = QStringLiteral("A szerver fut. Biztosan kilép a programból?\n\nFigyelem! Ez adatvesztéshez vezethet!");
        // Closed in the order they were accepted.
        const QString closed = closedByTheServer(QStringLiteral("127.0.0.3"))
            + closedByTheServer(QStringLiteral("127.0.0.1")) + closedByTheServer(QStringLiteral("127.0.0.2"));
        QTest::newRow("stop, Cancel") << stop << QMessageBox::Cancel << stopQuestion << QString();
        QTest::newRow("stop, Ok") << stop << QMessageBox::Ok << stopQuestion << closed + stopped;
        QTest::newRow("exit, Cancel") << exit << QMessageBox::Cancel << exitQuestion << QString();
        QTest::newRow("exit, Ok: no stop line") << exit << QMessageBox::Ok << exitQuestion << closed;
    }

    void stopAndExitAskWhileDevicesAreConnected()
    {
        QFETCH(QString, action);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(QString, question);
        QFETCH(QString, ending);
        ScopedWorkDir dir;
        ServerWindow server;
        server.pressStart();
        QString accepted = started;
        std::vector<std::unique_ptr<Device>> devices;
        for (const char* address : {"127.0.0.3", "127.0.0.1", "127.0.0.2"}) {
            devices.push_back(std::make_unique<Device>(server.port(), QHostAddress(QLatin1String(address))));
            QTRY_COMPARE(server.openConnections(), int(devices.size()));
            accepted += QStringLiteral("<ts>[%1] Új kapcsolat.\n").arg(QLatin1String(address));
        }

        SeenMessageBox seen;
        answerNextMessageBox(answer, &seen);
        server.window().findChild<QAction*>(action)->trigger();
        QCOMPARE(seen.title + QLatin1Char('|') + seen.text, QStringLiteral("Figyelmeztetés|") + question);
        QCOMPARE(server.settledFlow(), accepted + ending);
        const bool kept = answer == QMessageBox::Cancel;
        QCOMPARE(server.openConnections(), kept ? 3 : 0);
        QCOMPARE(server.window().currentSettings().server != nullptr, kept);
        QCOMPARE(server.window().isVisible(), kept || action == QStringLiteral("actionServerStop"));
        for (const auto& device : devices)
            QTRY_COMPARE(device->connected(), kept);
    }

    void stopEndsAConnectionWithUnsentOutput()
    {
        ScopedWorkDir dir;
        TestConfig config;
        config.ack = QByteArray(100000, 'k');
        ServerWindow server(config);
        server.pressStart();
        Device device(server.port(), QHostAddress(QHostAddress::LocalHost), Device::Reading::Stalls);
        QTRY_COMPARE(server.openConnections(), 1);
        auto* accepted = server.window().findChild<QTcpSocket*>();
        accepted->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 1024);
        device.send(messages::zeros() + messages::zeros());
        QTRY_COMPARE(server.flow().count(QStringLiteral("Válasz: ")), 2);
        QVERIFY(accepted->bytesToWrite() > 100000); // most of the two acknowledgements

        answerNextMessageBox(QMessageBox::Ok);
        server.pressStop();
        QVERIFY(!server.running());
        QCOMPARE(server.openConnections(), 0);
        QVERIFY(server.settledFlow().endsWith(closedByTheServer(QStringLiteral("127.0.0.1")) + stopped));
        QCOMPARE(server.flow().count(QStringLiteral("A kapcsolatot")), 1);
    }
};

QTEST_MAIN(ServerLifecycleTest)
#include "tst_serverlifecycle.moc"
