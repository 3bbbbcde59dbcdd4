#include "engine/linequeue.h"
#include "recording/devicename.h"
#include "service/httpendpoint.h"
#include "service/metricstext.h"
#include "service/monitoring.h"
#include "service/outputtext.h"
#include "service/quietoutput.h"
#include "service/readiness.h"
#include "settings/clock.h"
#include "settings/configfile.h"
#include "settings/settings.h"
#include "tests/serverfixture.h"

#include <QDateTime>
#include <QNetworkInterface>
#include <QProcess>
#include <QTimer>

#include <array>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The start of the status line that answers `request` on loopback `port`, read until the server closes.
QByteArray statusOf(quint16 port, const QByteArray& request)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    client.write(request);
    while (client.state() != QAbstractSocket::UnconnectedState && client.waitForReadyRead(5000)) { }
    return client.readAll().left(12);
}

} // namespace

// The service's own pieces: its output, its readiness check, its metrics and its shipped files.
class ServiceTest final : public StilwaterTest
{
    Q_OBJECT

private slots:
    // Texts that a function turns into others: "name", a device's file name from a message's name
    // field, whose checksum is not looked at; "label", a metrics label value escaped; "metrics", the
    // --metrics address read as "host port", empty when refused.
    void textIsTurned_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("name: leading spaces") << u"name"_s << u"  AB"_s << u"__AB"_s;
        QTest::newRow("name: only spaces, no option") << u"name"_s << QString() << u"_"_s;
        QTest::newRow("name: ordinary characters kept") << u"name"_s << u"a.b-c_1"_s << u"a.b-c_1"_s;
        QTest::newRow("name: refused by Windows") << u"name"_s << u"<>:\"|?*"_s << u"_______"_s;
        QTest::newRow("name: control characters") << u"name"_s << u"a\tb\x7f"_s << u"a_b_"_s;
        QTest::newRow("name: leading dot, not hidden") << u"name"_s << u".a.b"_s << u"_a.b"_s;
        QTest::newRow("name: leading hyphen, no option") << u"name"_s << u"--rf"_s << u"_-rf"_s;
        QTest::newRow("label: quote") << u"label"_s << u"a\"b"_s << u"a\\\"b"_s;
        QTest::newRow("label: backslash, also before n") << u"label"_s << u"a\\n"_s << u"a\\\\n"_s;
        QTest::newRow("label: line feed") << u"label"_s << u"a\nb"_s << u"a\\nb"_s;
        QTest::newRow("label: accents and braces kept") << u"label"_s << u"Tűző}{="_s << u"Tűző}{="_s;
        QTest::newRow("metrics: port only, loopback") << u"metrics"_s << u"9310"_s << u"127.0.0.1 9310"_s;
        QTest::newRow("metrics: IPv4") << u"metrics"_s << u"0.0.0.0:9310"_s << u"0.0.0.0 9310"_s;
        QTest::newRow("metrics: IPv6") << u"metrics"_s << u"[::1]:80"_s << u"::1 80"_s;
        QTest::newRow("metrics: IPv6 without brackets") << u"metrics"_s << u"::1:80"_s << QString();
        QTest::newRow("metrics: port 0") << u"metrics"_s << u"0"_s << QString();
        QTest::newRow("metrics: port too high") << u"metrics"_s << u"65536"_s << QString();
    }

    void textIsTurned()
    {
        QFETCH(QString, function);
        QFETCH(QString, text);
        QFETCH(QString, result);
        monitoring_t metrics;
        if (function == u"name"_s)
            QCOMPARE(::deviceName(u"$08"_s + text.leftJustified(32, u' ') + QString(98, u'0')), result);
        else if (function == u"label"_s)
            QCOMPARE(escapedLabelValue(text), result);
        else if (parseHttpAddress(text, &metrics.metricsHost, &metrics.metricsPort))
            QCOMPARE(metrics.metricsHost + u' ' + QString::number(metrics.metricsPort), result);
        else
            QCOMPARE(QString(), result);
    }

    // The file that the service's package brings to start from holds the defaults.
    void shippedConfigHoldsTheDefaults()
    {
        QCOMPARE(readFileBytes(u"" STILWATER_SOURCE_DIR "/service/default-config.cfg"_s), configText(settings_t()));
    }

    // The service's standard output for a batch of the engine's lines, some dropped before it, which
    // keep their time.
    void serviceOutputCountsDroppedLines()
    {
        QCOMPARE(QString::fromUtf8(outputText({{u"c\n\n"_s}, 7, u"<stamp of the 7th>"_s})),
            u"<stamp of the 7th>… 7 sor kihagyva …\nc\n"_s);
    }

    // The readiness check says 200 while the engine reports, 503 once it has been silent too long.
    void readinessFollowsTheEngine()
    {
        Readiness readiness(std::chrono::milliseconds(300));
        const quint16 port = freeLoopbackPort();
        QVERIFY(readiness.listen(u"127.0.0.1"_s, port));
        readiness.serve();
        const QByteArray request = "GET /ready HTTP/1.0\r\n\r\n";
        QCOMPARE(statusOf(port, request), "HTTP/1.1 200");
        QTRY_COMPARE(statusOf(port, request), "HTTP/1.1 503");
        readiness.alive();
        QCOMPARE(statusOf(port, request), "HTTP/1.1 200");
    }

    // Both HTTP endpoints of the real program against clients that would wear them down: a hundred
    // that send their heads a byte at a time, a body of 512 MB, a port that another socket holds,
    // sharing it or not. Answered on loopback only unless an address is given.
    void httpEndpointsHoldAgainstHostileClients_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QString>("held"); // the line for a port held by another socket
        QTest::newRow("--health") << u"--health"_s << "/ready"_ba
                                  << u"stilwater-server: A megadott port hibás, vagy már foglalt. (--health %1)\n"_s;
        QTest::newRow("--metrics") << u"--metrics"_s << "/metrics"_ba
                                   << u"stilwater-server: A metrikák címe hibás, vagy már foglalt.\n"_s;
    }

    void httpEndpointsHoldAgainstHostileClients()
    {
        QFETCH(QString, option);
        QFETCH(QByteArray, path);
        QFETCH(QString, held);
        writeConfig({});
        const quint16 port = freeLoopbackPort();
        QProcess service;
        service.start(QStringLiteral(STILWATER_SERVER), {option, QString::number(port)});
        QByteArray output;
        QTRY_VERIFY((output += service.readAllStandardOutput()).contains("Szerver elindítva."));
        const QString process = u"/proc/%1/"_s.arg(service.processId());
        const auto sockets = [&process] {
            const QFileInfoList descriptors = QDir(process + u"fd"_s).entryInfoList(QDir::Files | QDir::System);
            return std::count_if(descriptors.cbegin(), descriptors.cend(),
                [](const QFileInfo& descriptor) { return descriptor.symLinkTarget().contains(u"socket:"_s); });
        };
        const auto resident = [&process] {
            const QByteArray status = readFileBytes(process + u"status"_s);
            return status.mid(status.indexOf("VmRSS:") + 6).trimmed().split(' ').first().toLongLong();
        };
        const auto answer = [port, &path](const QByteArray& headers = {}) {
            return statusOf(port, (headers.isEmpty() ? "GET " : "POST ") + path + " HTTP/1.0\r\n" + headers + "\r\n");
        };
        const qint64 idleSockets = sockets();

        // A byte each 200 ms, far inside any wait for the next byte.
        std::array<QTcpSocket, 100> slow;
        for (QTcpSocket& client : slow)
            client.connectToHost(QHostAddress::LocalHost, port);
        const QByteArray head = "GET " + path + " HTTP/1.1\r\nX-Slow: " + QByteArray(1000, 'a');
        int sent = 0;
        QTimer trickle;
        connect(&trickle, &QTimer::timeout, this, [&] {
            for (QTcpSocket& client : slow) {
                if (client.state() == QAbstractSocket::ConnectedState)
                    client.write(head.mid(sent % head.size(), 1));
            }
            ++sent;
        });
        trickle.start(200);
        QTRY_VERIFY(sent > 2);
        QCOMPARE(answer(), "HTTP/1.1 200");
        QVERIFY(sockets() <= idleSockets + httpConnections);
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(slow.cbegin(), slow.cend(),
                [](const QTcpSocket& client) { return client.state() == QAbstractSocket::UnconnectedState; }),
            10000);
        trickle.stop();

        const long long before = resident();
        const int body = ::socket(AF_INET, SOCK_STREAM, 0);
        const timeval patience {10, 0};
        ::setsockopt(body, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        sockaddr_in place {};
        place.sin_family = AF_INET;
        place.sin_port = htons(port);
        place.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(body, reinterpret_cast<sockaddr*>(&place), sizeof place), 0);
        const QByteArray post = "POST " + path + " HTTP/1.1\r\nContent-Length: 536870912\r\n\r\n";
        QCOMPARE(::send(body, post.constData(), post.size(), MSG_NOSIGNAL), post.size());
        const std::vector<char> megabyte(1 << 20, 'x');
        long long posted = 0;
        for (ssize_t put = 0; posted < (512 << 20) && put >= 0; posted += std::max<ssize_t>(put, 0))
            put = ::send(body, megabyte.data(), megabyte.size(), MSG_NOSIGNAL);
        ::close(body);
        qInfo("%lld MB taken of the body, resident %lld kB before, %lld kB after", posted >> 20, before, resident());
        QVERIFY(posted < (64 << 20) && resident() - before < 16 * 1024);
        QCOMPARE(answer(), "HTTP/1.1 200");
        QCOMPARE(answer("Content-Length: 536870912\r\n"), "HTTP/1.1 413");
        QCOMPARE(answer("Transfer-Encoding: chunked\r\n"), "HTTP/1.1 413");

        for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
            if (address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            QTcpSocket outside;
            outside.connectToHost(address, port);
            QVERIFY2(!outside.waitForConnected(5000), qPrintable(address.toString()));
        }

        // A holder that would share the port; one that would not is the port-problem rows' of the
        // simulator's test.
        const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
        const int yes = 1;
        ::setsockopt(holder, SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
        place.sin_port = 0;
        socklen_t length = sizeof place;
        QVERIFY(::bind(holder, reinterpret_cast<sockaddr*>(&place), length) == 0 && ::listen(holder, 1) == 0
            && ::getsockname(holder, reinterpret_cast<sockaddr*>(&place), &length) == 0);
        QProcess second;
        second.start(QStringLiteral(STILWATER_SERVER), {option, QString::number(ntohs(place.sin_port))});
        QVERIFY(second.waitForFinished(30000));
        ::close(holder);
        QCOMPARE(second.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(second.readAllStandardError()),
            QString(held).replace(u"%1"_s, QString::number(ntohs(place.sin_port))));
        service.terminate();
        QVERIFY(service.waitForFinished(30000));
    }

    void metricsText()
    {
        metrics_t metrics {3, 10, 7, 2, 1, 4, 9000, 5, 6, 11, 12, 13, 14, 15, 16, 17, 2, 8,
            {{u"K\"1\\\n"_s, 1765000000250}, {u"M2"_s, 1765000001000}}, u"1.2"_s, {1765000000.25, 12, 1024, 40960},
            {{u"M2"_s, 3, 0}}, {2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 4}, 1500000000};
        const QString text = QString::fromUtf8(::metricsText(metrics));
        for (const QString& line : {u"stilwater_build_info{version=\"1.2\"} 1"_s, u"stilwater_connections_open 3"_s,
                 u"stilwater_connections_accepted_total 10"_s, u"stilwater_messages_total{verdict=\"accepted\"} 7"_s,
                 u"stilwater_messages_total{verdict=\"checksum_error\"} 2"_s,
                 u"stilwater_messages_total{verdict=\"syntax_error\"} 1"_s, u"stilwater_storing_failures_total 4"_s,
                 u"stilwater_received_bytes_total 9000"_s, u"stilwater_output_dropped_lines_total 5"_s,
                 u"stilwater_descriptor_refusals_total 6"_s, u"stilwater_devices_connected 2"_s,
                 u"stilwater_devices_known 2"_s, u"stilwater_unlisted_messages_total 8"_s,
                 u"# TYPE stilwater_device_last_message_timestamp_seconds gauge"_s,
                 u"stilwater_device_last_message_timestamp_seconds{device=\"K\\\"1\\\\\\n\"} 1765000000.250"_s,
                 u"stilwater_device_last_message_timestamp_seconds{device=\"M2\"} 1765000001.000"_s,
                 u"process_start_time_seconds 1765000000.25"_s, u"process_open_fds 12"_s, u"process_max_fds 1024"_s,
                 u"process_resident_memory_bytes 40960"_s,
                 u"stilwater_connections_refused_total{reason=\"unknown_device\"} 11"_s,
                 u"stilwater_connections_refused_total{reason=\"per_address_limit\"} 12"_s,
                 u"stilwater_connections_refused_total{reason=\"total_limit\"} 13"_s,
                 u"stilwater_connections_refused_total{reason=\"invalid_proxy_header\"} 14"_s,
                 u"stilwater_connections_refused_total{reason=\"descriptors\"} 6"_s,
                 u"stilwater_connections_closed_total{reason=\"timeout\"} 15"_s,
                 u"stilwater_connections_closed_total{reason=\"client\"} 16"_s,
                 u"stilwater_connections_closed_total{reason=\"server\"} 17"_s,
                 u"stilwater_device_errors_total{device=\"M2\",verdict=\"checksum_error\"} 3"_s,
                 u"stilwater_device_errors_total{device=\"M2\",verdict=\"syntax_error\"} 0"_s,
                 u"# TYPE stilwater_reply_latency_seconds histogram"_s,
                 u"stilwater_reply_latency_seconds_bucket{le=\"0.0005\"} 2"_s,
                 u"stilwater_reply_latency_seconds_bucket{le=\"0.0025\"} 3"_s,
                 u"stilwater_reply_latency_seconds_bucket{le=\"1\"} 3"_s,
                 u"stilwater_reply_latency_seconds_bucket{le=\"+Inf\"} 7"_s,
                 u"stilwater_reply_latency_seconds_sum 1.500000000"_s, u"stilwater_reply_latency_seconds_count 7"_s})
            QVERIFY2(text.split(u'\n').contains(line), qPrintable(line));
        // Fourteen single series of three lines, the verdicts' five, the refusals' seven, the ends' five,
        // the devices' four, their errors' four, the latencies' sixteen.
        QCOMPARE(text.count(u'\n'), 83);
    }

    // A program's name may hold brackets and spaces; the figures are this process's own.
    void processFiguresAreTheSystems()
    {
        const QByteArray stat = "4242 (a) b (c) S 1 4242 4242 0 -1 4194560 1 0 0 0 2 3 0 0 20 0 1 0 350 9000000 25 "
                                "18446744073709551615 1 1 0 0 0 0 0 4096 0 0 0 0 17 1 0 0 0 0 0\n";
        const process_figures_t parsed = processStatFigures(stat, 1765000000, 100, 4096);
        QCOMPARE(parsed.startTime, 1765000003.5);
        QCOMPARE(parsed.residentBytes, quint64(25 * 4096));

        const process_figures_t before = processFigures();
        QFile opened(u"open"_s);
        QVERIFY(opened.open(QIODevice::WriteOnly));
        const process_figures_t now = processFigures();
        QCOMPARE(now.openDescriptors, before.openDescriptors + 1);
        rlimit limit {};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &limit), 0);
        QCOMPARE(now.descriptorLimit, quint64(limit.rlim_cur));
        // This test's own process started within the time that CTest gives it.
        const double since = QDateTime::currentMSecsSinceEpoch() / 1000.0 - now.startTime;
        QVERIFY2(since >= 0 && since < 180, qPrintable(QString::number(since)));
        QVERIFY(now.residentBytes > 1024 * 1024);
    }

    // Under --quiet-messages: a message and its reply go, connections' starts and ends become the
    // summary's counts, errors and storing failures stay; the server's own lines name no peer.
    void quietOutputKeepsEvents()
    {
        const QString stamp = formatTimeStamp(QDateTime(QDate(2026, 12, 5), QTime(9, 0)));
        const QString failure = stamp + u"[::1] Mentési hiba: AB-log_2026-12-05.txt\n\n"_s;
        const QString unknown = stamp + u"[::1] Ismeretlen eszköz: X4F2, nincs az ismert eszközök listáján.\n"_s;
        summary_t summary;
        QString kept;
        for (const QString& body : {u"Új kapcsolat."_s, u"Válasz: ok"_s, u"Chks error. Számolt: 4. Válasz: <nincs>"_s,
                 u"Syntax error. Válasz: SE"_s, u"A kapcsolatot a szerver bontotta. (Timeout)"_s,
                 u"A kapcsolatot a kliens bontotta."_s, u"A kapcsolatot a szerver bontotta."_s, u"Új kapcsolat."_s})
            kept += quietEvent(stamp + u"[::1] "_s + body + u"\n\n"_s, &summary);
        QCOMPARE(kept + quietEvent(failure + unknown, &summary), failure + unknown);
        QCOMPARE(summaryText(summary),
            u"Az elmúlt 0 másodperc: 0 elfogadott, 0 ellenőrzőösszeg-hibás, 0 szintaktikailag hibás üzenet, 0 mentési "
            "hiba; 0 eszköz jelentkezett; 2 új kapcsolat, 3 bontott kapcsolat (1 Timeout, 1 a kliens, 1 a szerver "
            "bontotta)."_s);
        QCOMPARE(quietLine(stamp + u"A kapcsolatot a szerver bontotta.\n"_s), QuietLine::Kept);
    }
};

QTEST_MAIN(ServiceTest)
#include "tst_service.moc"
