#include "tests/serverfixture.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const QString serverClosed = QStringLiteral("] A kapcsolatot a szerver bontotta.\n\n");

// Opens one device per address, each accepted before the next connects, so the accept order is known.
std::vector<std::unique_ptr<Device>> connectDevices(ServerWindow& server, const QStringList& addresses)
{
    std::vector<std::unique_ptr<Device>> devices;
    for (const QString& address : addresses) {
        devices.push_back(std::make_unique<Device>(server.port(), QHostAddress(address)));
        const int accepted = static_cast<int>(devices.size());
        [&] { QTRY_COMPARE(server.openConnections(), accepted); }();
    }
    return devices;
}

// Message `number` of device "K<device>": the number's six digits, then each digit's complement to 9,
// keep the sum fixed. 104 ("08") + 75 ("K") + 48 + device + 30 * 32 + 6 * 105 + 84 * 48 = 5849 +
// device; % 256 = 217 + device; % 100 = 17 + device.
QByteArray numbered(int device, int number)
{
    const QByteArray digits = QByteArray::number(number).rightJustified(6, '0');
    QByteArray complements = digits;
    for (char& digit : complements)
        digit = static_cast<char>('9' - digit + '0');
    return "$08K" + QByteArray::number(device) + QByteArray(30, ' ') + digits + complements + QByteArray(84, '0')
        + QByteArray::number(17 + device);
}

bool listening(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    return probe.waitForConnected(100);
}

// Lowers the soft open-file limit so that only `free` more descriptors can be opened, for as long
// as it lives.
class ScarceDescriptors
{
public:
    explicit ScarceDescriptors(int free)
    {
        getrlimit(RLIMIT_NOFILE, &previous);
        // The listing holds one descriptor of its own while it runs.
        const qsizetype open = QDir(QStringLiteral("/proc/self/fd"))
                                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                                   .size()
            - 1;
        rlimit lowered = previous;
        lowered.rlim_cur = static_cast<rlim_t>(open + free);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~ScarceDescriptors() { setrlimit(RLIMIT_NOFILE, &previous); }

private:
    rlimit previous {};
};

QString acceptedLines(const QStringList& addresses)
{
    QString lines = QStringLiteral("<ts>Szerver elindítva.\n\n");
    for (const QString& address : addresses)
        lines += QStringLiteral("<ts>[%1] Új kapcsolat.\n").arg(address);
    return lines;
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
        auto* start = server.window().findChild<QPushButton*>(QStringLiteral("start"));
        auto* startAction = server.window().findChild<QAction*>(QStringLiteral("actionServerStart"));
        auto* stopAction = server.window().findChild<QAction*>(QStringLiteral("actionServerStop"));
        auto* settingsMenu = server.window().findChild<QMenu*>(QStringLiteral("menuBeallitasok"));

        server.pressStart();
        QVERIFY(server.running());
        QVERIFY(!start->isEnabled());
        QVERIFY(!startAction->isEnabled());
        QVERIFY(stopAction->isEnabled());
        QVERIFY(!settingsMenu->isEnabled());
        QCOMPARE(server.flow(), QStringLiteral("<ts>Szerver elindítva.\n\n"));
        Device device(server.port());
        QTRY_COMPARE(server.openConnections(), 1);
        device.tcp().disconnectFromHost();
        QTRY_COMPARE(server.openConnections(), 0);

        server.pressStop(); // no connection open: no question is asked
        QVERIFY(!server.running());
        QVERIFY(start->isEnabled());
        QVERIFY(startAction->isEnabled());
        QVERIFY(!stopAction->isEnabled());
        QVERIFY(settingsMenu->isEnabled());
        QCOMPARE(server.flow(),
            QStringLiteral("<ts>Szerver elindítva.\n\n<ts>[127.0.0.1] Új kapcsolat.\n"
                           "<ts>[127.0.0.1] A kapcsolatot a kliens bontotta.\n\n<ts>Szerver leállítva.\n\n"));
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
        // 70000 would be 4464 when cut to 16 bits.
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
            QVERIFY(seen.shown);
            QCOMPARE(seen.title, QStringLiteral("Hiba"));
            QCOMPARE(seen.text, QStringLiteral("A megadott port hibás, vagy már foglalt."));
            QVERIFY(!server.running());
            QCOMPARE(server.flow(), QString());
            QCOMPARE(server.window().currentSettings().port, port.toInt());
            if (held) {
                holder.close();
                server.pressStart();
                QVERIFY(server.running());
                server.pressStop();
            }
        }
        QCOMPARE(configFileLine(2), port);
    }

    void stopAsksWhileDevicesAreConnected_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::newRow("Cancel keeps them") << QMessageBox::Cancel;
        QTest::newRow("Ok closes them in accept order") << QMessageBox::Ok;
    }

    void stopAsksWhileDevicesAreConnected()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        ScopedWorkDir dir;
        ServerWindow server;
        server.pressStart();
        const QStringList addresses {
            QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")};
        const auto devices = connectDevices(server, addresses);

        SeenMessageBox seen;
        answerNextMessageBox(answer, &seen);
        server.pressStop();
        QCOMPARE(seen.title, QStringLiteral("Figyelmeztetés"));
        QCOMPARE(seen.text,
            QStringLiteral("A szerverhez még kapcsolódik kliens. Biztosan leállítja a szervert?\n\n"
                           "Figyelem! Ez adatvesztéssel járhat!"));
        if (answer == QMessageBox::Cancel) {
            QVERIFY(server.running());
            QCOMPARE(server.openConnections(), 3);
            QCOMPARE(server.flow(), acceptedLines(addresses));
            for (const auto& device : devices)
                QVERIFY(device->connected());
            return;
        }
        QVERIFY(!server.running());
        QCOMPARE(server.openConnections(), 0);
        QCOMPARE(server.flow(),
            acceptedLines(addresses) + QStringLiteral("<ts>[127.0.0.3") + serverClosed
                + QStringLiteral("<ts>[127.0.0.1") + serverClosed + QStringLiteral("<ts>[127.0.0.2") + serverClosed
                + QStringLiteral("<ts>Szerver leállítva.\n\n"));
        for (const auto& device : devices)
            QTRY_VERIFY(!device->connected());
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
        QVERIFY(server.flow().endsWith(
            QStringLiteral("<ts>[127.0.0.1") + serverClosed + QStringLiteral("<ts>Szerver leállítva.\n\n")));
        QCOMPARE(server.flow().count(serverClosed), 1);
    }

    void killedWhileDevicesSendLosesNothingAcknowledged()
    {
        ScopedWorkDir dir;
        TestConfig config;
        config.port = QByteArray::number(freeLoopbackPort());
        writeConfig(config);
        const QByteArray configBefore = readFileBytes(QStringLiteral("config.cfg"));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(OPERATOR_HAND));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(STILWATER_PROGRAM));
        const auto port = static_cast<quint16>(config.port.toInt());
        QTRY_VERIFY_WITH_TIMEOUT(listening(port), 30000);

        // Each device sends its next message as soon as the one before is acknowledged.
        std::vector<std::unique_ptr<Device>> devices;
        for (int device = 1; device <= 3; ++device) {
            devices.push_back(std::make_unique<Device>(port));
            Device* sender = devices.back().get();
            QObject::connect(&sender->tcp(), &QTcpSocket::readyRead, &sender->tcp(), [sender, device] {
                if (sender->received().size() % 2 == 0) // "ok" may come in two pieces
                    sender->send(numbered(device, int(sender->received().size()) / 2));
            });
            sender->send(numbered(device, 0));
        }
        QTRY_VERIFY_WITH_TIMEOUT(devices[2]->received().size() >= 200, 30000);
        program.kill();
        QVERIFY(program.waitForFinished());

        for (int device = 1; device <= 3; ++device) {
            const QList<QByteArray> lines
                = readFileBytes(QStringLiteral("K%1-log_%2.txt").arg(device).arg(today())).split('\n');
            QCOMPARE(lines.last(), QByteArray()); // whole lines only
            QVERIFY(lines.size() - 1 >= devices[device - 1]->received().size() / 2);
            for (int number = 0; number < lines.size() - 1; ++number)
                QCOMPARE(lines[number], numbered(device, number) + '\r');
        }
        QCOMPARE(readFileBytes(QStringLiteral("config.cfg")), configBefore);
    }

    void runningOutOfDescriptorsPausesAcceptingAndServesTheConnected()
    {
        ScopedWorkDir dir;
        ServerWindow server;
        server.pressStart();
        std::vector<int> ballast(4);
        for (int& descriptor : ballast)
            descriptor = ::open("/dev/null", O_RDONLY);
        const QString exhausted = QStringLiteral("<ts>Új kapcsolat nem fogadható: elfogytak a fájlleírók.\n");
        {
            // Each device takes two descriptors here, one at each end. The server keeps eight free
            // for the files of the devices it has, so a third device is too many.
            ScarceDescriptors scarce(13);
            Device first(server.port());
            Device second(server.port());
            QTRY_COMPARE(server.openConnections(), 2);
            QTcpSocket third;
            third.connectToHost(QHostAddress::LocalHost, server.port());
            QTRY_COMPARE(server.flow().count(exhausted), 1);
            first.send(messages::zeros());
            QTRY_COMPARE(first.received(), QByteArray("ok"));

            // Room appears without any connection ending: accepting is tried again after a moment.
            for (const int descriptor : ballast)
                ::close(descriptor);
            Device late(server.port());
            QTRY_COMPARE(server.openConnections(), 3);
            late.send(messages::zeros());
            QTRY_COMPARE(late.received(), QByteArray("ok"));
        }
        QCOMPARE(server.flow().count(exhausted), 1);
    }

    void exitAsksWhileTheServerRuns_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::newRow("Cancel keeps everything") << QMessageBox::Cancel;
        QTest::newRow("Ok closes every connection") << QMessageBox::Ok;
    }

    void exitAsksWhileTheServerRuns()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        ScopedWorkDir dir;
        ServerWindow server;
        server.pressStart();
        const QStringList addresses {QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.1")};
        const auto devices = connectDevices(server, addresses);

        SeenMessageBox seen;
        answerNextMessageBox(answer, &seen);
        server.window().findChild<QAction*>(QStringLiteral("actionKilepes"))->trigger();
        QCOMPARE(seen.title, QStringLiteral("Figyelmeztetés"));
        QCOMPARE(seen.text,
            QStringLiteral("A szerver fut. Biztosan kilép a programból?\n\nFigyelem! Ez adatvesztéshez vezethet!"));
        if (answer == QMessageBox::Cancel) {
            QVERIFY(server.window().isVisible());
            QVERIFY(server.running());
            QCOMPARE(server.openConnections(), 2);
            return;
        }
        QVERIFY(!server.window().isVisible());
        QCOMPARE(server.openConnections(), 0);
        QVERIFY(!server.window().currentSettings().server);
        // The exit neither switches the controls nor writes the stop line.
        QCOMPARE(server.flow(),
            acceptedLines(addresses) + QStringLiteral("<ts>[127.0.0.2") + serverClosed
                + QStringLiteral("<ts>[127.0.0.1") + serverClosed);
        for (const auto& device : devices)
            QTRY_VERIFY(!device->connected());
    }
};

QTEST_MAIN(ServerLifecycleTest)
#include "tst_serverlifecycle.moc"
