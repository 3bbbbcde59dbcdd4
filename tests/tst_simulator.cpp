#include "tests/serverfixture.h"

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Stands in for systemd's notification socket: a Unix datagram socket in the working directory,
// which QLocalServer cannot be.
class NotifySocket
{
public:
    NotifySocket() : path(QDir::current().absoluteFilePath(u"notify"_s).toLocal8Bit())
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        QCOMPARE(::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    }
    ~NotifySocket() { ::close(descriptor); }

    // A service's environment under systemd, with a watchdog timeout of 200 ms.
    QProcessEnvironment serviceEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"NOTIFY_SOCKET"_s, QString::fromLocal8Bit(path));
        environment.insert(u"WATCHDOG_USEC"_s, u"200000"_s);
        environment.remove(u"WATCHDOG_PID"_s);
        return environment;
    }

    // Every notification so far, oldest first.
    QStringList received()
    {
        char datagram[256];
        ssize_t size = 0;
        while ((size = ::recv(descriptor, datagram, sizeof datagram, 0)) > 0)
            notes << QString::fromLatin1(datagram, size);
        return notes;
    }

private:
    QByteArray path;
    int descriptor = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    QStringList notes;
};

} // namespace

// stilwater-sim against the real window, its verdicts and exit status; and as the devices of the real
// program. stilwater-server as systemd runs it.
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

    // Ends of the service before it serves, each with its sentence and status, and never a word to
    // systemd: it is ready only once it listens.
    void serviceEndsOnItsOwn_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("port held by another listener")
            << QString() << 1 << u"stilwater-server: A megadott port hibás, vagy már foglalt. (port %1)\n"_s;
        QTest::newRow("help") << u"--help"_s << 0 << u"--directory <DIR>"_s;
        QTest::newRow("version") << u"--version"_s << 0 << u"stilwater-server " STILWATER_VERSION "\n"_s;
        QTest::newRow("unknown option") << u"--bogus"_s << 2 << u"stilwater-server: Unknown option 'bogus'. See --help.\n"_s;
        QTest::newRow("missing value")
            << u"--directory"_s << 2 << u"stilwater-server: Missing value after '--directory'. See --help.\n"_s;
        QTest::newRow("missing directory")
            << u"--directory missing"_s << 2 << u"stilwater-server: cannot work in the directory missing.\n"_s;
    }

    void serviceEndsOnItsOwn()
    {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, says);
        ScopedWorkDir dir;
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost));
        TestConfig config;
        config.port = QByteArray::number(holder.serverPort());
        writeConfig(config);
        NotifySocket notify;
        QProcess service;
        service.setProcessEnvironment(notify.serviceEnvironment());
        service.setProcessChannelMode(QProcess::MergedChannels);
        service.start(QStringLiteral(STILWATER_SERVER), arguments.split(u' ', Qt::SkipEmptyParts));
        QVERIFY(service.waitForFinished(30000));
        QCOMPARE(service.exitCode(), status);
        says.replace(u"%1"_s, QString::fromLatin1(config.port));
        QVERIFY2(QString::fromUtf8(service.readAll()).contains(says), qPrintable(says));
        QCOMPARE(notify.received(), QStringList());
    }

    // The service in another working directory, as systemd starts it: ready once it listens, then
    // alive; a device served and stored, each event on a line of standard output. A signal ends it
    // as Stop ends the window, at once even when a device does not read, with status 0. It reads
    // config.cfg and never writes it.
    void serviceServesUntilSignalled_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void serviceServesUntilSignalled()
    {
        QFETCH(int, signal);
        ScopedWorkDir dir;
        TestConfig config;
        config.port = QByteArray::number(freeLoopbackPort());
        // Far more than the system buffers of both ends hold, so that replies wait unsent.
        config.ack = QByteArray(3'000'000, 'k');
        config.errorChks = "C E"; // read as "CE": a written file would differ
        writeConfig(config);
        const QByteArray configBefore = readFileBytes(u"config.cfg"_s);
        NotifySocket notify;
        QProcess service;
        service.setProcessEnvironment(notify.serviceEnvironment());
        service.setWorkingDirectory(QDir::rootPath());
        service.start(QStringLiteral(STILWATER_SERVER), {u"--directory"_s, QDir::currentPath()});
        QTRY_VERIFY_WITH_TIMEOUT(notify.received().contains(u"READY=1"_s), 30000);
        Device device(quint16(config.port.toInt()), QHostAddress(QHostAddress::LocalHost), Device::Reading::Stalls);
        const QByteArray zeros = messages::zeros();
        device.send(zeros + zeros);
        QByteArray output;
        QTRY_COMPARE((output += service.readAllStandardOutput()).count("Válasz: "_ba), 2);
        QTRY_VERIFY(notify.received().contains(u"WATCHDOG=1"_s));

        ::kill(static_cast<pid_t>(service.processId()), signal);
        QVERIFY(service.waitForFinished(10000));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        output += service.readAllStandardOutput();
        const QString exchange = u"<ts>[127.0.0.1] Bejövő adat: "_s + QString::fromLatin1(zeros)
            + u"\n<ts>[127.0.0.1] Válasz: <ack>\n"_s;
        QCOMPARE(withoutTimeStamps(QString::fromUtf8(output)).replace(QString(3'000'000, u'k'), u"<ack>"_s),
            u"<ts>Szerver elindítva.\n<ts>[127.0.0.1] Új kapcsolat.\n"_s + exchange + exchange
                + u"<ts>[127.0.0.1] A kapcsolatot a szerver bontotta.\n<ts>Szerver leállítva.\n"_s);
        QCOMPARE(service.readAllStandardError(), QByteArray());
        const QStringList files = QDir().entryList({u"0000*"_s});
        QCOMPARE(files.size(), 1);
        QCOMPARE(readFileBytes(files.first()), zeros + "\r\n" + zeros + "\r\n");
        QCOMPARE(readFileBytes(u"config.cfg"_s), configBefore);
        QStringList told = notify.received();
        told.removeAll(u"WATCHDOG=1"_s);
        QCOMPARE(told, QStringList({u"READY=1"_s, u"STOPPING=1"_s}));
    }
};

QTEST_MAIN(SimulatorTest)
#include "tst_simulator.moc"
