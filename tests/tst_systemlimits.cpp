#include "recording/dailyfile.h"
#include "recording/fileops.h"
#include "settings/settings.h"
#include "tests/serverfixture.h"

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The limits that a POSIX system sets a process (descriptors, file size) and the FIFO, met as the
// program meets them in the field.

class SystemLimitsTest final : public StilwaterTest
{
    Q_OBJECT

private slots:
    void init()
    {
        StilwaterTest::init();
        setClock([] { return QDateTime(QDate(2026, 12, 5), QTime(9, 5, 7)); });
    }

    // Only a regular file takes a line (links, and a FIFO without a reader: the tests around).
    void onlyARegularFileIsWritten_data()
    {
        QTest::addColumn<QString>("inTheWay");
        QTest::newRow("FIFO with a reader") << u"FIFO"_s;
        QTest::newRow("full disk: the file at the size limit") << u"full file"_s;
    }

    void onlyARegularFileIsWritten()
    {
        QFETCH(QString, inTheWay);
        const QByteArray name = "AB-log_2026-12-05.txt";
        const QByteArray before = "earlier\r\n";
        const int reader = inTheWay == u"FIFO" && ::mkfifo(name, 0600) == 0 ? ::open(name, O_RDONLY | O_NONBLOCK) : -1;
        QFile full(QString::fromLatin1(name));
        QVERIFY(reader >= 0 || (full.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && full.write(before) == 9));
        rlimit fileSize {};
        ::getrlimit(RLIMIT_FSIZE, &fileSize);
        const rlimit limit {reader < 0 ? rlim_t(before.size()) : fileSize.rlim_cur, fileSize.rlim_max};
        ::signal(SIGXFSZ, SIG_IGN); // a write beyond the limit fails instead of ending the test
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const stored_message_t stored = saveData(u"$08AB"_s + QString(30, u' ') + QString(98, u'0'), settings_t());
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        QVERIFY(!stored.saved.first().written);
        if (reader < 0)
            QCOMPARE(readFileBytes(full.fileName()), before);
        ::close(reader);
    }

    void runningOutOfDescriptorsPausesAcceptingAndServesTheConnected()
    {
        ServerWindow server;
        server.pressStart();
        // Descriptors that earlier tests and the start-up address lookup still hold are let go
        // first, so that none come free while the limit is low.
        QTRY_VERIFY(server.window().findChild<QLabel*>(u"l_ip_public"_s)->text() == u"-"_s);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QString exhausted = QStringLiteral("<ts>Új kapcsolat nem fogadható: elfogytak a fájlleírók.\n");
        // The limit bounds descriptor numbers: it is set just above the 25 lowest free ones, and the
        // lowest 4 are held. Each device takes two descriptors here, one at each end, and the server
        // keeps sixteen free for the files of the devices it has, so a third device is too many.
        std::vector<int> held(25);
        for (int& descriptor : held)
            descriptor = ::open("/dev/null", O_RDONLY);
        for (size_t i = 4; i < held.size(); ++i)
            ::close(held[i]);
        rlimit previous {};
        getrlimit(RLIMIT_NOFILE, &previous);
        const rlimit lowered {rlim_t(held.back() + 1), previous.rlim_max};
        setrlimit(RLIMIT_NOFILE, &lowered);
        {
            const auto restore = qScopeGuard([&previous] { setrlimit(RLIMIT_NOFILE, &previous); });
            Device first(server.port());
            Device second(server.port());
            QTRY_COMPARE(server.openConnections(), 2);
            QTcpSocket third;
            third.connectToHost(QHostAddress::LocalHost, server.port());
            QTRY_COMPARE(server.flow().count(exhausted), 1);
            QTest::qWait(2500); // accepting is tried again every second: one line for all the refusals
            QCOMPARE(server.flow().count(exhausted), 1);
            first.send(messages::zeros());
            QTRY_COMPARE(first.received(), QByteArray("ok"));

            // Room appears without any connection ending: accepting is tried again after a moment.
            for (int i = 0; i < 4; ++i)
                ::close(held[i]);
            Device late(server.port());
            QTRY_COMPARE(server.openConnections(), 3);
            late.send(messages::zeros());
            QTRY_COMPARE(late.received(), QByteArray("ok"));
        }
        QCOMPARE(server.flow().count(exhausted), 1);
    }

    // Near the descriptor limit, devices whose lines wait for the disk hold no descriptor meanwhile:
    // a burst of them would take those that the next devices' files need, and those devices would go
    // unacknowledged. Here every descriptor but three is taken while eight devices wait.
    void devicesWaitingForTheDiskHoldNoDescriptors()
    {
        setFileOps(slowSyncOps());
        BareServer server;
        QVERIFY(server.start());
        syncsHeld = true;
        const auto syncsGo = qScopeGuard([] { syncsHeld = false; }); // before the server stops
        int highestUsed = 0;
        for (const QString& descriptor : QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System))
            highestUsed = std::max(highestUsed, descriptor.toInt());
        constexpr int devices = 8;
        rlimit previous {};
        getrlimit(RLIMIT_NOFILE, &previous);
        const rlimit lowered {rlim_t(highestUsed + 4 * devices + 40), previous.rlim_max};
        setrlimit(RLIMIT_NOFILE, &lowered);
        std::vector<int> taken;
        const auto restore = qScopeGuard([&] {
            for (const int descriptor : taken)
                ::close(descriptor);
            setrlimit(RLIMIT_NOFILE, &previous);
        });
        std::vector<std::unique_ptr<Device>> fleet;
        for (int d = 0; d < devices; ++d)
            fleet.push_back(std::make_unique<Device>(server.port()));
        QTRY_COMPARE(server.engine.connectionCount(), std::size_t(devices));
        for (int descriptor; (descriptor = ::open("/dev/null", O_RDONLY)) >= 0;)
            taken.push_back(descriptor);
        for (int i = 0; i < 3; ++i) {
            ::close(taken.back());
            taken.pop_back();
        }
        for (int d = 0; d < devices; ++d)
            fleet[d]->send(messages::numbered(d, 0));
        // Every line is written while every sync waits.
        QTRY_VERIFY(std::all_of(fleet.cbegin(), fleet.cend(),
            [d = 0](const auto&) mutable { return QFile::exists(messages::fileOfNumbered(d++)); }));
        syncsHeld = false;
        for (const auto& device : fleet)
            QTRY_COMPARE(device->received(), QByteArray("ok"));
        QVERIFY(!server.flow().contains(u"Mentési hiba"_s));
    }
};

QTEST_MAIN(SystemLimitsTest)
#include "tst_systemlimits.moc"
