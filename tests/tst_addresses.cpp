#include "app/mainwindow.h"
#include "net/localaddress.h"
#include "net/publicaddress.h"
#include "tests/testsupport.h"

#include <QLabel>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

// A stand-in for the IP-echo service on loopback: answers every request with one fixed response.
class EchoService : public QTcpServer
{
public:
    explicit EchoService(QByteArray response) : response(std::move(response))
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                requests += socket->readAll();
                if (!requests.contains("\r\n\r\n"))
                    return;
                socket->write(this->response);
                socket->disconnectFromHost();
            });
        });
        listen(QHostAddress::LocalHost, 0);
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/ip").arg(serverPort())); }

    QByteArray requests;

private:
    QByteArray response;
};

QByteArray httpResponse(const QByteArray& status, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\nConnection: close\r\n\r\n" + body;
}

QHostAddress address(const char* text)
{
    return QHostAddress(QLatin1String(text));
}

} // namespace

class AddressesTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initStilwaterTests(); }
    void cleanup() { initStilwaterTests(); }

    void localAddressChoice_data()
    {
        QTest::addColumn<QList<QHostAddress>>("addresses");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("loopback and IPv6 skipped")
            << QList<QHostAddress> {address("::1"), address("127.0.0.1"), address("fe80::1"), address("192.168.1.10")}
            << QStringLiteral("192.168.1.10");
        QTest::newRow("list order decides")
            << QList<QHostAddress> {address("10.0.0.5"), address("192.168.1.10")} << QStringLiteral("10.0.0.5");
        QTest::newRow("only loopback and IPv6")
            << QList<QHostAddress> {address("127.0.0.1"), address("::1"), address("fe80::1")} << QString();
        QTest::newRow("other loopback address taken")
            << QList<QHostAddress> {address("127.0.1.1"), address("10.0.0.5")} << QStringLiteral("127.0.1.1");
        QTest::newRow("any-address skipped")
            << QList<QHostAddress> {address("0.0.0.0"), address("172.16.0.2")} << QStringLiteral("172.16.0.2");
        QTest::newRow("none") << QList<QHostAddress> {} << QString();
    }
    void localAddressChoice()
    {
        QFETCH(QList<QHostAddress>, addresses);
        QFETCH(QString, chosen);
        QCOMPARE(chooseLocalAddress(addresses), chosen);
    }

    void publicAddressShownAsAnswered_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("shown");
        QTest::newRow("trailing line break kept")
            << httpResponse("200 OK", "203.0.113.7\n") << QStringLiteral("203.0.113.7\n");
        QTest::newRow("empty body") << httpResponse("200 OK", "") << QString();
        QTest::newRow("cut at a zero byte")
            << httpResponse("200 OK", QByteArray("203.0.113.7\0junk", 16)) << QStringLiteral("203.0.113.7");
        QTest::newRow("Latin-1 bytes") << httpResponse("200 OK", "\xe1") << QStringLiteral("á");
        QTest::newRow("HTTP error") << httpResponse("500 Internal Server Error", "oops") << QStringLiteral("-");
        QTest::newRow("markup is shown, not rendered") << httpResponse("200 OK", "<img src=\"http://192.0.2.1/x.png\">")
                                                       << QStringLiteral("<img src=\"http://192.0.2.1/x.png\">");
    }
    void publicAddressShownAsAnswered()
    {
        QFETCH(QByteArray, response);
        QFETCH(QString, shown);
        EchoService service(response);
        QVERIFY(service.isListening());
        setPublicAddressServiceUrl(service.url());
        ScopedWorkDir dir;
        MainWindow window;
        auto* label = window.findChild<QLabel*>(QStringLiteral("l_ip_public"));
        QCOMPARE(label->text(), QStringLiteral("<processing...>"));
        QTRY_VERIFY(label->text() != QStringLiteral("<processing...>"));
        QCOMPARE(label->text(), shown);
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QVERIFY(service.requests.startsWith("GET /ip HTTP/1.1\r\n"));
    }

    void unreachableServiceShowsDash()
    {
        // initStilwaterTests points the request at a loopback port where nothing listens.
        ScopedWorkDir dir;
        MainWindow window;
        auto* label = window.findChild<QLabel*>(QStringLiteral("l_ip_public"));
        QTRY_COMPARE(label->text(), QStringLiteral("-"));
    }

    void realServiceIsHttpsAtPathIp()
    {
        setPublicAddressServiceUrl(QUrl());
        const QUrl url = publicAddressServiceUrl();
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QCOMPARE(url.path(), QStringLiteral("/ip"));
    }

    void localAddressShownInThePanel()
    {
        ScopedWorkDir dir;
        MainWindow window;
        const QString expected = chooseLocalAddress(QNetworkInterface::allAddresses());
        const QString shown = window.findChild<QLabel*>(QStringLiteral("l_ip"))->text();
        QCOMPARE(shown, expected.isEmpty() ? QStringLiteral("-") : expected);
        QCOMPARE(window.currentSettings().ip, shown);
    }
};

QTEST_MAIN(AddressesTest)
#include "tst_addresses.moc"
