#include "tests/serverfixture.h"
#include "tests/testsupport.h"

#include <QProcess>
#include <QtTest>

// stilwater-sim against the real window: its verdicts and exit status.
class SimulatorTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }

    void judgesEveryReply_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");

        QTest::newRow("correct server") << "--devices 2 --messages 5" << 0 << "replies: 10 right, 0 wrong";
        // CE; then the line feed's SE and CE, twice.
        QTest::newRow("checksum errors, CR LF, in pieces")
            << "--messages 3 --bad-checksum 1 --crlf --split 3 --expect-chks CE --expect-syntax SE" << 0
            << "replies: 5 right, 0 wrong";
        // SE for the noise, SE for each of two short messages, ok for the last.
        QTest::newRow("noise, short messages")
            << "--messages 3 --noise 1 --bad-length 1 --expect-syntax SE" << 0 << "replies: 4 right, 0 wrong";
        QTest::newRow("wrong expectation") << "--expect-ack yes --messages 1" << 1 << "replies: 0 right, 1 wrong";
        QTest::newRow("unreachable") << "--port %1" << 2 << "stilwater-sim: cannot reach 127.0.0.1:%1: ";
    }

    void judgesEveryReply()
    {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, says);
        ScopedWorkDir dir;
        TestConfig config;
        config.errorChks = "CE";
        config.errorSyntax = "SE";
        ServerWindow server(config);
        server.pressStart();
        const QString deadPort = QString::number(freeLoopbackPort());

        QProcess sim;
        QSignalSpy finished(&sim, &QProcess::finished);
        sim.setProcessChannelMode(QProcess::MergedChannels);
        sim.start(QStringLiteral(STILWATER_SIM),
            QStringList {QStringLiteral("--port"), QString::number(server.port())}
                + arguments.replace(QStringLiteral("%1"), deadPort).split(QLatin1Char(' ')));
        QVERIFY(finished.wait(30000));
        QCOMPARE(sim.exitCode(), status);
        says.replace(QStringLiteral("%1"), deadPort);
        QVERIFY2(sim.readAll().contains(says.toLatin1()), qPrintable(says));
    }
};

QTEST_MAIN(SimulatorTest)
#include "tst_simulator.moc"
