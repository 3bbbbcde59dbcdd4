#include "tests/serverfixture.h"

// stilwater-sim against the real window, its verdicts and exit status; and as the devices of the real program.
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
        QTest::newRow("unknown option") << "--bogus" << 2 << "stilwater-sim: Unknown option 'bogus'. See --help.";
        QTest::newRow("missing value") << "--host" << 2 << "stilwater-sim: Missing value after '--host'. See --help.";
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

    // The real program, serving, as three devices each send their next message once the one before
    // is acknowledged: after SIGKILL its files hold whole lines, every acknowledged message among them.
    void killedProgramLosesNothingAcknowledged()
    {
        ScopedWorkDir dir;
        TestConfig config;
        config.port = QByteArray::number(freeLoopbackPort());
        writeConfig(config);
        const QByteArray configBefore = readFileBytes(QStringLiteral("config.cfg"));
        QProcess program;
        // Its web requests go to a proxy on loopback where nothing listens, never to the real service.
        program.setEnvironment(
            QStringList {QStringLiteral("LD_PRELOAD=" OPERATOR_HAND), QStringLiteral("http_proxy=http://127.0.0.1:1"),
                QStringLiteral("https_proxy=http://127.0.0.1:1")}
            + QProcess::systemEnvironment());
        program.start(QStringLiteral(STILWATER_PROGRAM));
        QVERIFY(program.waitForReadyRead(30000)); // serving
        QProcess sim;
        sim.start(QStringLiteral(STILWATER_SIM),
            (QStringLiteral("--devices 3 --duration 60 --ack-log acks --port ") + QString::fromLatin1(config.port))
                .split(u' '));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(QStringLiteral("acks")).size() > 0, 30000); // over a hundred
        program.kill();
        QVERIFY(program.waitForFinished() && sim.waitForFinished());

        QSet<QByteArray> stored;
        const QStringList files = QDir().entryList({QStringLiteral("SIM*")});
        QCOMPARE(files.size(), 3);
        for (const QString& file : files) {
            const QByteArray lines = readFileBytes(file);
            QCOMPARE(lines.size() % 135, 0); // 133 characters and CR LF each
            for (const QByteArray& line : lines.split('\n'))
                stored << line.left(133);
        }
        const QByteArrayList acknowledged = readFileBytes(QStringLiteral("acks")).split('\n');
        QVERIFY(acknowledged.size() > 100);
        QVERIFY(stored.contains(QSet<QByteArray>(acknowledged.cbegin(), acknowledged.cend())));
        QCOMPARE(readFileBytes(QStringLiteral("config.cfg")), configBefore);
    }
};

QTEST_MAIN(SimulatorTest)
#include "tst_simulator.moc"
