#include "engine/linequeue.h"
#include "recording/devicename.h"
#include "service/metricstext.h"
#include "service/monitoring.h"
#include "service/outputtext.h"
#include "service/quietoutput.h"
#include "service/readiness.h"
#include "settings/clock.h"
#include "settings/configfile.h"
#include "settings/settings.h"
#include "tests/serverfixture.h"

using namespace Qt::StringLiterals;

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
        QTest::newRow("metrics: no port") << u"metrics"_s << u"host:"_s << QString();
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
        else if (parseMetricsAddress(text, &metrics))
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
        const auto status = [](quint16 port) {
            QTcpSocket client;
            client.connectToHost(QHostAddress::LocalHost, port);
            client.write("GET /ready HTTP/1.0\r\n\r\n");
            while (client.state() != QAbstractSocket::UnconnectedState && client.waitForReadyRead(5000)) { }
            return client.readAll().left(12);
        };
        Readiness readiness(std::chrono::milliseconds(300));
        const quint16 port = freeLoopbackPort();
        QVERIFY(readiness.listen(u"127.0.0.1"_s, port));
        readiness.serve();
        QCOMPARE(status(port), "HTTP/1.1 200");
        QTRY_COMPARE(status(port), "HTTP/1.1 503");
        readiness.alive();
        QCOMPARE(status(port), "HTTP/1.1 200");
        QVERIFY(!Readiness(std::chrono::milliseconds(300)).listen(u"127.0.0.1"_s, port));
    }

    void metricsText()
    {
        metrics_t metrics {
            3, 10, 7, 2, 1, 4, 9000, 5, 6, 2, 8, {{u"K\"1\\\n"_s, 1765000000250}, {u"M2"_s, 1765000001000}}};
        const QString text = QString::fromUtf8(::metricsText(metrics));
        for (const QString& line : {u"stilwater_connections_open 3"_s, u"stilwater_connections_accepted_total 10"_s,
                 u"stilwater_messages_total{verdict=\"accepted\"} 7"_s,
                 u"stilwater_messages_total{verdict=\"checksum_error\"} 2"_s,
                 u"stilwater_messages_total{verdict=\"syntax_error\"} 1"_s, u"stilwater_storing_failures_total 4"_s,
                 u"stilwater_received_bytes_total 9000"_s, u"stilwater_output_dropped_lines_total 5"_s,
                 u"stilwater_descriptor_refusals_total 6"_s, u"stilwater_devices_connected 2"_s,
                 u"stilwater_devices_known 2"_s, u"stilwater_unlisted_messages_total 8"_s,
                 u"# TYPE stilwater_device_last_message_timestamp_seconds gauge"_s,
                 u"stilwater_device_last_message_timestamp_seconds{device=\"K\\\"1\\\\\\n\"} 1765000000.250"_s,
                 u"stilwater_device_last_message_timestamp_seconds{device=\"M2\"} 1765000001.000"_s})
            QVERIFY2(text.split(u'\n').contains(line), qPrintable(line));
        // Nine single series of three lines, the verdicts' five, the devices' four.
        QCOMPARE(text.count(u'\n'), 36);
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
