#include "tests/serverfixture.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QtTest>

using Files = QMap<QString, QByteArray>; // file name, content

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

QString backup(const QString& name)
{
    return QStringLiteral("bak_") + dated(name);
}

QString savingError(const QString& fileName)
{
    return line(QStringLiteral("Mentési hiba: ") + fileName);
}

// Each device's data file and backup file, both holding its lines.
Files stored(const QList<std::pair<QString, QByteArray>>& devices)
{
    Files files;
    for (const auto& [name, lines] : devices)
        files[dated(name)] = files[backup(name)] = lines;
    return files;
}

QStringList dailyFilesHere()
{
    return QDir::current().entryList({QStringLiteral("*-log_*")}, QDir::Files, QDir::Name);
}

} // namespace

class DeviceExchangeTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }

    // Backup copies are on in every row; a folder where a file should be makes its writing fail.
    void messagesAreFramedJudgedAnsweredAndStored_data()
    {
        QTest::addColumn<QByteArrayList>("replyTexts"); // ack, checksum error, syntax error
        QTest::addColumn<QStringList>("inTheWay");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("chunk"); // each written after the server has taken the one before
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<Files>("files");

        const QByteArrayList usual {"ok", "CE", "SE"};
        const QByteArray zeros = messages::zeros();
        const QByteArray ones = messages::ones("00");
        const QByteArray abc = messages::abc12();
        const QString zerosName(32, QLatin1Char('0'));
        const QString abcName = QStringLiteral("ABC_12");
        // Noise before "$", CR dropped and LF kept, a zero byte dropped, a checksum error, a short
        // message ended by the next "$", 200 characters cut at 133.
        const QByteArray stream
            = "xy" + zeros + "\r\n" + ones.left(50) + '\0' + ones.mid(50) + "$short" + abc + QByteArray(67, '7') + "$";
        const QString streamLines = syntaxError("xy") + accepted(zeros) + syntaxError("\n")
            + exchange(ones, QStringLiteral("Chks error. Számolt: 32. Válasz: CE")) + syntaxError("$short")
            + accepted(abc) + syntaxError(QByteArray(67, '7'));
        const Files streamFiles = stored(
            {{zerosName, zeros + "\r\n"}, {QString(32, QLatin1Char('1')), ones + "\r\n"}, {abcName, abc + "\r\n"}});
        for (const int chunk : {1, 7, 1000}) {
            QTest::addRow("stream in pieces of %d", chunk)
                << usual << QStringList() << stream << chunk << QByteArray("SEokSECESEokSE") << streamLines
                << streamFiles;
        }
        QTest::newRow("Latin-1 reply, ? outside it")
            << QByteArrayList {"\xc5\x91\xc3\xa9", "", ""} << QStringList() << zeros << 1000 << QByteArray("?\xe9")
            << exchange(zeros, QStringLiteral("Válasz: ?é")) << stored({{zerosName, zeros + "\r\n"}});
        // "$08" + 128 * "0" needs "04": the computed checksum is shown without a leading zero.
        const QByteArray zeros05 = zeros.chopped(2) + "05";
        QTest::newRow("empty replies send nothing") << QByteArrayList {"", "", "SE"} << QStringList()
                                                    << zeros + zeros05 + "$08short$" << 1000 << QByteArray("SE")
                                                    << exchange(zeros, QStringLiteral("Válasz: "))
                + exchange(zeros05, QStringLiteral("Chks error. Számolt: 4. Válasz: <nincs>")) + syntaxError("$08short")
                                                    << stored({{zerosName, zeros + "\r\n" + zeros05 + "\r\n"}});

        // A final syntax error shows by its "SE" that nothing was sent before it.
        const QByteArray abc00 = messages::abc12("00");
        QTest::newRow("data file fails: no acknowledgement")
            << usual << QStringList {dated(abcName)} << abc + "$08short$" << 1000 << QByteArray("SE")
            << exchange(abc, QStringLiteral("Válasz: <nincs>")) + savingError(dated(abcName)) + syntaxError("$08short")
            << Files {{backup(abcName), abc + "\r\n"}};
        QTest::newRow("data file fails: checksum error still answered")
            << usual << QStringList {dated(abcName)} << abc00 + "$08short$" << 1000 << QByteArray("CESE")
            << exchange(abc00, QStringLiteral("Chks error. Számolt: 41. Válasz: CE")) + savingError(dated(abcName))
                + syntaxError("$08short")
            << Files {{backup(abcName), abc00 + "\r\n"}};
        QTest::newRow("backup fails alone: acknowledged")
            << usual << QStringList {backup(abcName)} << abc + "$08short$" << 1000 << QByteArray("okSE")
            << accepted(abc) + savingError(backup(abcName)) + syntaxError("$08short")
            << Files {{dated(abcName), abc + "\r\n"}};
        QTest::newRow("both fail") << usual << QStringList {dated(abcName), backup(abcName)} << abc + "$08short$"
                                   << 1000 << QByteArray("SE")
                                   << exchange(abc, QStringLiteral("Válasz: <nincs>")) + savingError(dated(abcName))
                + savingError(backup(abcName)) + syntaxError("$08short")
                                   << Files();
    }

    void messagesAreFramedJudgedAnsweredAndStored()
    {
        QFETCH(QByteArrayList, replyTexts);
        QFETCH(QStringList, inTheWay);
        QFETCH(QByteArray, sent);
        QFETCH(int, chunk);
        QFETCH(QByteArray, replies);
        QFETCH(QString, lines);
        QFETCH(Files, files);
        ScopedWorkDir dir;
        for (const QString& folder : inTheWay)
            QVERIFY(QDir::current().mkdir(folder));
        TestConfig config;
        config.backup = true;
        config.ack = replyTexts[0];
        config.errorChks = replyTexts[1];
        config.errorSyntax = replyTexts[2];
        ServerWindow server(config);
        server.pressStart();
        Device device(server.port());
        QTRY_COMPARE(server.openConnections(), 1);
        device.sendInChunks(sent, chunk, server.window().findChild<QTcpSocket*>());
        QTRY_COMPARE(device.received(), replies);
        QTRY_COMPARE(server.flow(), opened + lines);
        QCOMPARE(dailyFilesHere(), files.keys());
        for (auto file = files.cbegin(); file != files.cend(); ++file)
            QCOMPARE(readFileBytes(file.key()), file.value());
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
        QTRY_COMPARE(server.flow(),
            opened + line(QStringLiteral("Új kapcsolat."), QStringLiteral("127.0.0.2")) + accepted(abc)
                + exchange(zeros, QStringLiteral("Válasz: ok"), QStringLiteral("127.0.0.2")));
    }

    void connectionEnds_data()
    {
        QTest::addColumn<QByteArray>("socketTimeout");
        QTest::addColumn<bool>("clientCloses");
        QTest::addColumn<QString>("endLine");
        QTest::newRow("client closes") << QByteArray("30") << true
                                       << QStringLiteral("A kapcsolatot a kliens bontotta.");
        QTest::newRow("socket timeout") << QByteArray("1") << false
                                        << QStringLiteral("A kapcsolatot a szerver bontotta. (Timeout)");
    }

    void connectionEnds()
    {
        QFETCH(QByteArray, socketTimeout);
        QFETCH(bool, clientCloses);
        QFETCH(QString, endLine);
        ScopedWorkDir dir;
        TestConfig config;
        config.socketTimeout = socketTimeout;
        ServerWindow server(config);
        server.pressStart();
        Device device(server.port());
        QTRY_COMPARE(server.openConnections(), 1);
        device.send("$08half"); // a partial message is lost with its connection
        if (clientCloses)
            device.tcp().disconnectFromHost();
        QTRY_COMPARE(server.flow(), opened + line(endLine) + QLatin1Char('\n'));
        QCOMPARE(server.openConnections(), 0);
        QTRY_VERIFY(!device.connected());
        // The ended connection's socket is released without waiting for a stop.
        QTRY_VERIFY(server.window().findChildren<QTcpSocket*>().isEmpty());
        QVERIFY(server.running());
    }
};

QTEST_MAIN(DeviceExchangeTest)
#include "tst_deviceexchange.moc"
