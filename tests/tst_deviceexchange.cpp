#include "engine/connection.h"
#include "tests/platformfaults.h"
#include "tests/serverfixture.h"

#include <QStringEncoder>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;
using Files = QMap<QString, QByteArray>; // file name, content

namespace {

// Every start says whether a list of known devices is in force.
const QString started
    = u"<ts>Szerver elindítva.\n<ts>Nincs ismert eszközök listája (ismert_eszkozok.txt): minden eszköz adatát fogadom.\n\n"_s;
const QString stopped = u"<ts>Szerver leállítva.\n\n"_s;
const QString opened = started + u"<ts>[127.0.0.1] Új kapcsolat.\n"_s;

} // namespace

class DeviceExchangeTest final : public StilwaterTest
{
    Q_OBJECT

    static QString line(const QString& body, const QString& peer = u"127.0.0.1"_s)
    {
        return u"<ts>[%1] "_s.arg(peer) + body + u'\n';
    }
    static QString exchange(const QByteArray& message, const QString& reply, const QString& peer = u"127.0.0.1"_s)
    {
        return line(u"Bejövő adat: "_s + QString::fromLatin1(message), peer) + line(reply, peer);
    }
    static QString accepted(const QByteArray& message) { return exchange(message, u"Válasz: ok"_s); }
    static QString syntaxError(const QByteArray& text) { return exchange(text, u"Syntax error. Válasz: SE"_s); }
    static QString dated(const QString& name) { return name + u"-log_2026-12-31.txt"_s; }
    static QString backup(const QString& name) { return u"bak_"_s + dated(name); }
    // Each device's data file and backup file, both holding its lines.
    static Files stored(const QList<std::pair<QString, QByteArray>>& devices)
    {
        Files files;
        for (const auto& [name, lines] : devices)
            files[dated(name)] = files[backup(name)] = lines;
        return files;
    }

    // The program's clock, a second before midnight unless a test moves it; its threads read it
    // meanwhile.
    std::atomic<qint64> now {0};
    QStringList failedTests;
    void standAt(const QDateTime& moment) { now = moment.toMSecsSinceEpoch(); }

private slots:
    void init()
    {
        // A fault that breaks one row breaks its siblings too: each would wait out its checks, and
        // the run would end at the test's time limit instead of at the first report.
        if (failedTests.contains(QString::fromLatin1(QTest::currentTestFunction())))
            QSKIP("an earlier row of this test failed");
        StilwaterTest::init();
        setClock([this] { return QDateTime::fromMSecsSinceEpoch(now); });
        standAt(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)));
    }
    void cleanup()
    {
        StilwaterTest::cleanup();
        if (QTest::currentTestFailed())
            failedTests << QString::fromLatin1(QTest::currentTestFunction());
    }

    // Backup copies are on in every row; a folder, a link or a FIFO where a file should be makes its
    // writing fail.
    void messagesAreFramedJudgedAnsweredAndStored_data()
    {
        QTest::addColumn<QByteArrayList>("texts"); // ack, checksum error, syntax error, [a missing data folder]
        QTest::addColumn<QStringList>("inTheWay"); // "name" (a folder), "name>link target" or "name|" (a FIFO)
        QTest::addColumn<QByteArray>("sent");
        // Each written after the server has taken the one before; 0: all at once, and the device
        // shuts its sending side at once and reads until the server closes.
        QTest::addColumn<int>("chunk");
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<Files>("files");

        const QByteArrayList usual {"ok", "CE", "SE"};
        const QByteArray zeros = messages::zeros();
        const QByteArray ones = messages::ones("00");
        const QByteArray abc = messages::abc12();
        const QString zerosName(32, u'0');
        const QString abc12 = u"ABC_12"_s;
        // Markup before "$" shown as characters, CR dropped and LF kept, a zero byte dropped, a checksum
        // error, punctuation summed and a checksum field of letters read as 0 (104 + 127 * 48 + 44 =
        // 6244; % 256 = 100), 132 characters ended by the next "$", a message followed by 138
        // characters: cut at 133, and those without "$" cut at 133 too.
        const QByteArray punctuation = "$08" + QByteArray(127, '0') + ",AB";
        const QByteArray short132 = "$08" + QByteArray(129, '0');
        const QByteArray noise133 = 'X' + QByteArray(132, '7');
        const QByteArray markup = "<b>x</b><img src=\"http://127.0.0.1:9/i.png\">";
        const QByteArray stream = markup + zeros + "\r\n" + ones.left(50) + '\0' + ones.mid(50) + punctuation + short132
            + abc + noise133 + "77777$";
        const QString streamLines = syntaxError(markup) + accepted(zeros) + syntaxError("\\n")
            + exchange(ones, u"Chks error. Számolt: 32. Válasz: CE"_s) + accepted(punctuation) + syntaxError(short132)
            + accepted(abc) + syntaxError(noise133) + syntaxError("77777");
        const Files streamFiles = stored({{zerosName, zeros + "\r\n" + punctuation + "\r\n"},
            {QString(32, u'1'), ones + "\r\n"}, {abc12, abc + "\r\n"}});
        for (const int chunk : {1, 7, 1000}) {
            QTest::addRow("stream in pieces of %d", chunk)
                << usual << QStringList() << stream << chunk << QByteArray("SEokSECEokSEokSESE") << streamLines
                << streamFiles;
        }
        QTest::newRow("Latin-1 reply, ? outside it")
            << QByteArrayList {QStringEncoder(QStringConverter::System)(u"€é"_s), "", ""} << QStringList() << zeros
            << 1000 << QByteArray("?\xe9") << exchange(zeros, u"Válasz: ?é"_s) << stored({{zerosName, zeros + "\r\n"}});
        const QString clientClosed = line(u"A kapcsolatot a kliens bontotta.\n"_s);
        QTest::newRow("half-closes after two") << usual << QStringList() << zeros + zeros << 0 << QByteArray("okok")
                                               << accepted(zeros) + accepted(zeros) + clientClosed
                                               << stored({{zerosName, zeros + "\r\n" + zeros + "\r\n"}});
        QTest::newRow("half-closes after CR LF")
            << usual << QStringList() << zeros + "\r\n"
            << 0 << QByteArray("ok") << accepted(zeros) + clientClosed << stored({{zerosName, zeros + "\r\n"}});

        // The checksum is right: 6248 - 3 * 48 + 10 + 27 + 127 = 6268, % 256 = 124.
        const QByteArray controls = "$08" + QByteArray(61, '0') + "\n\x1b\x7f" + QByteArray(64, '0') + "24";
        QTest::newRow("control characters: syntax error, shown escaped")
            << usual << QStringList() << controls + zeros << 1000 << QByteArray("SEok")
            << syntaxError("$08" + QByteArray(61, '0') + "\\n\\x1b\\x7f" + QByteArray(64, '0') + "24") + accepted(zeros)
            << stored({{zerosName, zeros + "\r\n"}});
        // Each ends in a short message: its syntax error's "SE" shows that nothing was sent before it.
        const auto ending
            = [](const char* name, const QByteArrayList& texts, const QStringList& inTheWay, const QByteArray& sent,
                  const QByteArray& replies, const QString& lines, const Files& files) {
                  QTest::newRow(name) << texts << inTheWay << sent + "$08short$" << 1000 << replies + "SE"
                                      << lines + syntaxError("$08short") << files;
              };
        // "$08" + 128 * "0" needs "04": the computed checksum is shown without a leading zero.
        const QByteArray zeros05 = zeros.chopped(2) + "05";
        ending("empty replies send nothing", {"", "", "SE"}, {}, zeros + zeros05, "",
            exchange(zeros, u"Válasz: "_s) + exchange(zeros05, u"Chks error. Számolt: 4. Válasz: <nincs>"_s),
            stored({{zerosName, zeros + "\r\n" + zeros05 + "\r\n"}}));
        const QByteArray abc00 = messages::abc12("00");
        const QString dataFails = line(u"Mentési hiba: "_s + dated(abc12));
        const QString backupFails = line(u"Mentési hiba: "_s + backup(abc12));
        const QString notAcknowledged = exchange(abc, u"Válasz: <nincs>"_s);
        ending("data file fails: checksum error still answered", usual, {dated(abc12)}, abc00, "CE",
            exchange(abc00, u"Chks error. Számolt: 41. Válasz: CE"_s) + dataFails, {{backup(abc12), abc00 + "\r\n"}});
        ending("backup fails alone: acknowledged", usual, {backup(abc12)}, abc, "ok", accepted(abc) + backupFails,
            {{dated(abc12), abc + "\r\n"}});
        ending(
            "both fail", usual, {dated(abc12), backup(abc12)}, abc, "", notAcknowledged + dataFails + backupFails, {});
        // Only the other device's own line reaches the file that the link names, not yet there.
        const Files abcFails {
            {dated(zerosName), zeros + "\r\n"}, {backup(zerosName), zeros + "\r\n"}, {backup(abc12), abc + "\r\n"}};
        const QString zerosServed = notAcknowledged + dataFails + accepted(zeros);
        ending("link to another device's file: not followed, no acknowledgement", usual,
            {dated(abc12) + u'>' + dated(zerosName)}, abc + zeros, "ok", zerosServed, abcFails);
#ifdef Q_OS_WIN // only there does a program lock a file against all others
        Files locked = abcFails;
        locked.insert(dated(abc12), "");
        const QString lockedLine = line(u"A fájlt egy másik program zárolja: "_s + dated(abc12));
        ending("locked by another program: said so, no acknowledgement", usual, {dated(abc12) + u'!'}, abc + zeros,
            "ok", notAcknowledged + dataFails + lockedLine + accepted(zeros), locked);
#endif
#ifdef Q_OS_UNIX // FIFOs
        ending("FIFO: not waited for, the next message served", usual, {dated(abc12) + u'|'}, abc + zeros, "ok",
            zerosServed, abcFails);
#endif
        ending("data folder missing: no acknowledgement", usual + QByteArrayList {"gone/"}, {}, abc, "",
            notAcknowledged + line(u"Mentési hiba: gone/"_s + dated(abc12)), {{backup(abc12), abc + "\r\n"}});
    }

    void messagesAreFramedJudgedAnsweredAndStored()
    {
        QFETCH(QByteArrayList, texts);
        QFETCH(QStringList, inTheWay);
        QFETCH(QByteArray, sent);
        QFETCH(int, chunk);
        QFETCH(QByteArray, replies);
        QFETCH(QString, lines);
        QFETCH(Files, files);
        std::vector<std::function<void()>> locks;
        for (const QString& thing : inTheWay) {
#ifdef Q_OS_WIN
            if (thing.endsWith(u'!')) {
                locks.push_back(holdLocked(thing.chopped(1)));
                continue;
            }
#endif
            if (thing.contains(u'>')) {
                if (!makeSymbolicLink(thing.section(u'>', 1), thing.section(u'>', 0, 0)))
                    QSKIP("this system makes no symbolic links for this user");
            }
#ifdef Q_OS_UNIX
            else if (thing.endsWith(u'|'))
                QCOMPARE(::mkfifo(QFile::encodeName(thing.chopped(1)), 0600), 0);
#endif
            else
                QVERIFY(QDir::current().mkdir(thing));
        }
        TestConfig config;
        config.backup = true;
        std::tie(config.ack, config.errorChks, config.errorSyntax) = std::tie(texts[0], texts[1], texts[2]);
        config.filePrefix = texts.value(3);
        ServerWindow server(config);
        server.pressStart();
        Device device(server.port());
        if (chunk == 0) { // data and the end of the stream may reach the server together
            device.send(sent);
            // Bytes still in the socket's own buffer would be cut off by the system's half-close.
            QTRY_COMPARE(device.tcp().bytesToWrite(), qint64(0));
            QVERIFY(halfClose(device.tcp().socketDescriptor()));
        } else {
            QTRY_COMPARE(server.openConnections(), 1);
            device.sendInChunks(sent, chunk, server.window().server());
        }
        QTRY_COMPARE(device.received(), replies);
        QTRY_COMPARE(server.flow(), opened + lines);
        for (const auto& unlock : locks)
            unlock();
        QCOMPARE(QDir::current().entryList({u"*-log_*"_s}, QDir::Files | QDir::NoSymLinks, QDir::Name), files.keys());
        for (auto file = files.cbegin(); file != files.cend(); ++file)
            QCOMPARE(readFileBytes(file.key()), file.value());

        // Past midnight, with the data folder back: the "$" left waiting, then the new day's files.
        if (chunk == 0 || !sent.endsWith('$'))
            return;
        const QString folder = QString::fromLatin1(config.filePrefix);
        QVERIFY(QDir().mkpath(u"./"_s + folder));
        standAt(QDateTime(QDate(2027, 1, 1), QTime(0, 0)));
        device.send(messages::abc12());
        QTRY_COMPARE(device.received(), replies + texts[2] + texts[0]);
        for (const QString& file : {folder, u"bak_"_s})
            QTRY_COMPARE(readFileBytes(file + u"ABC_12-log_2027-01-01.txt"_s), messages::abc12() + "\r\n");
        const QString reply = u"2027.01.01  00:00:00  -  [127.0.0.1] Válasz: "_s + QString::fromUtf8(texts[0]);
        QTRY_VERIFY(messageWindowText(&server.window()).endsWith(reply + u'\n'));
    }

    // Half a message is sent, or a whole one, whose handing over stops its timer; `earlier` goes
    // 400 ms before it.
    void timersEndMessagesAndConnections_data()
    {
        QTest::addColumn<QByteArray>("earlier");
        QTest::addColumn<QByteArray>("socketTimeout");
        QTest::addColumn<int>("messageTimeout");
        QTest::addColumn<bool>("clientCloses");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("lines");
        const QByteArray half = "$08half";
        QTest::newRow("message timer hands it over") << QByteArray() << QByteArray("30") << 1 << false << half
                                                     << exchange(half, u"Syntax error. Válasz: <nincs>"_s);
        QTest::newRow("a whole message: nothing after it")
            << QByteArray() << QByteArray("30") << 1 << false << messages::zeros() << accepted(messages::zeros());
        QTest::newRow("the next message's timer counts from its own start")
            << messages::zeros() << QByteArray("30") << 1 << false << half
            << accepted(messages::zeros()) + exchange(half, u"Syntax error. Válasz: <nincs>"_s);
        const QString clientCloses = line(u"A kapcsolatot a kliens bontotta.\n"_s);
        QTest::newRow("no socket timeout when negative, client closes: lost")
            << QByteArray() << QByteArray("-1") << 1 << true << half << clientCloses;
        QTest::newRow("socket timeout first: lost") << QByteArray() << QByteArray("1") << 5 << false << half
                                                    << line(u"A kapcsolatot a szerver bontotta. (Timeout)\n"_s);
    }

    void timersEndMessagesAndConnections()
    {
        QFETCH(QByteArray, earlier);
        QFETCH(QByteArray, socketTimeout);
        QFETCH(int, messageTimeout);
        QFETCH(bool, clientCloses);
        QFETCH(QByteArray, sent);
        QFETCH(QString, lines);
        TestConfig config;
        config.socketTimeout = socketTimeout;
        ServerWindow server(config);
        server.window().setMessageTimeout(messageTimeout);
        server.pressStart();
        Device device(server.port());
        QTRY_COMPARE(server.openConnections(), 1);
        if (!earlier.isEmpty()) {
            device.send(earlier);
            const QDeadlineTimer gap(400);
            QTRY_VERIFY(gap.hasExpired());
        }
        const QDeadlineTimer early(900);
        device.send(sent);
        if (clientCloses)
            device.tcp().disconnectFromHost();
        QTRY_COMPARE(server.flow(), opened + lines);
        const DeviceTable::totals_t& totals = server.window().server().devices().totals();
        QCOMPARE(totals.closed[Connection::TimedOut].load(), quint64(lines.contains(u"(Timeout)"_s)));
        QCOMPARE(totals.closed[Connection::ClientClosed].load(), quint64(clientCloses));
        quint64 replies = 0;
        for (const std::atomic<quint64>& bucket : totals.replyLatencies)
            replies += bucket.load();
        QCOMPARE(replies, quint64(lines.count(u"Válasz: ok"_s)));
        if (sent.size() == 133) {
            QTest::qWait(1500); // past the message timeout, to show that nothing follows
            QCOMPARE(server.flow(), opened + lines);
            QCOMPARE(device.received(), QByteArray("ok"));
            return;
        }
        QVERIFY2(clientCloses || early.hasExpired(), "a timer ran out early");
        const bool ended = lines.endsWith(u"\n\n"_s);
        QCOMPARE(server.openConnections(), ended ? 0 : 1);
        QTRY_COMPARE(device.connected(), !ended);
    }

    void startAndStop_data()
    {
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<bool>("held");
        const QByteArray free = QByteArray::number(freeLoopbackPort());
        QTest::newRow("held by another listener, then free") << free << true;
        QTest::newRow("zero") << QByteArray("0") << false;
        QTest::newRow("above 65535, low bits a free port") << QByteArray::number(65536 + free.toInt()) << false;
    }

    void startAndStop()
    {
        QFETCH(QByteArray, port);
        QFETCH(bool, held);
        QTcpServer holder;
        if (held)
            QVERIFY(holder.listen(QHostAddress::LocalHost, port.toUShort()));
        TestConfig config;
        config.port = port;
        ServerWindow server(config);
        const auto enabled = [&server] {
            QStringList names;
            for (const QString& name :
                {u"start"_s, u"actionServerStart"_s, u"stop"_s, u"actionServerStop"_s, u"menuBeallitasok"_s}) {
                if (server.window().findChild<QObject*>(name)->property("enabled").toBool())
                    names << name;
            }
            return names.join(u' ');
        };
        const QString whileStopped = u"start actionServerStart menuBeallitasok"_s;
        QCOMPARE(enabled(), whileStopped);
        QCOMPARE(answering(QMessageBox::Ok, [&] { server.pressStart(); }),
            u"Hiba: A megadott port hibás, vagy már foglalt."_s);
        QCOMPARE(enabled(), whileStopped);
        QCOMPARE(server.flow(), QString());
        QCOMPARE(server.window().currentSettings().port, port.toInt());
        if (!held)
            return;
        holder.close();
        server.pressStart();
        QCOMPARE(enabled(), u"stop actionServerStop"_s);
        server.pressStop(); // no connection open: no question is asked
        QTRY_COMPARE(enabled(), whileStopped);
        QCOMPARE(server.flow(), started + stopped);
    }

    void devicesKeepTheirOwnBuffersAndStopAndExitAsk_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("ending"); // lines written after the connections were accepted
        const QString stop = u"actionServerStop"_s;
        const QString stopQuestion
            = u"A szerverhez még kapcsolódik kliens. Biztosan leállítja a szervert?\n\nFigyelem! Ez adatvesztéssel járhat!"_s;
        const QString exit = u"actionKilepes"_s;
        const QString exitQuestion
            = u"A szerver fut. Biztosan kilép a programból?\n\nFigyelem! Ez adatvesztéshez vezethet!"_s;
        const QString closing = u"A kapcsolatot a szerver bontotta.\n"_s;
        // Closed in the order they were accepted; an IPv6 device is shown by its IPv6 address.
        const QString closed = line(closing, u"127.0.0.3"_s) + line(closing, u"::1"_s) + line(closing, u"127.0.0.2"_s);
        QTest::newRow("stop, Cancel") << stop << QMessageBox::Cancel << stopQuestion << QString();
        QTest::newRow("stop, Ok") << stop << QMessageBox::Ok << stopQuestion << closed + stopped;
        QTest::newRow("stop, Ok, exit during the stop")
            << stop + u",actionKilepes"_s << QMessageBox::Ok << stopQuestion << closed + stopped;
        QTest::newRow("exit, Cancel") << exit << QMessageBox::Cancel << exitQuestion << QString();
        QTest::newRow("exit, Ok: no stop line") << exit << QMessageBox::Ok << exitQuestion << closed;
    }

    void devicesKeepTheirOwnBuffersAndStopAndExitAsk()
    {
        QFETCH(QString, action);
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(QString, question);
        QFETCH(QString, ending);
        ServerWindow server;
        server.pressStart();
        QString accepted = started;
        std::vector<std::unique_ptr<Device>> devices;
        for (const QString& address : {u"127.0.0.3"_s, u"::1"_s, u"127.0.0.2"_s}) {
            devices.push_back(std::make_unique<Device>(server.port(), QHostAddress(address)));
            QTRY_COMPARE(server.openConnections(), int(devices.size()));
            accepted += line(u"Új kapcsolat."_s, address);
        }
        // Pieces of two messages interleaved never mix: each device has a buffer of its own.
        const QByteArray abc = messages::abc12();
        const QByteArray zeros = messages::zeros();
        devices[0]->send(abc.left(60));
        devices[2]->send(zeros.left(70));
        devices[0]->send(abc.mid(60));
        QTRY_COMPARE(devices[0]->received(), QByteArray("ok"));
        devices[2]->send(zeros.mid(70));
        QTRY_COMPARE(devices[2]->received(), QByteArray("ok"));
        accepted += exchange(abc, u"Válasz: ok"_s, u"127.0.0.3"_s) + exchange(zeros, u"Válasz: ok"_s, u"127.0.0.2"_s);
        // What the message window shows when the controls say that the server has stopped, or when the
        // window goes; the watch ends before the window does.
        QString shownAtTheEnd;
        const QObject watch;
        const auto note = [&] { shownAtTheEnd = withoutTimeStamps(messageWindowText(&server.window())); };
        connect(server.window().findChild<QAction*>(u"actionServerStart"_s), &QAction::enabledChanged, &watch, note);
        connect(server.window().windowHandle(), &QWindow::visibleChanged, &watch, note);
        const QStringList actions = action.split(u',');
        QCOMPARE(answering(answer, [&] { server.window().findChild<QAction*>(actions.first())->trigger(); }),
            u"Figyelmeztetés: "_s + question);
        if (actions.size() > 1) {
            server.window().findChild<QAction*>(actions.last())->trigger();
            QVERIFY2(server.window().isVisible(), "closed before the stop was through");
        }
        const bool kept = answer == QMessageBox::Cancel;
        QTRY_COMPARE(server.window().server().running(), kept);
        QCOMPARE(server.openConnections(), kept ? 3 : 0);
        QTRY_COMPARE(server.window().isVisible(), kept || action == u"actionServerStop"_s);
        // Every line is on the screen by the time the controls switch or the window goes.
        if (!kept)
            QTRY_COMPARE(shownAtTheEnd, accepted + ending);
        QTRY_COMPARE(server.flow(), accepted + ending);
        for (const auto& device : devices)
            QTRY_COMPARE(device->connected(), kept);
    }

    // A device that leaves its replies unread is answered until they pile up; then nothing more is
    // read from it until it takes them, or its connection ends: what waits at its timeout is lost.
    void aConnectionWithUnsentOutputEndsAtItsTimeout()
    {
        BareServer server;
        server.settings.socket_timeout = 1;
        server.settings.ack = QString(3'000'000, u'k'); // far more than the system buffers of both ends hold
        QVERIFY(server.start());
        Device device(server.port(), QHostAddress(QHostAddress::LocalHost), Device::Reading::Stalls);
        device.send(messages::zeros() + messages::zeros());
        QTRY_COMPARE(server.flow().count(u"Válasz: "_s), 1);
        QTRY_COMPARE_WITH_TIMEOUT(server.engine.connectionCount(), size_t(0), 10000);
        QTRY_VERIFY(server.flow().endsWith(line(u"A kapcsolatot a szerver bontotta. (Timeout)\n"_s)));
        QCOMPARE(server.flow().count(u"A kapcsolatot"_s), 1);
        QCOMPARE(server.flow().count(u"Válasz: "_s), 1);
    }

    // 20 MB of syntax-error replies for a device that does not read: what the server holds stays
    // within the bound, and the device gets every reply once it reads.
    void aDeviceThatDoesNotReadCostsABoundedBacklog()
    {
        // Each stray "$" costs a reply of a thousand bytes: many times what the kernel buffers hold,
        // and within what wine's sockets pass in a few seconds.
#ifdef Q_OS_WIN
        constexpr int strays = 4000;
#else
        constexpr int strays = 20000;
#endif
        BareServer server;
        server.settings.error_syntax = QString(1000, u'S');
        QVERIFY(server.start());
        Device device(server.port(), QHostAddress(QHostAddress::LocalHost), Device::Reading::Stalls);
        device.send(QByteArray(strays, '$'));
        QTRY_VERIFY_WITH_TIMEOUT(server.engine.bytesHeld() > Connection::unsentBound, 10000);
        const quint64 received = server.engine.bytesReceived();
        QTest::qWait(500); // to show that nothing more is read meanwhile
        QCOMPARE(server.engine.bytesReceived(), received);
        QVERIFY(server.engine.bytesHeld() <= Connection::unsentBound + 1000 + 4096);
        device.startReading();
        QTRY_COMPARE_WITH_TIMEOUT(device.received().size(), strays * 1000, 15000);
        QTRY_COMPARE(server.engine.bytesHeld(), 0);
    }

    // A stop gives a device that reads slowly the close grace to take its last reply, the line stored
    // and the reply sent.
    void aStopDeliversTheLastRepliesWithinTheGrace()
    {
        // More than the kernel's buffers hold, so that the stop finds most of it still queued: Linux
        // lets a loopback connection buffer megabytes, Windows far less.
#ifdef Q_OS_WIN
        constexpr int replySize = 1'000'000;
#else
        constexpr int replySize = 8'000'000;
#endif
        BareServer server;
        server.settings.ack = QString(replySize, u'k');
        QVERIFY(server.start());
        Device device(server.port(), QHostAddress(QHostAddress::LocalHost), Device::Reading::Stalls);
        device.send(messages::zeros());
        QTRY_COMPARE(server.flow().count(u"Válasz: "_s), 1);
        server.engine.stop(Engine::StopLine::Announce, [] {});
        QTest::qWait(1000); // the device reads only a second into the stop, well within the grace
        QVERIFY(device.connected());
        device.startReading();
        QTRY_COMPARE(device.received().size(), replySize);
        QTRY_VERIFY(server.flow().endsWith(line(u"A kapcsolatot a szerver bontotta.\n"_s) + stopped));
    }

    // While a device's day file is being created, or its line waits for the disk, the server reads no
    // further from it: the time of the message behind it stands still, and what waits is one read. The
    // connection's own time runs on: when it runs out, the message in hand is finished, and then the
    // connection ends.
    void aSlowFileCostsTheDeviceNoTime_data()
    {
        QTest::addColumn<int>("socketTimeout");
        QTest::addColumn<QByteArray>("first"); // sent before the file is created
        QTest::addColumn<QByteArray>("then"); // sent while it is
        QTest::addColumn<QByteArray>("replies");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<bool>("syncHeld"); // the disk's sync is held instead of the file's creation
        const QByteArray abc = messages::abc12();
        const QByteArray zeros = messages::zeros();
        const QString both = opened + accepted(abc) + accepted(zeros);
        QTest::newRow("the next message completes")
            << 30 << abc + zeros.left(60) << zeros.mid(60) << QByteArray("okok") << both << false;
        const QString timedOut = opened + accepted(abc) + line(u"A kapcsolatot a szerver bontotta. (Timeout)\n"_s);
        QTest::newRow("the socket timeout finishes the message in hand")
            << 1 << abc + zeros.left(60) << zeros.mid(60) << QByteArray("ok") << timedOut << false;
        QTest::newRow("the socket timeout finishes the message whose sync waits")
            << 1 << abc + zeros.left(60) << zeros.mid(60) << QByteArray("ok") << timedOut << true;
        QString dollars = opened + accepted(abc);
        for (int i = 0; i < 10000; ++i)
            dollars += exchange("$", u"Syntax error. Válasz: <nincs>"_s);
        QTest::newRow("a flood of starts")
            << 30 << abc + QByteArray(10000, '$') << QByteArray() << QByteArray("ok") << dollars << false;
    }

    void aSlowFileCostsTheDeviceNoTime()
    {
        QFETCH(int, socketTimeout);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, then);
        QFETCH(QByteArray, replies);
        QFETCH(QString, lines);
        QFETCH(bool, syncHeld);
        setFileOps(slowSyncOps());
        BareServer server;
        server.settings.socket_timeout = socketTimeout;
        QSemaphore entered;
        QSemaphore created;
        server.engine.beforeCreatingFiles([&](const QString&) {
            entered.release();
            if (!syncHeld)
                created.acquire();
        });
        QVERIFY(server.start());
        syncsHeld = syncHeld;
        const auto letGo = qScopeGuard([&created] {
            created.release(100);
            syncsHeld = false;
        });
        Device device(server.port());
        device.send(first);
        QVERIFY(entered.tryAcquire(1, 5000));
        QTest::qWait(1500); // past both timeouts, to show which runs out while the server holds the device up
        device.send(then);
        QVERIFY(server.engine.bytesHeld() <= 4096);
        created.release(100);
        syncsHeld = false;
        QTRY_COMPARE(device.received(), replies);
        QTRY_COMPARE(server.flow(), lines);
        QCOMPARE(readFileBytes(u"ABC_12-log_2026-12-31.txt"_s), messages::abc12() + "\r\n");
    }
};

QTEST_MAIN(DeviceExchangeTest)
#include "tst_deviceexchange.moc"
