#include "tests/serverfixture.h"

#include "tests/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTextEdit>
#include <QtTest>

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
    return mainWindow->findChild<QTextEdit*>(QStringLiteral("textflow"))->toPlainText();
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
