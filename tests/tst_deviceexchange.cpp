#include "settings/clock.h"
#include "tests/serverfixture.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

namespace {

const QString opened = QStringLiteral("<ts>Szerver elindítva.\n\n<ts>[127.0.0.1] Új kapcsolat.\n");

QString line(const QString& body, const QString& peer = QStringLiteral("127.0.0.1"))
{
    return QStringLiteral("<ts>[%1] ").arg(peer) + body + QLatin1Char('\n');
}

// The two lines of one handled message.
QString exchange(const QByteArray& message, const QString& reply, const QString& peer = QStringLiteral("127.0.0.1"))
{
    return line(QStringLiteral("Bejövő adat: ") + QString::fromLatin1(message), peer) + line(reply, peer);
}

QString accepted(const QByteArray& message)
{
    return exchange(message, QStringLiteral("Válasz: ok"));
}

QString syntaxError(const QByteArray& text)
{
    return exchange(text, QStringLiteral("Syntax error. Válasz: SE"));
}

QString dated(const QString& name)
{
    return name + QStringLiteral("-log_") + today() + QStringLiteral(".txt");
}

QByteArray withZeroByte(const QByteArray& message)
{
    return message.left(50) + '\0' + message.mid(50);
}

QStringList filesHere()
{
    return QDir::current().entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class DeviceExchangeTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }

    void messagesAreFramedJudgedAndAnswered_data()
    {
        QTest::addColumn<QByteArrayList>("replyTexts"); // ack, checksum error, syntax error
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<bool>("thenHalfCloses"); // the device shuts its sending side and waits for replies

        const QByteArrayList usual {"ok", "CE", "SE"};
        const QByteArray zeros = messages::zeros();
        QTest::newRow("accepted") << usual << zeros << QByteArray("ok") << accepted(zeros) << false;
        QTest::newRow("checksum error names the computed value")
            << usual << messages::ones("00") << QByteArray("CE")
            << exchange(messages::ones("00"), QStringLiteral("Chks error. Számolt: 32. Válasz: CE")) << false;
        QTest::newRow("noise before $ goes alone, without $")
            << usual << "xy" + zeros << QByteArray("SEok") << syntaxError("xy") + accepted(zeros) << false;
        QTest::newRow("wrong length") << usual << "$08short" + zeros << QByteArray("SEok")
                                      << syntaxError("$08short") + accepted(zeros) << false;
        QTest::newRow("carriage return removed")
            << usual << zeros + "\r" + zeros << QByteArray("okok") << accepted(zeros) + accepted(zeros) << false;
        QTest::newRow("CR LF leaves LF for the next $")
            << usual << zeros + "\r\n" + zeros << QByteArray("okSEok")
            << accepted(zeros) + syntaxError("\n") + accepted(zeros) << false;
        QTest::newRow("200 characters cut at 133") << usual << zeros + QByteArray(67, '7') + "$" << QByteArray("okSE")
                                                   << accepted(zeros) + syntaxError(QByteArray(67, '7')) << false;
        const QByteArray markup = "<b>x</b><img src=\"http://127.0.0.1:9/i.png\">";
        QTest::newRow("markup shown as characters")
            << usual << markup + zeros << QByteArray("SEok") << syntaxError(markup) + accepted(zeros) << false;
        QTest::newRow("zero byte dropped")
            << usual << withZeroByte(zeros) << QByteArray("ok") << accepted(zeros) << false;
        QTest::newRow("Latin-1 reply, ? outside it")
            << QByteArrayList {"\xc5\x91\xc3\xa9", "", ""} << zeros << QByteArray("?\xe9")
            << exchange(zeros, QStringLiteral("Válasz: ?é")) << false;
        // The final syntax reply is the only byte sent: nothing went out before it.
        QTest::newRow("empty replies send nothing") << QByteArrayList {"", "", "SE"}
                                                    << zeros + messages::ones("00") + "$08short$" << QByteArray("SE")
                                                    << exchange(zeros, QStringLiteral("Válasz: "))
                + exchange(messages::ones("00"), QStringLiteral("Chks error. Számolt: 32. Válasz: <nincs>"))
                + syntaxError("$08short") << false;
        const QString clientClosed = line(QStringLiteral("A kapcsolatot a kliens bontotta.")) + QLatin1Char('\n');
        QTest::newRow("half-closes after one")
            << usual << zeros << QByteArray("ok") << accepted(zeros) + clientClosed << true;
        QTest::newRow("half-closes after two")
            << usual << zeros + zeros << QByteArray("okok") << accepted(zeros) + accepted(zeros) + clientClosed << true;
        QTest::newRow("half-closes after CR LF") << usual << zeros + "\r\n"
                                                 << QByteArray("ok") << accepted(zeros) + clientClosed << true;
    }

    void messagesAreFramedJudgedAndAnswered()
    {
        QFETCH(QByteArrayList, replyTexts);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, replies);
        QFETCH(QString, lines);
        QFETCH(bool, thenHalfCloses);
        ScopedWorkDir dir;
        TestConfig config;
        config.ack = replyTexts[0];
        config.errorChks = replyTexts[1];
        config.errorSyntax = replyTexts[2];
        ServerWindow server(config);
        server.pressStart();
        if (thenHalfCloses) {
            QCOMPARE(sendAndHalfClose(server.port(), sent), replies);
            QTRY_COMPARE(server.flow(), opened + lines);
            const QByteArray stored = messages::zeros() + "\r\n";
            QCOMPARE(readFileBytes(dated(QString(32, QLatin1Char('0')))), stored.repeated(replies.count("ok")));
            return;
        }
        Device device(server.port());
        device.send(sent);
        QTRY_COMPARE(device.received(), replies);
        QTRY_COMPARE(server.flow(), opened + lines);
    }

    void storedLinesGoToTheFilesOfTheirDay()
    {
        ScopedWorkDir dir;
        QDateTime now(QDate(2026, 12, 31), QTime(23, 59, 59));
        setClock([&now] { return now; });
        const auto restore = qScopeGuard([] { setClock({}); });
        TestConfig config;
        config.backup = true;
        ServerWindow server(config);
        server.pressStart();
        Device device(server.port());
        device.send(messages::abc12() + messages::abc12("00"));
        QTRY_COMPARE(device.received(), QByteArray("ok"));
        now = QDateTime(QDate(2027, 1, 1), QTime(0, 0));
        device.send(messages::abc12() + "$08short$");
        QTRY_COMPARE(server.flow().count(QStringLiteral("Bejövő adat: ")), 4);

        const QByteArray lines = messages::abc12() + "\r\n" + messages::abc12("00") + "\r\n";
        const QStringList files {QStringLiteral("ABC_12-log_2026-12-31.txt"),
            QStringLiteral("ABC_12-log_2027-01-01.txt"), QStringLiteral("bak_ABC_12-log_2026-12-31.txt"),
            QStringLiteral("bak_ABC_12-log_2027-01-01.txt")};
        QCOMPARE(readFileBytes(files[0]), lines);
        QCOMPARE(readFileBytes(files[1]), messages::abc12() + "\r\n");
        QCOMPARE(readFileBytes(files[2]), lines);
        QCOMPARE(readFileBytes(files[3]), messages::abc12() + "\r\n");
        // The syntax error is not stored anywhere.
        QCOMPARE(filesHere(), files + QStringList {QStringLiteral("config.cfg")});
        // Start, connection and the first two exchanges before midnight; the last two after it.
        QCOMPARE(server.text().count(QStringLiteral("2026.12.31  23:59:59  -  ")), 6);
        QCOMPARE(server.text().count(QStringLiteral("2027.01.01  00:00:00  -  ")), 4);
    }

    void savingFaults_data()
    {
        QTest::addColumn<QByteArray>("filePrefix");
        QTest::addColumn<bool>("backup");
        QTest::addColumn<QString>("folderInTheWay");
        QTest::addColumn<bool>("diskFull"); // a link to /dev/full in the folder's place
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<QString>("lines");

        const QByteArray abc = messages::abc12();
        const QString data = dated(QStringLiteral("ABC_12"));
        const QString backup = QStringLiteral("bak_") + data;
        // Every row ends with a syntax error whose "SE" shows what was sent before it.
        QTest::newRow("missing data folder: no acknowledgement")
            << QByteArray("missing/") << false << QString() << false << abc << QByteArray("SE")
            << exchange(abc, QStringLiteral("Válasz: <nincs>")) + line(QStringLiteral("Mentési hiba: missing/") + data);
        QTest::newRow("folder where the data file should be")
            << QByteArray() << false << data << false << abc << QByteArray("SE")
            << exchange(abc, QStringLiteral("Válasz: <nincs>")) + line(QStringLiteral("Mentési hiba: ") + data);
        QTest::newRow("checksum error is still answered")
            << QByteArray("missing/") << false << QString() << false << messages::abc12("00") << QByteArray("CESE")
            << exchange(messages::abc12("00"), QStringLiteral("Chks error. Számolt: 41. Válasz: CE"))
                + line(QStringLiteral("Mentési hiba: missing/") + data);
        QTest::newRow("backup fails alone: acknowledged")
            << QByteArray() << true << backup << false << abc << QByteArray("okSE")
            << accepted(abc) + line(QStringLiteral("Mentési hiba: ") + backup);
        QTest::newRow("both fail") << QByteArray("missing/") << true << backup << false << abc << QByteArray("SE")
                                   << exchange(abc, QStringLiteral("Válasz: <nincs>"))
                + line(QStringLiteral("Mentési hiba: missing/") + data)
                + line(QStringLiteral("Mentési hiba: ") + backup);
        QTest::newRow("full disk: no acknowledgement, other devices served")
            << QByteArray() << false << data << true << abc + messages::zeros() << QByteArray("okSE")
            << exchange(abc, QStringLiteral("Válasz: <nincs>")) + line(QStringLiteral("Mentési hiba: ") + data)
                + accepted(messages::zeros());
    }

    void savingFaults()
    {
        QFETCH(QByteArray, filePrefix);
        QFETCH(bool, backup);
        QFETCH(QString, folderInTheWay);
        QFETCH(bool, diskFull);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, replies);
        QFETCH(QString, lines);
        ScopedWorkDir dir;
        if (!folderInTheWay.isEmpty())
            QVERIFY(diskFull ? QFile::link(QStringLiteral("/dev/full"), folderInTheWay)
                             : QDir::current().mkdir(folderInTheWay));
        TestConfig config;
        config.filePrefix = filePrefix;
        config.backup = backup;
        config.errorChks = "CE";
        config.errorSyntax = "SE";
        ServerWindow server(config);
        server.pressStart();
        Device device(server.port());
        device.send(message + "$08short$");
        QTRY_COMPARE(device.received(), replies);
        QTRY_COMPARE(server.flow(), opened + lines + syntaxError("$08short"));
        if (backup && filePrefix.isEmpty())
            QCOMPARE(readFileBytes(dated(QStringLiteral("ABC_12"))), message + "\r\n");

        // Once the folder is there and nothing is in the way, the server stores and acknowledges again.
        QVERIFY(QDir().mkpath(QStringLiteral("missing")));
        if (!folderInTheWay.isEmpty() && !QDir().rmdir(folderInTheWay))
            QFile::remove(folderInTheWay);
        device.send(messages::abc12()); // its "$" first ends the "$" left waiting
        QTRY_COMPARE(device.received(), replies + "SEok");
    }

    void nameFieldCannotLeaveTheFolder()
    {
        ScopedWorkDir dir;
        QVERIFY(QDir::current().mkpath(QStringLiteral("a/b")));
        QDir::setCurrent(QStringLiteral("a/b"));
        ServerWindow server;
        server.pressStart();
        Device device(server.port());
        // Name field "../../x" and 25 spaces: 104 + 398 + 25 * 32 + 96 * 48 = 5910; % 256 = 22.
        const QByteArray message = "$08../../x" + QByteArray(25, ' ') + QByteArray(96, '0') + "22";
        device.send(message);
        QTRY_COMPARE(device.received(), QByteArray("ok"));
        QCOMPARE(readFileBytes(dated(QStringLiteral(".._.._x"))), message + "\r\n");
        QVERIFY(!QFile::exists(QStringLiteral("../../") + dated(QStringLiteral("x"))));
    }

    void messageTimerHandsOverAShortMessage()
    {
        ScopedWorkDir dir;
        ServerWindow server;
        server.window().setMessageTimeout(1);
        server.pressStart();
        Device device(server.port());
        QElapsedTimer clock;
        clock.start();
        device.send("$08short");
        QTRY_COMPARE(server.flow(), opened + exchange("$08short", QStringLiteral("Syntax error. Válasz: <nincs>")));
        QVERIFY2(clock.elapsed() >= 900, "handed over before its message time ran out");
    }

    void twoDevicesInterleavedKeepTheirOwnBuffers()
    {
        ScopedWorkDir dir;
        ServerWindow server;
        server.pressStart();
        Device first(server.port());
        QTRY_COMPARE(server.openConnections(), 1);
        Device second(server.port(), QHostAddress(QStringLiteral("127.0.0.2")));
        QTRY_COMPARE(server.openConnections(), 2);
        const QByteArray abc = messages::abc12();
        const QByteArray zeros = messages::zeros();

        first.send(abc.left(60));
        second.send(zeros.left(70));
        first.send(abc.mid(60));
        QTRY_COMPARE(first.received(), QByteArray("ok"));
        second.send(zeros.mid(70));
        QTRY_COMPARE(second.received(), QByteArray("ok"));
        QCOMPARE(server.flow(),
            opened + line(QStringLiteral("Új kapcsolat."), QStringLiteral("127.0.0.2")) + accepted(abc)
                + exchange(zeros, QStringLiteral("Válasz: ok"), QStringLiteral("127.0.0.2")));
        QCOMPARE(readFileBytes(dated(QStringLiteral("ABC_12"))), abc + "\r\n");
        QCOMPARE(readFileBytes(dated(QString(32, QLatin1Char('0')))), zeros + "\r\n");
    }

    void connectionEnds_data()
    {
        QTest::addColumn<QByteArray>("socketTimeout");
        QTest::addColumn<bool>("clientCloses");
        QTest::addColumn<bool>("deviceReads");
        QTest::addColumn<QString>("endLine");
        const QString timeout = QStringLiteral("A kapcsolatot a szerver bontotta. (Timeout)");
        QTest::newRow("client closes") << QByteArray("30") << true << true
                                       << QStringLiteral("A kapcsolatot a kliens bontotta.");
        QTest::newRow("negative socket timeout: none")
            << QByteArray("-1") << true << true << QStringLiteral("A kapcsolatot a kliens bontotta.");
        QTest::newRow("socket timeout") << QByteArray("1") << false << true << timeout;
        QTest::newRow("socket timeout, replies unread: aborted") << QByteArray("1") << false << false << timeout;
    }

    void connectionEnds()
    {
        QFETCH(QByteArray, socketTimeout);
        QFETCH(bool, clientCloses);
        QFETCH(bool, deviceReads);
        QFETCH(QString, endLine);
        ScopedWorkDir dir;
        TestConfig config;
        config.socketTimeout = socketTimeout;
        config.ack = deviceReads ? "ok" : QByteArray(100000, 'k');
        ServerWindow server(config);
        server.pressStart();
        Device device(server.port(), QHostAddress(QHostAddress::LocalHost),
            deviceReads ? Device::Reading::Collects : Device::Reading::Stalls);
        QTRY_COMPARE(server.openConnections(), 1);
        QString lines = opened;
        if (!deviceReads) { // two acknowledgements that cannot leave
            server.window().findChild<QTcpSocket*>()->setSocketOption(
                QAbstractSocket::SendBufferSizeSocketOption, 1024);
            device.send(messages::zeros() + messages::zeros());
            lines += exchange(messages::zeros(), QStringLiteral("Válasz: ") + QString(100000, QLatin1Char('k')))
                         .repeated(2);
        }
        device.send("$08half"); // a partial message is lost with its connection
        if (clientCloses)
            device.tcp().disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(server.flow(), lines + line(endLine) + QLatin1Char('\n'), 10000);
        QCOMPARE(server.openConnections(), 0);
        if (deviceReads)
            QTRY_VERIFY(!device.connected());
        // The ended connection's socket is released without waiting for a stop.
        QTRY_VERIFY(server.window().findChildren<QTcpSocket*>().isEmpty());
        QVERIFY(server.running());
    }

    void chunkingDoesNotChangeTheResult_data()
    {
        QTest::addColumn<int>("chunkSize");
        QTest::newRow("character by character") << 1;
        QTest::newRow("two") << 2;
        QTest::newRow("seven") << 7;
        QTest::newRow("sixty-four") << 64;
        QTest::newRow("all at once") << 1000;
    }

    void chunkingDoesNotChangeTheResult()
    {
        QFETCH(int, chunkSize);
        ScopedWorkDir dir;
        TestConfig config;
        config.ack = "A";
        config.errorChks = "C";
        config.errorSyntax = "S";
        ServerWindow server(config);
        server.pressStart();
        Device device(server.port());
        QTRY_COMPARE(server.openConnections(), 1);
        const QByteArray zeros = messages::zeros();
        const QByteArray ones = messages::ones("00");
        device.sendInChunks("xy" + zeros + "\r\n" + withZeroByte(ones) + "$short" + zeros + QByteArray(67, '7') + "$",
            chunkSize, server.window().findChild<QTcpSocket*>());

        QTRY_COMPARE(device.received(), QByteArray("SASCSAS"));
        QTRY_COMPARE(server.flow(),
            opened + exchange("xy", QStringLiteral("Syntax error. Válasz: S"))
                + exchange(zeros, QStringLiteral("Válasz: A"))
                + exchange("\n", QStringLiteral("Syntax error. Válasz: S"))
                + exchange(ones, QStringLiteral("Chks error. Számolt: 32. Válasz: C"))
                + exchange("$short", QStringLiteral("Syntax error. Válasz: S"))
                + exchange(zeros, QStringLiteral("Válasz: A"))
                + exchange(QByteArray(67, '7'), QStringLiteral("Syntax error. Válasz: S")));
        QCOMPARE(readFileBytes(dated(QString(32, QLatin1Char('0')))), zeros + "\r\n" + zeros + "\r\n");
        QCOMPARE(readFileBytes(dated(QString(32, QLatin1Char('1')))), ones + "\r\n");
    }

    void patternBoxCountsOneLess()
    {
        ScopedWorkDir dir;
        ServerWindow server;
        SeenMessageBox seen;
        answerNextMessageBox(QMessageBox::Ok, &seen);
        server.window().findChild<QAction*>(QStringLiteral("actionPattern"))->trigger();
        QCOMPARE(seen.title, QStringLiteral("Pattern"));
        QCOMPARE(
            seen.text, QStringLiteral("$08") + QString(128, QLatin1Char('X')) + QStringLiteral("##\n\n(132 karakter)"));
    }
};

QTEST_MAIN(DeviceExchangeTest)
#include "tst_deviceexchange.moc"
