#include "tests/serverfixture.h"

#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Stands in for systemd's notification socket: a Unix datagram socket in the working directory,
// which QLocalServer cannot be. It is read all the time, as systemd reads its own: a socket left
// unread holds ten datagrams, and the service's next notification would wait for a reader while the
// test waits for the service.
class NotifySocket
{
public:
    NotifySocket() : path(QDir::current().absoluteFilePath(u"notify"_s).toLocal8Bit())
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        QCOMPARE(::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        reader = std::thread([this] {
            char datagram[256];
            ssize_t size = 0;
            while ((size = ::recv(descriptor, datagram, sizeof datagram, 0)) > 0) {
                const std::lock_guard lock(mutex);
                notes << QString::fromLatin1(datagram, size);
            }
        });
    }
    ~NotifySocket()
    {
        // Ends the reader's wait.
        ::shutdown(descriptor, SHUT_RDWR);
        reader.join();
        ::close(descriptor);
    }

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
        const std::lock_guard lock(mutex);
        return notes;
    }

private:
    QByteArray path;
    int descriptor = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::mutex mutex;
    QStringList notes;
    std::thread reader;
};

const QString haproxy = u"/usr/sbin/haproxy"_s;

// The guide's HAProxy configuration, quicker: a dead or hung instance is out within half a second, and
// HAProxy's retries (min(timeout connect, 1 s) apart) end well within the devices' one-second reply
// timeout. Each instance's readiness port is its device port + 1.
QByteArray haproxyConfig(quint16 front, quint16 a, quint16 b)
{
    const QString text
        = u"defaults\n  mode tcp\n  timeout connect 100ms\n  timeout client 60s\n  timeout server 60s\n"
          "  retries 3\n  option redispatch\nfrontend devices\n  bind 127.0.0.1:%1\n  default_backend stilwater\n"
          "backend stilwater\n  balance source\n  hash-type consistent\n  option httpchk GET /ready\n"
          "  server a 127.0.0.1:%2 send-proxy-v2 check port %3 inter 200ms fall 2 rise 2\n"
          "  server b 127.0.0.1:%4 send-proxy-v2 check port %5 inter 200ms fall 2 rise 2\n"_s;
    return text.arg(front).arg(a).arg(a + 1).arg(b).arg(b + 1).toLatin1();
}

// Two free loopback ports in a row: the device port and the readiness port.
quint16 freePortPair()
{
    for (;;) {
        const quint16 port = freeLoopbackPort();
        QTcpServer next;
        if (port < 65535 && next.listen(QHostAddress::LocalHost, port + 1))
            return port;
    }
}

// The messages in the simulated devices' files of `folder`, in order; every file must hold whole
// lines of 133 characters and CR LF, also a killed server's.
QByteArrayList storedMessages(const QString& folder)
{
    QByteArrayList stored;
    for (const QString& file : QDir(folder).entryList({u"SIM*"_s})) {
        const QByteArray lines = readFileBytes(folder + u'/' + file);
        if (lines.size() % 135 != 0)
            return {"a cut line in " + file.toLatin1()};
        for (qsizetype at = 0; at < lines.size(); at += 135)
            stored << lines.mid(at, 133);
    }
    return stored;
}

QSet<QString> deviceNames(const QString& instance)
{
    QSet<QString> names;
    for (const QString& file : QDir(instance).entryList({u"SIM*"_s}))
        names << file.section(u"-log_"_s, 0, 0);
    return names;
}

} // namespace

// stilwater-sim and stilwater-server as programs: the simulator against the real window and as the
// devices of the real service, which runs as systemd and HAProxy run it.
class SimulatorTest final : public StilwaterTest
{
    Q_OBJECT

private slots:
    void judgesEveryReply_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");

        // A generous wait for replies: the sanitizer suites run the server many times slower.
        QTest::newRow("correct server") << "--devices 2 --messages 5 --reply-timeout 20000" << 0
                                        << "replies: 10 right, 0 wrong";
        // CE; then the line feed's SE and CE, twice.
        QTest::newRow("checksum errors, CR LF, in pieces")
            << "--messages 3 --bad-checksum 1 --crlf --split 3 --expect-chks CE --expect-syntax SE" << 0
            << "replies: 5 right, 0 wrong";
        // SE for the noise, SE for each of two short messages, ok for the last.
        QTest::newRow("noise, short messages")
            << "--messages 3 --noise 1 --bad-length 1 --expect-syntax SE" << 0 << "replies: 4 right, 0 wrong";
        QTest::newRow("wrong expectation") << "--expect-ack yes --messages 1" << 1 << "replies: 0 right, 1 wrong";
        QTest::newRow("unreachable") << "--port %1" << 2 << "stilwater-sim: cannot reach 127.0.0.1:%1: ";
        QTest::newRow("unknown option") << "--bogus" << 2
                                        << "stilwater-sim: Ismeretlen kapcsoló: „bogus”. Súgó: --help.";
        QTest::newRow("missing value") << "--host" << 2 << "stilwater-sim: Hiányzik a --host értéke. Súgó: --help.";
    }

    void judgesEveryReply()
    {
        QFETCH(QString, arguments);
        QFETCH(int, status);
        QFETCH(QString, says);
        TestConfig config;
        config.errorChks = "CE";
        config.errorSyntax = "SE";
        ServerWindow server(config);
        server.pressStart();
        const QString deadPort = QString::number(freeLoopbackPort());

        QProcess sim;
        QSignalSpy finished(&sim, &QProcess::finished);
        sim.setProcessChannelMode(QProcess::MergedChannels);
        const QString options = u"--port %1 "_s.arg(server.port()) + arguments.replace(u"%1"_s, deadPort);
        sim.start(QStringLiteral(STILWATER_SIM), options.split(u' '));
        QVERIFY(finished.wait(30000));
        QCOMPARE(sim.exitCode(), status);
        says.replace(QStringLiteral("%1"), deadPort);
        QVERIFY2(sim.readAll().contains(says.toUtf8()), qPrintable(says));
    }

    // Ends of the service before it serves, each with its sentence and status, and never a word to
    // systemd: it is ready only once it listens. A config.cfg that cannot serve is named; "folder"
    // makes it one, which cannot be read, "timeout T" gives it that socket-timeout line, "fifo list"
    // puts a FIFO in the place of the list of known devices, any other tail is added to it.
    void serviceEndsOnItsOwn_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("configTail");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        const auto row = [](const char* name, const QString& arguments, const QByteArray& tail, int status,
                             const QString& says) { QTest::newRow(name) << arguments << tail << status << says; };
        // Its complaints begin with its name.
        const auto refused
            = [row](const char* name, const QString& arguments, const QByteArray& tail, int status,
                  const QString& says) { row(name, arguments, tail, status, u"stilwater-server: "_s + says); };
        refused("port held by another listener", {}, {}, 1, u"A megadott port hibás, vagy már foglalt. (port %1)\n"_s);
        refused("readiness port held", u"--health %1"_s, {}, 1,
            u"A megadott port hibás, vagy már foglalt. (--health %1)\n"_s);
        const QString fourteen = u"Hibás a beállítási fájl: %2/config.cfg (14 sora van, 13 kell).\n"_s;
        refused("config.cfg of 14 lines", {}, "\r\n", 1, fourteen);
        refused("config.cfg unreadable", {}, "folder", 1, u"Nem olvasható a beállítási fájl: %2/config.cfg ("_s);
        refused("known devices' list a FIFO", {}, "fifo list", 1,
            u"Nem olvasható az ismert eszközök listája: %2/ismert_eszkozok.txt (nem szabályos fájl).\n"_s);
        row("check", u"--check --listen 127.0.0.1"_s, {}, 0,
            u"Beállítások: cím: 127.0.0.1, port: %1, Socket Timeout: 30 s, mappa: %2, mentés: <név>-log_<dátum>.txt, "
            "backup: ki, Ack: \"ok\", CHKS Err: \"\", Syntax Err: \"\"\n%2/config.cfg: rendben, betölthető.\n"_s);
        refused("check of a socket timeout with its unit", u"--check"_s, "timeout 30 s", 1,
            u"Hibás a beállítási fájl: %2/config.cfg (a 3. sor nem szám, vagy túl nagy: „30 s”).\n"_s);
        refused("listen on a name", u"--listen localhost"_s, {}, 2,
            u"Nem IPv4- vagy IPv6-cím: localhost. Súgó: --help.\n"_s);
        row("help", u"--help"_s, {}, 0, u"--directory <MAPPA>"_s);
        row("help's head, Qt's lines too", u"--help"_s, {}, 0,
            u"Használat: " STILWATER_SERVER " [kapcsolók]\nA Stilwater adatszerver ablak nélkül"_s);
        row("version", u"--version"_s, {}, 0, u"stilwater-server " STILWATER_VERSION "\n"_s);
        refused("unknown option", u"--bogus"_s, {}, 2, u"Ismeretlen kapcsoló: „bogus”. Súgó: --help.\n"_s);
        refused("missing value", u"--directory"_s, {}, 2, u"Hiányzik a --directory értéke. Súgó: --help.\n"_s);
        refused("metrics address held", u"--metrics %1"_s, {}, 1, u"A metrikák címe hibás, vagy már foglalt.\n"_s);
        refused("metrics address wrong", u"--metrics 1.2.3.4:"_s, {}, 2,
            u"A --metrics értéke nem [CÍM:]PORT alakú: 1.2.3.4:."_s);
        refused("readiness address wrong", u"--health 1.2.3.4:"_s, {}, 2,
            u"A --health értéke nem [CÍM:]PORT alakú: 1.2.3.4:."_s);
        refused("IPv6 prefix beyond an address", u"--ipv6-prefix 129"_s, {}, 2,
            u"Nem 1 és 128 közötti bitszám: --ipv6-prefix 129. Súgó: --help.\n"_s);
        refused(
            "missing directory", u"--directory missing"_s, {}, 2, u"Nem lehet ebben a mappában dolgozni: missing.\n"_s);
    }

    void serviceEndsOnItsOwn()
    {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, configTail);
        QFETCH(int, status);
        QFETCH(QString, says);
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost));
        TestConfig config;
        config.port = QByteArray::number(holder.serverPort());
        if (configTail.startsWith("timeout "))
            config.socketTimeout = std::exchange(configTail, QByteArray()).mid(8);
        writeConfig(config);
        QFile file(u"config.cfg"_s);
        if (configTail == "folder")
            QVERIFY(file.remove() && QDir().mkdir(file.fileName()));
        else if (configTail == "fifo list")
            QCOMPARE(::mkfifo("ismert_eszkozok.txt", 0600), 0);
        else if (!configTail.isEmpty())
            QVERIFY(file.open(QIODevice::Append) && file.write(configTail) > 0);
        file.close();
        NotifySocket notify;
        QProcess service;
        service.setProcessEnvironment(notify.serviceEnvironment());
        service.setProcessChannelMode(QProcess::MergedChannels);
        service.start(QStringLiteral(STILWATER_SERVER),
            arguments.replace(u"%1"_s, QString::fromLatin1(config.port)).split(u' ', Qt::SkipEmptyParts));
        QVERIFY(service.waitForFinished(30000));
        QCOMPARE(service.exitCode(), status);
        says.replace(u"%1"_s, QString::fromLatin1(config.port)).replace(u"%2"_s, QDir::currentPath());
        const QString output = QString::fromUtf8(service.readAll());
        QVERIFY2(output.contains(says), qPrintable(output));
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
        TestConfig config;
        // Far more than the system buffers of both ends hold, so that replies wait unsent.
        config.ack = QByteArray(3'000'000, 'k');
        config.errorChks = "C E"; // read as "CE": a written file would differ
        config = writeConfig(config);
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
        // The first reply piles up unread: the second message waits for the stop.
        QTRY_COMPARE((output += service.readAllStandardOutput()).count("Válasz: "_ba), 1);
        QTRY_VERIFY(notify.received().contains(u"WATCHDOG=1"_s));

        ::kill(static_cast<pid_t>(service.processId()), signal);
        QVERIFY(service.waitForFinished(10000));
        QCOMPARE(service.exitStatus(), QProcess::NormalExit);
        QCOMPARE(service.exitCode(), 0);
        output += service.readAllStandardOutput();
        const QString exchange
            = u"<ts>[127.0.0.1] Bejövő adat: "_s + QString::fromLatin1(zeros) + u"\n<ts>[127.0.0.1] Válasz: <ack>\n"_s;
        QCOMPARE(withoutTimeStamps(QString::fromUtf8(output)).replace(QString(3'000'000, u'k'), u"<ack>"_s),
            u"<ts>Beállítások: cím: minden cím, port: "_s + QString::fromLatin1(config.port)
                + u", Socket Timeout: 30 s, mappa: "_s + QDir::currentPath()
                + u", mentés: <név>-log_<dátum>.txt, backup: ki, Ack: \"<ack>\", CHKS Err: \"CE\", Syntax Err: \"\"\n"
                  "<ts>Szerver elindítva.\n"
                  "<ts>Nincs ismert eszközök listája (ismert_eszkozok.txt): minden eszköz adatát fogadom.\n"
                  "<ts>[127.0.0.1] Új kapcsolat.\n"_s
                + exchange + exchange
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

    // The list of known devices, seeded from the day files, counts after SIGHUP for a device that
    // stayed connected.
    void serviceReadsTheKnownDevicesOnSighup()
    {
        const TestConfig config = writeConfig({});
        // Backup copies beside the data files do not count as devices of their own.
        for (const QString& name : {u"ABC_12-log_2026-12-06.txt"_s, u"SIM1-log_2026-12-07.txt"_s,
                 u"bak_SIM1-log_2026-12-07.txt"_s, u"SIM2-log_2026-12-07.csv"_s})
            writeFile(name, {});
        QProcess lister;
        lister.start(QStringLiteral(STILWATER_SERVER), {u"--list-devices"_s});
        QVERIFY(lister.waitForFinished(10000));
        QCOMPARE(lister.readAllStandardOutput(), "ABC_12\nSIM1\n"_ba);
        QVERIFY(QFile::remove(u"ABC_12-log_2026-12-06.txt"_s));

        QProcess service;
        service.start(QStringLiteral(STILWATER_SERVER));
        QByteArray output;
        QTRY_VERIFY_WITH_TIMEOUT((output += service.readAllStandardOutput()).contains("Szerver elindítva."), 20000);
        Device device(quint16(config.port.toInt()));
        QTRY_VERIFY((output += service.readAllStandardOutput()).contains("Új kapcsolat."));
        writeFile(u"ismert_eszkozok.txt"_s, "SIM1\n");
        ::kill(static_cast<pid_t>(service.processId()), SIGHUP);
        QTRY_VERIFY((output += service.readAllStandardOutput())
                        .contains("Ismert eszközök listája betöltve (ismert_eszkozok.txt): 1 eszköz."));
        QVERIFY(device.connected());
        device.send(messages::abc12());
        QTRY_VERIFY(!device.connected());
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
        QCOMPARE(QDir().entryList({u"ABC_12*"_s}), QStringList());
    }

    // Restarted under load with a listening socket held for it, as stilwater-server.socket holds it:
    // the devices that connect meanwhile wait in its queue; none is refused, every message answered.
    void restartWithSystemdSocketRefusesNoDevice()
    {
        TestConfig config = writeConfig({});
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<quint16>(config.port.toInt()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        QCOMPARE(::listen(listener, 4096), 0);
        const auto startService = [listener](QProcess& service) {
            service.setChildProcessModifier([listener] {
                ::dup2(listener, 3);
                ::fcntl(3, F_SETFD, 0);
            });
            service.setStandardOutputFile(u"lines.txt"_s, QIODevice::Append);
            // systemd names the process that the socket is for; exec keeps the shell's.
            service.start(u"/bin/sh"_s,
                {u"-c"_s, u"export LISTEN_PID=$$ LISTEN_FDS=1; exec \"$0\""_s, QStringLiteral(STILWATER_SERVER)});
        };
        // config.cfg must name the socket's port: the operator changed one of them, not both.
        QProcess mismatched;
        config.port = QByteArray::number(config.port.toInt() + 1);
        writeConfig(config);
        startService(mismatched);
        QVERIFY(mismatched.waitForFinished());
        QCOMPARE(mismatched.exitCode(), 1);
        QVERIFY(mismatched.readAllStandardError().contains("A config.cfg portja " + config.port));
        config.port = QByteArray::number(config.port.toInt() - 1);
        writeConfig(config);
        QProcess first;
        QProcess second;
        startService(first);
        QTRY_VERIFY_WITH_TIMEOUT(readFileBytes(u"lines.txt"_s).contains("Szerver elindítva."), 20000);
        QProcess sim;
        sim.start(QStringLiteral(STILWATER_SIM),
            u"--devices 16 --duration 3 --reconnect --json --port %1"_s.arg(config.port.toInt()).split(u' '));
        QTRY_VERIFY_WITH_TIMEOUT(readFileBytes(u"lines.txt"_s).count("Válasz: ok") > 100, 20000);
        first.terminate();
        QVERIFY(first.waitForFinished());
        startService(second);
        QVERIFY(QTest::qWaitFor([&sim] { return sim.state() == QProcess::NotRunning; }, 30000));
        ::close(listener);
        const QByteArray summaryJson = sim.readAllStandardOutput();
        QVERIFY2(sim.exitCode() == 0, summaryJson + sim.readAllStandardError());
        const QJsonObject summary = QJsonDocument::fromJson(summaryJson).object();
        QVERIFY(summary.value(u"closed_by_server"_s).toInt() > 0);
        QCOMPARE(summary.value(u"refused"_s).toInt(), 0);
        const QByteArray lines = readFileBytes(u"lines.txt"_s);
        QCOMPARE(lines.count("Beállítások: cím: 127.0.0.1 (systemd socket), port: " + config.port), 2);
        QCOMPARE(lines.count("Szerver elindítva."), 2);
        second.terminate();
        QVERIFY(second.waitForFinished());
    }

    void serviceBehindHaproxyLosesNothingAcknowledged_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("arguments");
        QTest::newRow("killed, back to back") << SIGKILL << QString();
        // The line feed after each resent message has its own reply, as on the first connection.
        QTest::newRow("killed, CR LF, in pieces") << SIGKILL << u" --crlf --split 3 --expect-syntax SE"_s;
        // Its connections complete in the kernel but nothing answers, the readiness check neither.
        QTest::newRow("stopped, back to back") << SIGSTOP << QString();
    }

    void serviceBehindHaproxyLosesNothingAcknowledged()
    {
        QFETCH(int, signal);
        QFETCH(QString, arguments);
        if (!QFileInfo::exists(haproxy))
            QSKIP("HAProxy is not installed (apt install haproxy); scripts/test installs it.");
        QList<quint16> ports;
        std::vector<std::unique_ptr<QProcess>> servers;
        for (const QString& name : {u"a"_s, u"b"_s}) {
            QVERIFY(QDir().mkdir(name));
            QDir::setCurrent(name);
            TestConfig config;
            config.port = QByteArray::number(freePortPair());
            config.errorSyntax = "SE";
            writeConfig(config);
            QDir::setCurrent(u".."_s);
            ports << static_cast<quint16>(config.port.toInt());
            auto& server = servers.emplace_back(std::make_unique<QProcess>());
            server->setWorkingDirectory(name);
            server->setStandardOutputFile(QDir(name).absoluteFilePath(u"lines.txt"_s));
            server->start(QStringLiteral(STILWATER_SERVER),
                {u"--listen"_s, u"127.0.0.1"_s, u"--health"_s, QString::number(config.port.toInt() + 1),
                    u"--balancer"_s, u"127.0.0.1"_s});
            QTRY_VERIFY_WITH_TIMEOUT(readFileBytes(name + u"/lines.txt"_s).contains("Szerver elindítva."), 20000);
        }
        const quint16 front = freeLoopbackPort();
        writeFile(u"haproxy.cfg"_s, haproxyConfig(front, ports.at(0), ports.at(1)));
        QProcess balancer;
        balancer.start(haproxy, {u"-f"_s, u"haproxy.cfg"_s, u"-db"_s});

        // The devices retry until HAProxy listens.
        QStringList sources;
        for (int host = 2; host <= 17; ++host)
            sources << u"127.0.0.%1"_s.arg(host);
        const QString options = u"--devices 16 --duration 3 --reconnect --ack-log acks --json --port %1 --from %2"_s;
        QProcess sim;
        sim.start(QStringLiteral(STILWATER_SIM), (options.arg(front).arg(sources.join(u',')) + arguments).split(u' '));
        // Both take devices: source hashing spreads the sixteen addresses over the two.
        QTRY_VERIFY_WITH_TIMEOUT(!deviceNames(u"a"_s).isEmpty() && !deviceNames(u"b"_s).isEmpty(), 20000);
        QCOMPARE(sim.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(servers.front()->processId()), signal);

        QVERIFY(QTest::qWaitFor([&sim] { return sim.state() == QProcess::NotRunning; }, 30000));
        servers.front()->kill();
        QVERIFY(servers.front()->state() == QProcess::NotRunning || servers.front()->waitForFinished());
        const QSet<QString> devicesOfKilled = deviceNames(u"a"_s);
        const QByteArray summaryJson = sim.readAllStandardOutput();
        QVERIFY2(sim.exitCode() == 0, summaryJson + sim.readAllStandardError() + balancer.readAllStandardError());
        const qint64 resent = QJsonDocument::fromJson(summaryJson).object().value(u"resent"_s).toInteger();
        QVERIFY(resent > 0);

        const QByteArrayList stored = storedMessages(u"a"_s) + storedMessages(u"b"_s);
        // The killed instance's devices went on at the other one.
        QVERIFY(deviceNames(u"b"_s).contains(devicesOfKilled));
        const QSet<QByteArray> distinct(stored.cbegin(), stored.cend());
        const QByteArrayList acknowledged = readFileBytes(u"acks"_s).trimmed().split('\n');
        QVERIFY(acknowledged.size() > 100);
        QVERIFY(distinct.contains(QSet<QByteArray>(acknowledged.cbegin(), acknowledged.cend())));
        QVERIFY(stored.size() - distinct.size() <= resent); // only a message sent again can be stored twice
        // However many devices send at once, each message's reply line follows it in the output, and
        // names the device's own address, which HAProxy passed on.
        const QByteArrayList output = readFileBytes(u"b/lines.txt"_s).split('\n');
        QSet<QString> addresses;
        for (qsizetype i = 0; i + 2 < output.size(); ++i) {
            if (!output.at(i).contains("] Bejövő adat: "))
                continue;
            QVERIFY2(output.at(i + 1).contains("] Válasz: ") || output.at(i + 1).contains(". Válasz: "),
                output.at(i + 1).constData());
            addresses << QString::fromLatin1(output.at(i)).section(u'[', 1).section(u']', 0, 0);
        }
        QVERIFY(!addresses.isEmpty());
        QVERIFY2(QSet<QString>(sources.cbegin(), sources.cend()).contains(addresses),
            qPrintable(QStringList(addresses.cbegin(), addresses.cend()).join(u' ')));
        qInfo("%lld acknowledged, %lld resent, %lld stored twice", qlonglong(acknowledged.size()), resent,
            qlonglong(stored.size() - distinct.size()));
    }

    // The service as a fleet's operator runs it: metrics that Prometheus's linter accepts, scraped
    // while devices send, with a hostile device name from the data folder escaped; and a journal
    // that keeps a summary each second with the connections counted, not the messages.
    void serviceIsWatchedUnderLoad()
    {
        const TestConfig config = writeConfig({});
        QVERIFY(QFile(u"ev\"il\\\nname-log_2026-12-01.txt"_s).open(QIODevice::WriteOnly));
        const QString metricsPort = QString::number(freeLoopbackPort());
        QProcess service;
        service.start(QStringLiteral(STILWATER_SERVER),
            {u"--metrics"_s, metricsPort, u"--quiet-messages"_s, u"--summary-interval"_s, u"1"_s});
        QByteArray output;
        QTRY_VERIFY((output += service.readAllStandardOutput()).contains("Szerver elindítva."));
        QProcess sim;
        const QString load = u"--devices 20 --duration 3 --rate 20 --bad-checksum 0.1 --port "_s;
        sim.start(QStringLiteral(STILWATER_SIM), (load + QString::fromLatin1(config.port)).split(u' '));
        QVERIFY(sim.waitForStarted());
        QNetworkAccessManager web;
        const auto scrape = [&] {
            QNetworkReply* reply = web.get(QNetworkRequest(QUrl(u"http://127.0.0.1:%1/metrics"_s.arg(metricsPort))));
            QSignalSpy finished(reply, &QNetworkReply::finished);
            const bool answered = finished.wait(10000);
            reply->deleteLater();
            return answered ? reply->readAll() : QByteArray();
        };
        int scrapes = 0;
        QByteArray scraped;
        for (; sim.state() == QProcess::Running || scrapes == 0; ++scrapes) {
            scraped = scrape();
            QProcess promtool;
            promtool.setProcessChannelMode(QProcess::MergedChannels);
            promtool.start(u"/usr/bin/promtool"_s, {u"check"_s, u"metrics"_s});
            promtool.write(scraped);
            promtool.closeWriteChannel();
            QVERIFY(promtool.waitForFinished(30000));
            QVERIFY2(promtool.exitCode() == 0, promtool.readAll() + scraped);
        }
        QCOMPARE(sim.exitCode(), 0);
        scraped = scrape();
        for (const QByteArray& line : {"stilwater_build_info{version=\"" STILWATER_VERSION "\"} 1"_ba,
                 "stilwater_connections_accepted_total 20"_ba, "stilwater_devices_known 21"_ba,
                 "stilwater_messages_total{verdict=\"syntax_error\"} 0"_ba})
            QVERIFY2(scraped.split('\n').contains(line), line + '\n' + scraped);
        QVERIFY(scraped.contains("stilwater_device_last_message_timestamp_seconds{device=\"SIM20\"} 1"));
        QVERIFY(scraped.contains(",verdict=\"checksum_error\"} ")
            && scraped.contains("stilwater_device_errors_total{device=\"SIM"));
        QVERIFY(scraped.contains("stilwater_device_last_message_timestamp_seconds{device=\"ev\\\"il\\\\\\nname\"}"));

        ::kill(static_cast<pid_t>(service.processId()), SIGTERM);
        QVERIFY(service.waitForFinished(10000));
        output += service.readAllStandardOutput();
        QCOMPARE(output.count("] Új kapcsolat."), 0);
        QCOMPARE(output.count("Bejövő adat"), 0);
        // The summaries, the one at the stop included, count every connection's start and end.
        std::pair counted(0, 0);
        static const QRegularExpression counts(u" (\\d+) új kapcsolat, (\\d+) bontott kapcsolat \\("_s);
        for (const QRegularExpressionMatch& summary : counts.globalMatch(QString::fromUtf8(output)))
            counted = {counted.first + summary.captured(1).toInt(), counted.second + summary.captured(2).toInt()};
        QCOMPARE(counted, std::pair(20, 20));
        qInfo("%d scrapes checked while devices sent", scrapes);
    }
};

QTEST_MAIN(SimulatorTest)
#include "tst_simulator.moc"
