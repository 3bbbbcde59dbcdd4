#include "tests/serverfixture.h"

#include "app/messagefeed.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

void writeConfig(const TestConfig& config)
{
    const QList<QByteArray> lines {"*** GPRS Data Server Config File ***", config.port, config.socketTimeout,
        config.filePrefix, config.fileExt, QByteArray(), config.backup ? "1" : "0", config.backupPrefix,
        config.backupExt, QByteArray(), config.ack, config.errorChks, config.errorSyntax};
    writeConfigFile(lines.join("\r\n") + "\r\n");
}

ServerWindow::ServerWindow(TestConfig config)
{
    if (config.port.isEmpty()) {
        listenPort = freeLoopbackPort();
        config.port = QByteArray::number(listenPort);
    } else {
        listenPort = static_cast<quint16>(config.port.toInt());
    }
    writeConfig(config);
    mainWindow = std::make_unique<MainWindow>();
    mainWindow->show();
}

void ServerWindow::pressStart()
{
    mainWindow->findChild<QPushButton*>(QStringLiteral("start"))->click();
}

void ServerWindow::pressStop()
{
    mainWindow->findChild<QPushButton*>(QStringLiteral("stop"))->click();
}

bool ServerWindow::running() const
{
    return mainWindow->findChild<QPushButton*>(QStringLiteral("stop"))->isEnabled();
}

QString ServerWindow::text() const
{
    const auto* view = mainWindow->findChild<QPlainTextEdit*>(QStringLiteral("textflow"));
    const auto* feed = view->findChild<MessageFeed*>();
    // Lines wait a moment for their batch; what counts is what the operator sees after it.
    if (!QTest::qWaitFor([feed] { return !feed->holdsUnshownText(); }))
        return QStringLiteral("<lines never shown>");
    return view->toPlainText();
}

QString ServerWindow::flow() const
{
    static const QRegularExpression stamp(QStringLiteral("\\d{4}\\.\\d\\d\\.\\d\\d  \\d\\d:\\d\\d:\\d\\d  -  "));
    return text().replace(stamp, QStringLiteral("<ts>"));
}

Device::Device(quint16 port, const QHostAddress& from, Reading reading)
{
    QVERIFY(socket.bind(from));
    if (reading == Reading::Collects) {
        QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] { bytes += socket.readAll(); });
    } else {
        // Set before connecting, so that the window offered in the handshake is already small.
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1024);
        socket.setReadBufferSize(1024);
    }
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    QTRY_VERIFY(connected());
}

void Device::send(const QByteArray& data)
{
    socket.write(data);
    socket.flush();
}

void Device::sendInChunks(const QByteArray& data, int size, QTcpSocket* receiver)
{
    QSignalSpy taken(receiver, &QTcpSocket::readyRead);
    for (qsizetype at = 0; at < data.size(); at += size) {
        send(data.mid(at, size));
        QVERIFY(taken.wait());
    }
}

QByteArray sendAndHalfClose(quint16 port, const QByteArray& bytes)
{
    // A plain socket: Qt's own would go through the event loop between the steps.
    const int descriptor = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in server {};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QByteArray received;
    if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&server), sizeof server) == 0
        && ::send(descriptor, bytes.constData(), bytes.size(), 0) == bytes.size()
        && ::shutdown(descriptor, SHUT_WR) == 0) {
        char chunk[256];
        const bool ended = QTest::qWaitFor([&] {
            const ssize_t count = ::recv(descriptor, chunk, sizeof chunk, MSG_DONTWAIT);
            if (count > 0)
                received.append(chunk, count);
            return count == 0;
        });
        if (!ended)
            received += "<connection never ended>";
    }
    ::close(descriptor);
    return received;
}

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

namespace messages {

QByteArray zeros()
{
    return "$08" + QByteArray(128, '0') + "04";
}

QByteArray ones(const QByteArray& checksum)
{
    return "$08" + QByteArray(128, '1') + checksum;
}

QByteArray abc12(const QByteArray& checksum)
{
    return "$08ABC 12" + QByteArray(26, ' ') + QByteArray(96, '0') + checksum;
}

} // namespace messages
