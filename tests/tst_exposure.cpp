#include "engine/connection.h"
#include "engine/engine.h"
#include "engine/knowndevices.h"
#include "engine/openfiles.h"
#include "engine/peeraddress.h"
#include "engine/proxyheader.h"
#include "settings/settings.h"
#include "tests/serverfixture.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A version 2 header: command (0x21 a proxied connection, 0x20 the balancer's own), family and
// protocol (0x11 TCP over IPv4, 0x21 over IPv6), then the addresses and ports.
QByteArray v2(char command, char family, const QByteArray& addresses)
{
    return QByteArray("\r\n\r\n\0\r\nQUIT\n", 12) + command + family + char(addresses.size() >> 8)
        + char(addresses.size() & 0xFF) + addresses;
}
// 192.0.2.7:40000 to 198.51.100.1:10001
const QByteArray v4 = QByteArray::fromHex("c0000207c63364019c402711");
// [2001:db8::7]:40000 to [2001:db8::1]:10001
const QByteArray v6 = QByteArray::fromHex("20010db8000000000000000000000007"
                                          "20010db80000000000000000000000019c402711");
const QByteArray v1 = "PROXY TCP4 192.0.2.7 198.51.100.1 40000 10001\r\n";

QString exchange(const QString& address, const QByteArray& message, const QString& reply)
{
    return u"<ts>[%1] Bejövő adat: %2\n<ts>[%1] Válasz: %3\n"_s.arg(address, QString::fromLatin1(message), reply);
}

// Puts `list` where the list of known devices goes: "<gone>" takes it away, "<folder>", "<fifo>",
// "<loop>" (a link to itself) and "<dangling>" (a link to nothing) take its place, other bytes are
// written into it, nothing leaves it as it is.
void placeList(const QByteArray& list)
{
    const QByteArray name = QFile::encodeName(knownDevicesFileName);
    if (list.startsWith('<'))
        QFile::remove(knownDevicesFileName);
    if (list == "<folder>")
        QVERIFY(QDir().mkdir(knownDevicesFileName));
    else if (list == "<fifo>")
        QCOMPARE(::mkfifo(name, 0600), 0);
    else if (list == "<loop>" || list == "<dangling>")
        QCOMPARE(::symlink(list == "<loop>" ? name : "gone", name), 0);
    else if (!list.isEmpty() && !list.startsWith('<'))
        writeFile(knownDevicesFileName, list);
}

} // namespace

// What an open port on the internet needs: only known devices get files, a balancer's PROXY header
// names the device, and no address can take every connection.
class ExposureTest final : public StilwaterTest
{
    Q_OBJECT

private slots:
    // Bytes that a function reads: "proxy", a PROXY header read as "state size source" (state 0
    // incomplete, 1 invalid, 2 complete); "block", an "address/prefix" as the block that the limit per
    // address counts: a host given an IPv6 network has every address in it.
    void bytesAreRead_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("read");
        const QString proxy = u"proxy"_s;
        QTest::newRow("v1 IPv6") << proxy << QByteArray("PROXY TCP6 2001:db8::7 2001:db8::1 40000 10001\r\n")
                                 << u"2 48 2001:db8::7"_s;
        QTest::newRow("v1 unknown") << proxy << QByteArray("PROXY UNKNOWN\r\n$") << u"2 15 "_s;
        QTest::newRow("v1 truncated") << proxy << v1.left(30) << u"0 0 "_s;
        QTest::newRow("v1 family mismatch")
            << proxy << QByteArray("PROXY TCP4 2001:db8::7 198.51.100.1 40000 10001\r\n") << u"1 0 "_s;
        QTest::newRow("v1 port out of range")
            << proxy << QByteArray("PROXY TCP4 192.0.2.7 198.51.100.1 65536 10001\r\n") << u"1 0 "_s;
        QTest::newRow("v1 overlong") << proxy << "PROXY TCP4 " + QByteArray(100, '1') << u"1 0 "_s;
        QTest::newRow("v2 IPv4") << proxy << v2(0x21, 0x11, v4) + "$08" << u"2 28 192.0.2.7"_s;
        QTest::newRow("v2 a health check") << proxy << v2(0x21, 0x11, QByteArray(12, 0)) << u"2 28 "_s;
        QTest::newRow("v2 truncated") << proxy << v2(0x21, 0x11, v4).left(20) << u"0 0 "_s;
        QTest::newRow("v2 signature begun") << proxy << QByteArray("\r\n\r\n\0", 5) << u"0 0 "_s;
        QTest::newRow("v2 wrong version") << proxy << v2(0x11, 0x11, v4) << u"1 0 "_s;
        QTest::newRow("v2 addresses cut short") << proxy << v2(0x21, 0x11, v4.left(8)) << u"1 0 "_s;
        QTest::newRow("v2 longer than allowed") << proxy << v2(0x21, 0x11, QByteArray(2000, 0)).left(16) << u"1 0 "_s;
        QTest::newRow("a device's message") << proxy << messages::zeros() << u"1 0 "_s;
        const QString block = u"block"_s;
        QTest::newRow("IPv4") << block << "192.0.2.7/64"_ba << u"192.0.2.7"_s;
        QTest::newRow("IPv4 on a dual-stack listener") << block << "::ffff:192.0.2.7/64"_ba << u"192.0.2.7"_s;
        QTest::newRow("IPv6 by its /64") << block << "2001:db8:1:2:aaaa:bbbb:cccc:dddd/64"_ba << u"2001:db8:1:2::/64"_s;
        QTest::newRow("a prefix within a byte") << block << "2001:db8:1:2ff::1/60"_ba << u"2001:db8:1:2f0::/60"_s;
        QTest::newRow("each address by itself") << block << "2001:db8::7/128"_ba << u"2001:db8::7/128"_s;
        QTest::newRow("one bit") << block << "ffff::1/1"_ba << u"8000::/1"_s;
    }

    void bytesAreRead()
    {
        QFETCH(QString, function);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, read);
        const QString text = QString::fromLatin1(bytes);
        if (function == u"block"_s) {
            const auto address = asio::ip::make_address(text.section(u'/', 0, 0).toStdString());
            QCOMPARE(addressBlock(address, text.section(u'/', 1).toInt()), read);
            return;
        }
        const ProxyHeader header = parseProxyHeader(bytes);
        const QString source = header.source ? peerAddressText(*header.source) : QString();
        QCOMPARE(u"%1 %2 %3"_s.arg(int(header.state)).arg(header.size).arg(source), read);
    }

    // The list is read at the start and whenever the window sees it change (see placeList). ABC_12
    // sends last. One that exists but cannot be taken stops the start, which would otherwise store
    // every invented name: the window says why in a box ("Hiba: ", %1 the list's path) and serves
    // nothing. A FIFO must not hold the window up.
    void knownDevicesDecideWhoStores_data()
    {
        QTest::addColumn<QByteArray>("atStart");
        QTest::addColumn<QByteArray>("later");
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("stored");
        const auto row = [](const char* name, const QByteArray& atStart, const QByteArray& later, const QString& told,
                             bool stored) { QTest::newRow(name) << atStart << later << told << stored; };
        const QString loaded = u"Ismert eszközök listája betöltve (ismert_eszkozok.txt): 1 eszköz."_s;
        const QString two = QString(loaded).replace(u"1 eszköz"_s, u"2 eszköz"_s);
        const QString kept = u"nem olvasható, a korábbi marad érvényben."_s;
        row("listed, with a comment, CR LF, a blank line", "# field\r\nSIM1\r\n\r\n ABC_12 \n", {}, two, true);
        row("appears", {}, "SIM1\n", loaded, false);
        row("changes", "SIM1\n", "ABC_12\nSIM1\n", two, true);
        row("vanishes", "SIM1\n", "<gone>",
            u"Nincs ismert eszközök listája (ismert_eszkozok.txt): minden eszköz adatát fogadom."_s, true);
        row("malformed", "SIM1\n", "ABC 12\n", u"1. sora nem eszköznév, a korábbi lista marad érvényben."_s, false);
        row("unreadable", "SIM1\n", "<folder>", kept, false);
        row("a FIFO, which no writer opens", "SIM1\n", "<fifo>", kept, false);
        row("malformed without a list before", {}, "ABC 12\n",
            u"1. sora nem eszköznév, lista nélkül továbbra is minden eszköz adatát fogadom."_s, true);

        const QString unreadable = u"Hiba: Nem olvasható az ismert eszközök listája: %1 (%2)."_s;
        row("start refused: a faulty line", "SIM1\n#\nABC 12\n", {},
            u"Hiba: Hibás az ismert eszközök listája: %1 (a 3. sora nem eszköznév)."_s, false);
        row("start refused: a folder", "<folder>", {}, unreadable.arg(u"%1"_s, u"nem szabályos fájl"_s), false);
        row("start refused: a FIFO", "<fifo>", {}, unreadable.arg(u"%1"_s, u"nem szabályos fájl"_s), false);
        row("start refused: too large", QByteArray("SIM1\n").repeated(4 * 1024 * 1024 / 5 + 1), {},
            unreadable.arg(u"%1"_s, u"nagyobb 4 MB-nál"_s), false);
        // Root may read any file: a link to itself is refused to everyone.
        row("start refused: a link to itself", "<loop>", {}, unreadable.arg(u"%1"_s, qt_error_string(ELOOP)), false);
        row("start refused: a link to nothing", "<dangling>", {}, unreadable.arg(u"%1"_s, qt_error_string(ENOENT)),
            false);
    }

    void knownDevicesDecideWhoStores()
    {
        QFETCH(QByteArray, atStart);
        QFETCH(QByteArray, later);
        QFETCH(QString, told);
        QFETCH(bool, stored);
        placeList(atStart);
        ServerWindow server;
        const QString box = answering(QMessageBox::Ok, [&] { server.pressStart(); });
        if (told.startsWith(u"Hiba: "_s)) {
            QCOMPARE(box, told.arg(QFileInfo(knownDevicesFileName).absoluteFilePath()));
            QVERIFY(!server.window().server().running());
            QVERIFY(server.window().findChild<QPushButton*>(u"start"_s)->isEnabled());
            return;
        }
        QCOMPARE(box, QString());
        // A device connected before the change keeps its connection through it.
        Device device(server.port());
        QTRY_COMPARE(server.openConnections(), 1);
        placeList(later);
        QTRY_VERIFY(server.flow().contains(told));
        const QString before = server.flow();
        device.send(messages::abc12());
        const QString refusal
            = u"<ts>[127.0.0.1] Ismeretlen eszköz: ABC_12, nincs az ismert eszközök listáján; adatát "
              "nem mentem, a kapcsolatot bontom.\n<ts>[127.0.0.1] A kapcsolatot a szerver bontotta.\n\n"_s;
        QTRY_COMPARE(server.flow(), before + (stored ? exchange(u"127.0.0.1"_s, messages::abc12(), u"ok"_s) : refusal));
        const DeviceTable::totals_t& totals = server.window().server().devices().totals();
        QCOMPARE(totals.unknownDeviceRefusals.load(), quint64(!stored));
        QCOMPARE(totals.closed[Connection::ServerStopped].load(), quint64(!stored));
        QCOMPARE(device.received(), stored ? QByteArray("ok") : QByteArray());
        QCOMPARE(QDir().entryList({u"ABC_12*"_s}).size(), stored ? 1 : 0);
        QTRY_COMPARE(device.connected(), stored);
    }

    // The server's side of 127.0.0.1 is the balancer in every row but the last.
    void balancersNameTheDevice_data()
    {
        QTest::addColumn<QString>("balancer");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("piece");
        QTest::addColumn<QString>("lines");
        const auto proxied = [](const QString& address) {
            return u"<ts>[%1] Új kapcsolat.\n"_s.arg(address) + exchange(address, messages::zeros(), u"ok"_s)
                + u"<ts>[%1] A kapcsolatot a kliens bontotta.\n\n"_s.arg(address);
        };
        const QString invalid
            = u"<ts>[127.0.0.1] Érvénytelen PROXY fejléc a terheléselosztótól, a kapcsolatot bontom.\n\n"_s;
        const auto row = [](const char* name, const QByteArray& sent, int piece, const QString& lines,
                             const QString& balancer = u"127.0.0.1"_s) {
            QTest::newRow(name) << balancer << sent << piece << lines;
        };
        row("v1", v1 + messages::zeros(), 200, proxied(u"192.0.2.7"_s));
        row("v2 IPv6, split over reads", v2(0x21, 0x21, v6) + messages::zeros(), 5, proxied(u"2001:db8::7"_s));
        row("v2 of the balancer's own", v2(0x20, 0x00, QByteArray()) + messages::zeros(), 200, proxied(u"127.0.0.1"_s));
        row("garbage", "GET / HTTP/1.0\r\n", 200, invalid);
        row("truncated", v1.left(30), 200, invalid);
        row("from an address that is no balancer", v1, 200,
            u"<ts>[127.0.0.1] Új kapcsolat.\n<ts>[127.0.0.1] A kapcsolatot a kliens bontotta.\n\n"_s, u"127.0.0.9"_s);
    }

    void balancersNameTheDevice()
    {
        QFETCH(QString, balancer);
        QFETCH(QByteArray, sent);
        QFETCH(int, piece);
        QFETCH(QString, lines);
        AdmissionRules rules;
        rules.balancers.insert(balancer);
        BareServer run(1);
        run.engine.admit(rules);
        QVERIFY(run.start());
        Device device(run.port());
        device.sendInChunks(sent, piece, run.engine);
        device.tcp().disconnectFromHost();
        QTRY_COMPARE(run.flow(),
            u"<ts>Szerver elindítva.\n<ts>Nincs ismert eszközök listája (ismert_eszkozok.txt): minden eszköz adatát fogadom.\n\n"_s
                + lines);
        const DeviceTable::totals_t& totals = run.engine.devices().totals();
        QCOMPARE(totals.invalidProxyHeaders.load(), quint64(lines.count(u"Érvénytelen PROXY fejléc"_s)));
        QCOMPARE(totals.closed[Connection::ClientClosed].load(), quint64(lines.count(u"kliens bontotta"_s)));
    }

    // The sources connect one after the other; a closed place is taken again at the end.
    void limitsRefuseInOneLine_data()
    {
        QTest::addColumn<int>("perAddress");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("left"); // descriptors that the front end's own ports leave; 0: they hold none
        QTest::addColumn<QList<int>>("sources"); // 127.0.0.N
        QTest::addColumn<QList<bool>>("admitted");
        QTest::addColumn<QString>("summary");
        QTest::newRow("two per address")
            << 2 << 0 << 0 << QList<int> {1, 1, 1, 1, 2} << QList<bool> {true, true, false, false, true}
            << u"2 kapcsolatot elutasítottam, 2 a címenkénti, 0 a teljes korlát miatt; az utolsót innen: 127.0.0.1."_s;
        QTest::newRow("three in all")
            << 0 << 3 << 0 << QList<int> {1, 2, 3, 4, 1} << QList<bool> {true, true, true, false, false}
            << u"2 kapcsolatot elutasítottam, 0 a címenkénti, 2 a teljes korlát miatt; az utolsót innen: 127.0.0.1."_s;
        QTest::newRow("three that the front end's ports leave")
            << 0 << 0 << 3 << QList<int> {1, 2, 3, 4, 1} << QList<bool> {true, true, true, false, false}
            << u"2 kapcsolatot elutasítottam, 0 a címenkénti, 2 a teljes korlát miatt; az utolsót innen: 127.0.0.1."_s;
        QTest::newRow("a balancer has no limit per address")
            << 1 << 0 << 0 << QList<int> {5, 5, 2, 2} << QList<bool> {true, true, true, false}
            << u"1 kapcsolatot elutasítottam, 1 a címenkénti, 0 a teljes korlát miatt; az utolsót innen: 127.0.0.2."_s;
    }

    void limitsRefuseInOneLine()
    {
        QFETCH(int, perAddress);
        QFETCH(int, total);
        QFETCH(int, left);
        QFETCH(QList<int>, sources);
        QFETCH(QList<bool>, admitted);
        QFETCH(QString, summary);
        // Every refusal of a row falls into one summary, however slow the machine.
        AdmissionRules rules {{u"127.0.0.5"_s}, perAddress, total, std::chrono::milliseconds(1500),
            left > 0 ? static_cast<int>(openFileLimit()) - left : 0};
        BareServer run(1);
        run.engine.admit(rules);
        QVERIFY(run.start());
        // Plain sockets: a refused one may be closed before a Device would have seen it connected.
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        const auto connectFrom = [&](int source) {
            QTcpSocket& socket = *sockets.emplace_back(std::make_unique<QTcpSocket>());
            socket.bind(QHostAddress(u"127.0.0.%1"_s.arg(source)));
            socket.connectToHost(QHostAddress::LocalHost, run.port());
        };
        std::size_t open = 0;
        for (qsizetype i = 0; i < sources.size(); ++i) {
            connectFrom(sources.at(i));
            open += admitted.at(i) ? 1 : 0;
            QTRY_COMPARE(run.engine.connectionCount(), open);
            if (!admitted.at(i))
                QTRY_COMPARE(sockets.back()->state(), QAbstractSocket::UnconnectedState);
        }
        QTRY_VERIFY(run.flow().contains(u"Kapcsolatkorlát: "_s));
        QCOMPARE(run.flow().count(u"Kapcsolatkorlát: "_s), 1);
        QVERIFY2(run.flow().contains(u"<ts>Kapcsolatkorlát: "_s + summary + u'\n'), qPrintable(run.flow()));
        const DeviceTable::totals_t& totals = run.engine.devices().totals();
        QVERIFY(summary.contains(u"%1 a címenkénti, %2 a teljes"_s.arg(totals.perAddressRefusals.load())
                                     .arg(totals.totalLimitRefusals.load())));

        sockets.front()->disconnectFromHost();
        QTRY_COMPARE(run.engine.connectionCount(), open - 1);
        connectFrom(sources.front());
        QTRY_COMPARE(run.engine.connectionCount(), open);
    }
};

QTEST_MAIN(ExposureTest)
#include "tst_exposure.moc"
