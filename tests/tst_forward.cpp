// Following the data folder: which lines go downstream, in which order, and what a fault costs.

#include "forward/completelines.h"
#include "forward/dayfilefollower.h"
#include "forward/sinkrunner.h"
#include "recording/fileops.h"
#include "settings/clock.h"
#include "tests/serverfixture.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <atomic>
#include <mutex>

using namespace Qt::StringLiterals;

namespace {

const QDate today(2026, 12, 5);

QByteArray lineOf(int device, int count)
{
    return messages::numbered(device, count) + "\r\n";
}

QString dayFile(int device, QDate day)
{
    return u"D%1-log_%2.txt"_s.arg(device).arg(day.toString(Qt::ISODate));
}

void append(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Lines 1..count of one device's day.
void writeDay(int device, QDate day, int count)
{
    for (int n = 1; n <= count; ++n)
        append(dayFile(device, day), lineOf(device, n));
}

std::atomic<int> syncs {0};
std::atomic<bool> syncsFail {false};

// The system's calls, with every sync of a whole file system counted, and failing when told to.
FileOps countedSyncOps()
{
    FileOps ops = systemFileOps();
    ops.syncFileSystem = [](FileHandle any) {
        ++syncs;
        return !syncsFail && systemFileOps().syncFileSystem(any);
    };
    return ops;
}

// A downstream system in memory that fails when told to, the way a real one can: before it stores
// anything, or after it stored a batch and moved its cursors (a commit whose answer was lost).
class MemorySink : public Sink
{
public:
    enum class Fault { none, beforeStoring, afterStoring };

    QString name() const override { return u"memory"_s; }
    bool open(QString* problem) override
    {
        const std::lock_guard lock(guard);
        if (refusedOpens > 0) {
            --refusedOpens;
            *problem = u"refused"_s;
            return false;
        }
        return true;
    }
    bool cursors(Cursors* stored, QString*) override
    {
        const std::lock_guard lock(guard);
        *stored = kept;
        return true;
    }
    bool deliver(const std::vector<ForwardedLine>& lines, const Cursors& after, QString* problem) override
    {
        const std::lock_guard lock(guard);
        const Fault fault = faults.empty() ? Fault::none : faults.front();
        if (!faults.empty())
            faults.erase(faults.begin());
        if (fault == Fault::beforeStoring) {
            *problem = u"lost"_s;
            return false;
        }
        for (const ForwardedLine& line : lines)
            stored.append(line.bytes);
        for (const auto& [key, offset] : after)
            kept[key] = offset;
        *problem = u"lost after storing"_s;
        return fault == Fault::none;
    }

    QByteArrayList lines() const
    {
        const std::lock_guard lock(guard);
        return stored;
    }

    mutable std::mutex guard;
    int refusedOpens = 0;
    std::vector<Fault> faults;
    QByteArrayList stored;
    Cursors kept;
};

} // namespace

class ForwardTest : public StilwaterTest
{
    Q_OBJECT

private slots:
    void init()
    {
        StilwaterTest::init();
        setClock([] { return QDateTime(today, QTime(12, 0)); });
    }

    void completeLinesOfAFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<QList<qint64>>("offsets");
        QTest::addColumn<QList<bool>>("checksumsOk");
        QTest::addColumn<qint64>("end");
        QTest::addColumn<int>("skipped");

        const QByteArray one = lineOf(1, 1);
        QTest::newRow("two messages") << one + one << 10 << QList<qint64> {100, 235} << QList {true, true} << 370ll
                                      << 0;
        QTest::newRow("an unended tail waits")
            << one + one.left(50) << 10 << QList<qint64> {100} << QList {true} << 235ll << 0;
        QTest::newRow("a torn tail ended by the server")
            << "$08D1  \r\n" + one << 10 << QList<qint64> {109} << QList {true} << 244ll << 1;
        QTest::newRow("a line feed alone")
            << one.chopped(2) + "\n" + one << 10 << QList<qint64> {234} << QList {true} << 369ll << 1;
        QTest::newRow("a checksum error goes on") << messages::abc12("00") + "\r\n"
                                                  << 10 << QList<qint64> {100} << QList {false} << 235ll << 0;
        QTest::newRow("no leading dollar")
            << "#" + one.mid(1) << 10 << QList<qint64> {} << QList<bool> {} << 235ll << 1;
        QTest::newRow("a control character")
            << one.left(40) + '\t' + one.mid(41) << 10 << QList<qint64> {} << QList<bool> {} << 235ll << 1;
        QTest::newRow("at most the lines asked for")
            << one + "x\r\n" + one << 2 << QList<qint64> {100} << QList {true} << 238ll << 1;
    }

    void completeLinesOfAFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, maxLines);
        QFETCH(QList<qint64>, offsets);
        QFETCH(QList<bool>, checksumsOk);
        QFETCH(qint64, end);
        QFETCH(int, skipped);

        const DayFileKey key {u"D1"_s, today};
        const CompleteLines taken = completeLines(key, 100, bytes, maxLines);
        QList<qint64> takenOffsets;
        QList<bool> takenChecksums;
        for (const ForwardedLine& line : taken.lines) {
            QCOMPARE(bytes.mid(line.offset - 100, line.bytes.size() + 2), line.bytes + "\r\n");
            QVERIFY(line.file == key);
            takenOffsets << line.offset;
            takenChecksums << line.checksumOk;
        }
        QCOMPARE(takenOffsets, offsets);
        QCOMPARE(takenChecksums, checksumsOk);
        QCOMPARE(taken.end, end);
        QCOMPARE(taken.skipped, skipped);
    }

    // A backlog of earlier days goes oldest first, yet each batch keeps half its room for today's.
    void backlogOldestFirstWithoutStarvingToday()
    {
        writeDay(1, today.addDays(-2), 8);
        writeDay(2, today.addDays(-1), 8);
        writeDay(3, today, 8);
        DayFileFollower follower(settings_t(), today.addDays(-2), 8);
        Cursors cursors;
        QList<QByteArrayList> batches;
        for (FollowRound round = follower.next(cursors); !round.after.empty(); round = follower.next(cursors)) {
            QByteArrayList batch;
            for (const ForwardedLine& line : round.lines)
                batch << line.bytes.mid(3, 2).trimmed() + '/' + QByteArray::number(line.bytes.mid(35, 96).toInt());
            batches << batch;
            for (const auto& [key, offset] : round.after)
                cursors[key] = offset;
        }
        const QList<QByteArrayList> expected {
            {"D3/1", "D3/2", "D3/3", "D3/4", "D1/1", "D1/2", "D1/3", "D1/4"},
            {"D3/5", "D3/6", "D3/7", "D3/8", "D1/5", "D1/6", "D1/7", "D1/8"},
            {"D2/1", "D2/2", "D2/3", "D2/4", "D2/5", "D2/6", "D2/7", "D2/8"},
        };
        QCOMPARE(batches, expected);
    }

    // Lines go downstream only once a sync of the data folder's file system has made them durable:
    // nothing when it fails, and one sync for all that was there, however many rounds take it.
    void onlyWhatASyncMadeDurable_data()
    {
        QTest::addColumn<bool>("fails");
        QTest::newRow("synced") << false;
        QTest::newRow("the sync fails") << true;
    }

    void onlyWhatASyncMadeDurable()
    {
        QFETCH(bool, fails);
        syncs = 0;
        syncsFail = fails;
        setFileOps(countedSyncOps());
        writeDay(1, today, 2);
        DayFileFollower follower(settings_t(), std::nullopt, 100);
        const FollowRound round = follower.next({});
        QCOMPARE(round.lines.size(), std::size_t(fails ? 0 : 2));
        QCOMPARE(round.notices.filter(u"Az adatmappa nem menthető a lemezre"_s).size(), fails ? 1 : 0);
        QCOMPARE(follower.next({}).lines.size(), std::size_t(fails ? 0 : 2));
        QCOMPARE(syncs.load(), fails ? 2 : 1);
        writeDay(2, today, 1);
        QCOMPARE(follower.next({{{u"D1"_s, today}, 2 * 135}}).lines.size(), std::size_t(fails ? 0 : 1));
        QCOMPARE(syncs.load(), fails ? 3 : 2);
    }

    // Which days are followed: from --since, else from the oldest day downstream holds, else today;
    // backup copies never, even beside the data files.
    void daysFollowed_data()
    {
        QTest::addColumn<std::optional<QDate>>("since");
        QTest::addColumn<bool>("yesterdayHeldDownstream");
        QTest::addColumn<int>("lines");

        QTest::newRow("first start: today only") << std::optional<QDate>() << false << 2;
        QTest::newRow("a day downstream already has") << std::optional<QDate>() << true << 3;
        QTest::newRow("since yesterday") << std::optional(today.addDays(-1)) << false << 4;
    }

    void daysFollowed()
    {
        QFETCH(std::optional<QDate>, since);
        QFETCH(bool, yesterdayHeldDownstream);
        QFETCH(int, lines);

        settings_t settings;
        settings.make_backup = true;
        writeDay(1, today.addDays(-1), 2);
        writeDay(1, today, 2);
        writeFile(u"bak_D1-log_2026-12-05.txt"_s, lineOf(1, 1));
        Cursors cursors;
        if (yesterdayHeldDownstream)
            cursors[{u"D1"_s, today.addDays(-1)}] = 135;
        DayFileFollower follower(settings, since, 100);
        QCOMPARE(int(follower.next(cursors).lines.size()), lines);
    }

    // A file that changes under the forwarder in a way the server never makes is said once, and
    // nothing of it goes downstream twice or out of place.
    void filesChangedUnderTheForwarder()
    {
        writeDay(1, today, 3);
        writeDay(2, today, 3);
        writeDay(3, today, 1);
        DayFileFollower follower(settings_t(), std::nullopt, 100);
        Cursors cursors {{{u"D1"_s, today}, 3 * 135}, {{u"D2"_s, today}, 2 * 135}};
        QCOMPARE(follower.next(cursors).lines.size(), std::size_t(2));

        QVERIFY(QFile::resize(dayFile(1, today), 135));
        QVERIFY(QFile::remove(dayFile(2, today)));
        writeFile(u"replacement"_s, lineOf(3, 1) + lineOf(3, 2));
        QVERIFY(QFile::remove(dayFile(3, today)));
        QVERIFY(QFile::rename(u"replacement"_s, dayFile(3, today)));
        const FollowRound changed = follower.next(cursors);
        QCOMPARE(changed.notices,
            QStringList({u"A napi fájl eltűnt az adatmappából, 135 bájtja nem került továbbításra: D2-log_2026-12-05.txt."_s,
                u"A napi fájl rövidebb (135 bájt), mint ameddig már továbbítva van (405 bájt); amíg vissza nem "
                "nő, nem olvasom: D1-log_2026-12-05.txt."_s,
                u"A napi fájl helyén másik fájl áll, a továbbítás a 0. bájtjától folytatódik: D3-log_2026-12-05.txt."_s}));
        QCOMPARE(changed.lines.size(), std::size_t(2));
        QVERIFY(follower.next(cursors).notices.isEmpty());
    }

    // Faults before and after a downstream system stored a batch: every line arrives once, and the
    // operator reads one line per change of state, not one per try.
    void eachLineOnceAcrossFaults()
    {
        writeDay(1, today, 3);
        auto owned = std::make_unique<MemorySink>();
        MemorySink& sink = *owned;
        sink.refusedOpens = 2;
        sink.faults = {MemorySink::Fault::afterStoring, MemorySink::Fault::beforeStoring};
        std::mutex saidGuard;
        QStringList said;
        SinkRunner runner(std::move(owned), settings_t(), std::nullopt, [&](const QString& line) {
            const std::lock_guard lock(saidGuard);
            said << line;
        });
        const auto lastSaid = [&] {
            const std::lock_guard lock(saidGuard);
            return said.value(said.size() - 1);
        };
        runner.start();
        QTRY_COMPARE_WITH_TIMEOUT(sink.lines().size(), 3, 20000);
        writeDay(2, today, 2);
        QTRY_COMPARE(sink.lines().size(), 5);
        QTRY_COMPARE(lastSaid(), u"Továbbítás (memory): naprakész, minden tárolt sor továbbítva."_s);
        QByteArrayList expected;
        for (int n = 1; n <= 3; ++n)
            expected << messages::numbered(1, n);
        expected << messages::numbered(2, 1) << messages::numbered(2, 2);
        QCOMPARE(sink.lines(), expected);
        runner.stop();
        const SinkFigures figures = runner.figures();
        QCOMPARE(figures.lines, 2u); // the batch whose answer was lost is not counted as delivered
        QCOMPARE(figures.retries, 4u);
        const std::lock_guard lock(saidGuard);
        QCOMPARE(said.filter(u"nem érhető el"_s).size(), 3);
    }
};

QTEST_MAIN(ForwardTest)
#include "tst_forward.moc"
