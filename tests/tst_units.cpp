#include "engine/acceptrefusal.h"
#include "engine/admission.h"
#include "engine/devicetable.h"
#include "engine/engine.h"
#include "engine/knowndevices.h"
#include "engine/linequeue.h"
#include "engine/listening.h"
#include "engine/timerinterval.h"
#include "messages/messagelayout.h"
#include "messages/showntext.h"
#include "net/localaddress.h"
#include "recording/dailyfile.h"
#include "recording/dayfilecache.h"
#include "recording/devicename.h"
#include "settings/configfile.h"
#include "settings/settings.h"
#include "tests/platformfaults.h"
#include "tests/serverfixture.h"

#include <asio/error.hpp>
#include <cerrno>
#include <climits>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QByteArray header = "*** GPRS Data Server Config File ***";
const QByteArrayList defaults {header, "10001", "30", "", ".txt", "", "0", "bak_", ".txt", "", "ok", "", ""};
// Every value differs from its default; the folders, never read back, are empty as written.
const QByteArrayList custom {header, "2000", "45", "pre", "csv", "", "1", "b_", ".bak", "", "ACK", "CE", "SE"};

// The table's rows by name: "name last-message peer connections messages/checksum/syntax/storing
// first-seen", times as "dd hh:mm".
QStringList deviceRows(const DeviceTable& table)
{
    const auto time = [](qint64 moment) { return QDateTime::fromMSecsSinceEpoch(moment).toString(u"dd hh:mm"_s); };
    QStringList rows;
    for (const device_row_t& row : table.rowsChangedSince(0)) {
        const QString counts
            = u"%1/%2/%3/%4"_s.arg(row.messages).arg(row.checksumErrors).arg(row.syntaxErrors).arg(row.storingFailures);
        rows << u"%1 %2 %3 %4 %5 %6"_s.arg(row.name, time(row.lastMessage), row.lastPeer,
            QString::number(row.connections), counts, time(row.firstSeen));
    }
    rows.sort();
    return rows;
}

} // namespace

class UnitsTest final : public StilwaterTest
{
    Q_OBJECT

    static QByteArray joined(const QByteArrayList& lines, const QByteArray& end = "\r\n")
    {
        return lines.join(end) + end;
    }

private slots:
    // Numbers that a function turns into others: "timer", a timeout's seconds into a timer's
    // milliseconds (-1: no timer); "ceiling", a descriptor limit into the connections it allows.
    void numberIsTurned_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<qint64>("number");
        QTest::addColumn<qint64>("result");
        QTest::newRow("timer: largest that fits") << u"timer"_s << 2147483LL << 2147483000LL;
        QTest::newRow("timer: one more overflows int") << u"timer"_s << 2147484LL << qint64(INT_MAX);
        QTest::newRow("timer: negative, no timer") << u"timer"_s << -5LL << -1LL;
        QTest::newRow("ceiling: 8, a quarter kept") << u"ceiling"_s << 8LL << 6LL;
        QTest::newRow("ceiling: 1024, 256 kept") << u"ceiling"_s << 1024LL << 768LL;
        QTest::newRow("ceiling: 4096, 256 kept") << u"ceiling"_s << 4096LL << 3840LL;
        QTest::newRow("ceiling: 2^20, a thirty-second kept") << u"ceiling"_s << 1048576LL << 1015808LL;
    }

    void numberIsTurned()
    {
        QFETCH(QString, function);
        QFETCH(qint64, number);
        QFETCH(qint64, result);
        if (function == u"timer"_s)
            QCOMPARE(::timerInterval(static_cast<int>(number)).value_or(-1), result);
        else
            QCOMPARE(static_cast<qint64>(connectionCeiling(number)), result);
    }

    // Asio's codes for what accept() may meet, as its reactor reports them: the connection's own
    // troubles are passed over, shortages stop accepting for a while with their line.
    void acceptErrorsAreTold_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("told"); // empty: passed over
        const QString start = u"Új kapcsolat nem fogadható: "_s;
        QTest::newRow("EMFILE") << int(asio::error::no_descriptors) << start + u"elfogytak a fájlleírók.\n"_s;
        QTest::newRow("ENFILE") << ENFILE << start + u"elfogytak a fájlleírók.\n"_s;
        QTest::newRow("ENOBUFS") << int(asio::error::no_buffer_space) << start + u"elfogyott a rendszer memóriája.\n"_s;
        QTest::newRow("ENOMEM") << int(asio::error::no_memory) << start + u"elfogyott a rendszer memóriája.\n"_s;
        QTest::newRow("ECONNABORTED") << int(asio::error::connection_aborted) << QString();
        QTest::newRow("EPROTO") << EPROTO << QString();
        QTest::newRow("EINTR") << int(asio::error::interrupted) << QString();
        const QString invalid = QString::fromStdString(asio::error_code(asio::error::invalid_argument).message());
        QTest::newRow("EINVAL") << int(asio::error::invalid_argument) << start + u"rendszerhiba (%1).\n"_s.arg(invalid);
    }

    void acceptErrorsAreTold()
    {
        QFETCH(int, error);
        QFETCH(QString, told);
        const std::error_code code(error, asio::system_category());
        QCOMPARE(isTransientAcceptError(code), told.isEmpty());
        if (!told.isEmpty())
            QCOMPARE(refusalText(code), told);
        QCOMPARE(isDescriptorShortage(code), told.contains(u"fájlleírók"_s));
    }

    // "$08" + 128 * "0" + "04" with the "0" at position 70 replaced, the checksum worked out by hand
    // (6248 + code - 48, % 256, % 100): a control character is a syntax error, shown escaped.
    void controlCharacters_data()
    {
        QTest::addColumn<QString>("character");
        QTest::addColumn<QString>("checksum");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QString>("shown"); // the character and the checksum field
        QTest::newRow("Latin-1 letter") << u"é"_s << u"33"_s << 0 << u"é33"_s;
        QTest::newRow("C1 control sequence introducer") << u"\x9b"_s << u"11"_s << 4 << u"\\x9b11"_s;
        QTest::newRow("in the checksum field") << u"\\"_s << u"0\n"_s << 4 << u"\\0\\n"_s;
    }

    void controlCharacters()
    {
        QFETCH(QString, character);
        QFETCH(QString, checksum);
        QFETCH(int, verdict);
        QFETCH(QString, shown);
        int computed = -1;
        QCOMPARE(
            settings_t::calcChks(u"$08"_s + QString(66, u'0') + character + QString(61, u'0') + checksum, &computed),
            verdict);
        QCOMPARE(shownText(character + checksum), shown);
    }

    // config.cfg's text: what the record takes from it, as the next save writes it (the defaults when
    // it takes nothing: loading is all or nothing), and whether the service serves with it. The
    // window's own round trip is in the settings tests.
    void configTextIsReadBack_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<bool>("served");
        // One line of `custom` changed.
        const auto line
            = [](const char* name, int number, const QByteArray& read, const QByteArray& written, bool served) {
                  QByteArrayList lines = custom;
                  lines[number - 1] = read;
                  const QByteArray text = joined(lines);
                  lines[number - 1] = written;
                  QTest::newRow(name) << text << joined(lines) << served;
              };
        line("spaces anywhere in a number", 2, " 10 0 01 ", "10001", true);
        line("tabs stay", 4, "\tp x", "\tpx", true);
        line("port 0", 2, "0", "0", true);
        line("port above 65535 kept", 2, "70000", "70000", true);
        line("port of letters", 2, "x", "0", false);
        line("letters read as 0", 3, "abc", "0", false);
        line("a unit read as 0", 3, "30s", "0", false);
        line("too large reads as 0", 3, "99999999999", "0", false);
        line("negative timeout", 3, "-1", "-1", true);
        line("backup spaced 1", 7, " 1 ", "1", true);
        line("backup empty", 7, QByteArray(), "0", true);
        line("backup true", 7, "true", "0", true);
        line("backup 2", 7, "2", "0", true);
        QTest::newRow("bare line feeds") << joined(custom, "\n") << joined(custom) << true;
        QTest::newRow("last line without line end") << joined(custom).chopped(2) << joined(custom) << true;
        QTest::newRow("12 lines") << joined(custom.mid(0, 12)) << joined(defaults) << false;
        QTest::newRow("14 lines, last one empty") << joined(custom) + "\r\n" << joined(defaults) << false;
        QTest::newRow("14 lines, last without line end") << joined(custom) + "x" << joined(defaults) << false;
        QTest::newRow("empty") << QByteArray() << joined(defaults) << false;
    }

    void configTextIsReadBack()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, written);
        QFETCH(bool, served);
        settings_t s;
        QCOMPARE(applyConfigText(text, s), written != joined(defaults));
        writeFile(configFileName(), text);
        settings_t strictly;
        QCOMPARE(loadConfigFileStrictly(strictly).isEmpty(), served);
        QCOMPARE(configText(s), written);
    }

    // Lines go straight to files that exist; a message with a file still to be created is left
    // whole to the slower lane, so that the line never lands twice in the file that did exist.
    void onlyExistingFilesAreWrittenAtOnce_data()
    {
        QTest::addColumn<bool>("backup");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<bool>("written");
        const QString data = u"AB-log_2026-12-05.txt"_s;
        const QString copy = u"bak_"_s + data;
        QTest::newRow("data file missing") << false << QStringList() << false;
        QTest::newRow("data file there") << false << QStringList {data} << true;
        QTest::newRow("backup missing") << true << QStringList {data} << false;
        QTest::newRow("data file missing, backup there") << true << QStringList {copy} << false;
        QTest::newRow("both there") << true << QStringList {data, copy} << true;
    }

    void onlyExistingFilesAreWrittenAtOnce()
    {
        QFETCH(bool, backup);
        QFETCH(QStringList, existing);
        QFETCH(bool, written);
        setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(9, 5, 7)); });
        for (const QString& name : existing)
            QVERIFY(QFile(name).open(QIODevice::WriteOnly));
        settings_t settings;
        settings.make_backup = backup;
        const QString message = u"$08AB"_s + QString(30, u' ') + QString(96, u'0') + u"00"_s;
        const std::atomic<bool> plenty {false};
        DayFileCache cache(4, plenty);
        const std::optional<stored_message_t> saved = saveDataToExistingFiles(message, settings, cache);
        QCOMPARE(saved.has_value(), written);
        for (const QString& name : existing)
            QCOMPARE(readFileBytes(name), written ? message.toLatin1() + "\r\n" : QByteArray());
        QCOMPARE(QDir::current().entryList(QDir::Files).size(), existing.size());
    }

    // A day file stays open between lines, but what an operator does to it is seen before each line:
    // a file moved away, renamed or deleted is never written again, the next line goes to a new file
    // at the path. A line cut short in the file, as a power cut leaves it, keeps a line of its own.
    void dayFilesFollowWhatTheOperatorDoes_data()
    {
        QTest::addColumn<QByteArray>("before"); // the day file's content at the start
        QTest::addColumn<QString>("step"); // between the two lines
        QTest::addColumn<QByteArray>("after"); // the day file's, then "|" and the moved file's
        const QByteArray line = "$08AB" + QByteArray(30, ' ') + QByteArray(96, '0') + "00\r\n";
        QTest::newRow("kept open") << QByteArray("") << QString() << line + line + "|";
        QTest::newRow("moved away") << QByteArray("") << u"move"_s << line + "|" + line;
        QTest::newRow("deleted") << QByteArray("") << u"delete"_s << line + "|";
        QTest::newRow("rotated: moved, a new one made") << QByteArray("") << u"move;create"_s << line + "|" + line;
        QTest::newRow("made a link, not followed") << QByteArray("") << u"move;link"_s << line + "|" + line;
        QTest::newRow("torn line") << QByteArray("$08AB 0") << QString() << "$08AB 0\r\n" + line + line + "|";
        QTest::newRow("torn after CR") << QByteArray("$08\r") << QString() << "$08\r\n" + line + line + "|";
    }

    void dayFilesFollowWhatTheOperatorDoes()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, step);
        QFETCH(QByteArray, after);
        setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(9, 5, 7)); });
        const QString day = u"AB-log_2026-12-05.txt"_s;
        writeFile(day, before);
        const settings_t settings;
        const QString message = u"$08AB"_s + QString(30, u' ') + QString(96, u'0') + u"00"_s;
        const std::atomic<bool> plenty {false};
        DayFileCache cache(4, plenty);
        const auto save = [&] {
            const std::optional<stored_message_t> stored = saveDataToExistingFiles(message, settings, cache);
            return stored ? stored->saved.first().written : saveData(message, settings).saved.first().written;
        };
        QVERIFY(save());
        for (const QString& action : step.split(u';', Qt::SkipEmptyParts)) {
            if (action == u"move"_s)
                QVERIFY(QFile::rename(day, u"moved"_s));
            else if (action == u"delete"_s && runsUnderWine())
                QSKIP("wine opens a deleted file at its name while the program holds it; Windows refuses");
            else if (action == u"delete"_s)
                QVERIFY(QFile::remove(day));
            else if (action == u"create"_s)
                QVERIFY(QFile(day).open(QIODevice::WriteOnly));
            else if (!makeSymbolicLink(u"moved"_s, day))
                QSKIP("this system makes no symbolic links for this user");
        }
        QCOMPARE(save(), !step.endsWith(u"link"_s));
        QCOMPARE(readFileBytes(day) + "|" + readFileBytes(u"moved"_s), after);
    }

    // Events beyond the cap push out the oldest whole, and their lines are counted under the newest's
    // stamp; each line gets a stamp as its event joins, so that stamps never run backwards, whichever
    // thread pushes.
    void lineQueueKeepsTheNewestEventsInTimeOrder()
    {
        std::atomic<qint64> second {0};
        setClock([&second] { return QDateTime::fromSecsSinceEpoch(second++); });
        LineQueue queue(3);
        queue.push(u"a\n"_s);
        queue.push(QStringList {u"b\n"_s, u"c\n\n"_s});
        for (const QString& line : {u"d\n"_s, u"e\n"_s, u"f\n"_s})
            queue.push(line);
        const LineQueue::Batch batch = queue.take();
        QCOMPARE(withoutTimeStamps(batch.events.join(QString())), u"<ts>d\n<ts>e\n<ts>f\n"_s);
        QCOMPARE(batch.dropped, 3);
        QCOMPARE(batch.droppedStamp, formatTimeStamp(QDateTime::fromSecsSinceEpoch(1)));
        QVERIFY(queue.isEmpty());
        // The engine's queue holds as many events as the message window keeps lines.
        Engine engine(1);
        for (int i = 0; i <= 50000; ++i)
            engine.lines().push(u"e\n"_s);
        const LineQueue::Batch full = engine.lines().take();
        QCOMPARE(full.events.size(), 50000);
        QCOMPARE(full.dropped, 1);

        LineQueue shared(10000);
        const auto pushSome = [&shared] {
            for (int i = 0; i < 2000; ++i)
                shared.push(QStringList {u"x\n"_s, u"y\n"_s});
        };
        std::thread other(pushSome);
        pushSome();
        other.join();
        QStringList stamps;
        for (const QString& event : shared.take().events) {
            QCOMPARE(event.section(u"x\n"_s, 1).left(25), event.left(25)); // one stamp for an event
            stamps << event.left(25);
        }
        QVERIFY(std::is_sorted(stamps.begin(), stamps.end()));
    }

    // A listener given one address takes connections to that address only; one given none takes both
    // loopback addresses in the window's tests, which connect over both.
    void listenerTakesItsAddressOnly_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("connectTo");
        QTest::addColumn<bool>("taken");
        QTest::newRow("IPv4 loopback") << u"127.0.0.1"_s << u"127.0.0.1"_s << true;
        QTest::newRow("IPv4 loopback, not IPv6") << u"127.0.0.1"_s << u"::1"_s << false;
        QTest::newRow("IPv6 loopback, not IPv4") << u"::1"_s << u"127.0.0.1"_s << false;
        QTest::newRow("every IPv4 address, not IPv6") << u"0.0.0.0"_s << u"::1"_s << false;
        QTest::newRow("not an address") << u"localhost"_s << u"127.0.0.1"_s << false;
    }

    void listenerTakesItsAddressOnly()
    {
        QFETCH(QString, address);
        QFETCH(QString, connectTo);
        QFETCH(bool, taken);
        const quint16 port = freeLoopbackPort();
        asio::io_context context;
        const auto listener = openListener(context, port, address.toStdString());
        QCOMPARE(listener.has_value(), address != u"localhost"_s);
        asio::ip::tcp::socket device(context);
        asio::error_code error;
        device.connect({asio::ip::make_address(connectTo.toStdString()), port}, error);
        QCOMPARE(!error, taken);
    }

    // A scripted day: a device connects, sends each verdict, hangs up; midnight starts new counts;
    // a restart knows the devices from their day files. Syntax errors go to the connection's device.
    void deviceTableKeepsTheDay()
    {
        QDateTime now(QDate(2026, 12, 5), QTime(9, 0));
        setClock([&now] { return now; });
        DeviceTable table(2);
        const QList<saved_line_t> stored {{u"f"_s, true}, {u"b"_s, true}};
        const QList<saved_line_t> backupFailed {{u"f"_s, true}, {u"b"_s, false}};
        const QString abc = QString::fromLatin1(messages::abc12());
        DevicePresence first(table);
        first.judged(u"$short"_s, verdict::wrongLength, {}, u"10.0.0.1"_s); // no device yet
        first.judged(abc, verdict::accepted, stored, u"10.0.0.1"_s);
        now = now.addSecs(90);
        first.judged(QString::fromLatin1(messages::abc12("00")), verdict::checksumError, stored, u"10.0.0.1"_s);
        first.judged(u"x$08"_s, verdict::noLeadingDollar, {}, u"10.0.0.1"_s);
        first.judged(abc, verdict::accepted, backupFailed, u"10.0.0.1"_s);
        DevicePresence second(table);
        second.judged(abc, verdict::accepted, stored, u"10.0.0.2"_s); // the same device again, elsewhere
        QCOMPARE(deviceRows(table), QStringList {u"ABC_12 05 09:01 10.0.0.2 2 4/1/1/1 05 09:00"_s});
        QCOMPARE(table.totals().devicesConnected.load(), 1);
        first.ended();
        second.ended();
        QCOMPARE(table.totals().devicesConnected.load(), 0);
        // The table full, the row heard least recently gives way to the third name, though it came
        // later than ABC_12's; the connection no longer speaks for the device before it.
        DevicePresence third(table);
        now = now.addSecs(60);
        third.judged(QString::fromLatin1(messages::zeros()), verdict::accepted, stored, u"10.0.0.3"_s);
        now = now.addSecs(60);
        second.judged(abc, verdict::accepted, stored, u"10.0.0.2"_s);
        now = now.addSecs(60);
        third.judged(u"$08ZZ"_s + abc.mid(5), verdict::accepted, stored, u"10.0.0.3"_s);
        QCOMPARE(table.totals().unlisted.load(), 1U);
        QCOMPARE(table.removals(), 1U);
        QCOMPARE(table.totals().devicesConnected.load(), 2);
        second.ended();
        third.ended();
        QCOMPARE(table.totals().devicesConnected.load(), 0);
        // A device taken out of service frees its place; one with a connection stays.
        const QString zeros = u"00000000000000000000000000000000"_s;
        DevicePresence fourth(table);
        fourth.judged(abc, verdict::accepted, stored, u"10.0.0.4"_s);
        QCOMPARE(table.forget({u"ABC_12"_s, u"ZZC_12"_s, u"ZZ"_s}), QStringList {u"ZZC_12"_s});
        QVERIFY(table.message(zeros, u"10.0.0.3"_s, false, false, false));
        QCOMPARE(table.removals(), 2U);
        fourth.ended();
        const DeviceTable::totals_t& totals = table.totals();
        QCOMPARE(QList<quint64>({totals.accepted, totals.checksumErrors, totals.syntaxErrors, totals.storingFailures,
                     totals.connectionsAccepted}),
            QList<quint64>({7, 1, 2, 1, 4}));

        // The errors that the metrics count, the row's first ones among them, go on over midnight.
        QVERIFY(table.message(u"ABC_12"_s, u"10.0.0.4"_s, true, false, false));
        table.syntaxError(u"ABC_12"_s);
        now = QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1));
        QCOMPARE(deviceRows(table),
            QStringList({zeros + u" 05 09:04 10.0.0.3 0 0/0/0/0 05 09:04"_s,
                u"ABC_12 05 09:04 10.0.0.4 0 0/0/0/0 05 09:00"_s}));
        for (const device_row_t& row : table.rowsChangedSince(0)) {
            const quint64 errors = row.name == u"ABC_12"_s ? 2 : 0;
            QCOMPARE(row.allChecksumErrors, errors);
            QCOMPARE(row.allSyntaxErrors, errors);
        }
        // So within one shard, where the order of hearing tells the row.
        DeviceTable oneShard(2, 1);
        for (const QString& name : {u"A"_s, u"B"_s, u"A"_s, u"C"_s}) {
            now = now.addSecs(1);
            oneShard.message(name, u"10.0.0.1"_s, false, false, false);
        }
        QCOMPARE(deviceRows(oneShard),
            QStringList({u"A 06 00:00 10.0.0.1 0 2/0/0/0 06 00:00"_s, u"C 06 00:00 10.0.0.1 0 1/0/0/0 06 00:00"_s}));

        // Files of two days of one device, another device's, a backup beside them whose name would
        // pass for a device's and a stranger; the clock's own day is not what counts, the files'
        // days and times are.
        const QDateTime yesterday(QDate(2026, 12, 5), QTime(23, 59));
#ifdef Q_OS_WIN
        const QString odd = u"a'b c"_s; // Windows takes no quotes or line breaks in a file name
#else
        const QString odd = u"a\"b\nc"_s;
#endif
        for (const QString& name : {u"p_ABC_12-log_2026-12-04.txt"_s, u"p_ABC_12-log_2026-12-05.txt"_s,
                 u"p_"_s + odd + u"-log_2026-12-01.txt"_s, u"p_bak_X-log_2026-12-05.txt"_s, u"p_Y-log_2026-13-05.txt"_s,
                 u"notes.txt"_s}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.setFileTime(
                name.contains(u"12-04"_s) ? yesterday.addDays(-1) : yesterday, QFileDevice::FileModificationTime));
        }
        DeviceTable restarted;
        settings_t naming;
        naming.file.prefix = u"p_"_s;
        naming.backup.prefix = u"p_bak_"_s;
        KnownDevices none(u"missing.txt"_s);
        restarted.seed(naming, none);
        QCOMPARE(deviceRows(restarted),
            QStringList({u"ABC_12 05 23:59  0 0/0/0/0 04 00:00"_s, odd + u" 05 23:59  0 0/0/0/0 01 00:00"_s}));
        // With a list, the files of names off it are no devices, and a list taken drops their rows.
        writeFile(u"list.txt"_s, "ABC_12\n");
        KnownDevices listed(u"list.txt"_s);
        QString inForce;
        QCOMPARE(listed.take(&inForce), QString());
        DeviceTable restartedWithList;
        restartedWithList.seed(naming, listed);
        restarted.keepOnly(listed);
        for (const DeviceTable* seeded : {&restartedWithList, &restarted})
            QCOMPARE(deviceRows(*seeded), QStringList {u"ABC_12 05 23:59  0 0/0/0/0 04 00:00"_s});
        // A forgotten device's files do not bring it back at the next Start; its next message does.
        restarted.forget({u"ABC_12"_s});
        restarted.seed(naming, none);
        QCOMPARE(deviceRows(restarted), QStringList({odd + u" 05 23:59  0 0/0/0/0 01 00:00"_s}));
        restarted.message(u"ABC_12"_s, u"10.0.0.5"_s, false, false, false);
        QCOMPARE(deviceRows(restarted),
            QStringList({u"ABC_12 06 00:00 10.0.0.5 0 1/0/0/0 06 00:00"_s, odd + u" 05 23:59  0 0/0/0/0 01 00:00"_s}));
    }

    void localAddressChoice_data()
    {
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("loopback and IPv6 skipped")
            << QStringList {u"::1"_s, u"127.0.0.1"_s, u"fe80::1"_s, u"192.168.1.10"_s} << u"192.168.1.10"_s;
        QTest::newRow("list order decides") << QStringList {u"10.0.0.5"_s, u"192.168.1.10"_s} << u"10.0.0.5"_s;
        QTest::newRow("only loopback and IPv6") << QStringList {u"127.0.0.1"_s, u"::1"_s} << QString();
        QTest::newRow("other loopback address taken") << QStringList {u"127.0.1.1"_s, u"10.0.0.5"_s} << u"127.0.1.1"_s;
        QTest::newRow("any-address skipped") << QStringList {u"0.0.0.0"_s, u"172.16.0.2"_s} << u"172.16.0.2"_s;
    }

    void localAddressChoice()
    {
        QFETCH(QStringList, addresses);
        QFETCH(QString, chosen);
        QList<QHostAddress> list;
        for (const QString& address : addresses)
            list << QHostAddress(address);
        QCOMPARE(chooseLocalAddress(list), chosen);
    }
};

QTEST_MAIN(UnitsTest)
#include "tst_units.moc"
