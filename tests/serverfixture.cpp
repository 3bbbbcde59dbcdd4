#include "tests/serverfixture.h"

#include "app/messagefeed.h"

TestConfig writeConfig(TestConfig config)
{
    if (config.port.isEmpty())
        config.port = QByteArray::number(freeLoopbackPort());
    const QList<QByteArray> lines {"*** GPRS Data Server Config File ***", config.port, config.socketTimeout,
        config.filePrefix, ".txt", QByteArray(), config.backup ? "1" : "0", "bak_", ".txt", QByteArray(), config.ack,
        config.errorChks, config.errorSyntax};
    writeFile(QStringLiteral("config.cfg"), lines.join("\r\n") + "\r\n");
    return config;
}

QString withoutTimeStamps(QString text)
{
    static const QRegularExpression stamp(QStringLiteral("\\d{4}\\.\\d\\d\\.\\d\\d  \\d\\d:\\d\\d:\\d\\d  -  "));
    return text.replace(stamp, QStringLiteral("<ts>"));
}

ServerWindow::ServerWindow(const TestConfig& config)
{
    listenPort = static_cast<quint16>(writeConfig(config).port.toInt());
    mainWindow = std::make_unique<MainWindow>();
    mainWindow->show();
}

QString ServerWindow::flow() const
{
    const auto* feed = mainWindow->findChild<MessageFeed*>();
    // Lines wait a moment for their batch; what counts is what the operator sees after it.
    if (!QTest::qWaitFor([feed] { return !feed->holdsUnshownText(); }))
        return QStringLiteral("<lines never shown>");
    return withoutTimeStamps(messageWindowText(mainWindow.get()));
}

BareServer::BareServer(unsigned threads) : engine(threads)
{
    settings.port = freeLoopbackPort();
    settings.msg_timeout = 1;
}

QString BareServer::flow()
{
    lines += engine.lines().take().events.join(QString());
    return withoutTimeStamps(lines);
}

Device::Device(quint16 port, const QHostAddress& from, Reading reading)
{
    QVERIFY(socket.bind(from));
    if (reading == Reading::Collects) {
        startReading();
    } else {
        // Set before connecting, so that the window offered in the handshake is already small.
        socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1024);
        socket.setReadBufferSize(1024);
    }
    const bool ipv6 = from.protocol() == QAbstractSocket::IPv6Protocol;
    socket.connectToHost(QHostAddress(ipv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost), port);
    QTRY_VERIFY(connected());
}

void Device::startReading()
{
    socket.setReadBufferSize(0);
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [this] { bytes += socket.readAll(); });
    bytes += socket.readAll();
}

void Device::sendInChunks(const QByteArray& data, int size, const Engine& server)
{
    const quint64 before = server.bytesReceived();
    for (qsizetype at = 0; at < data.size(); at += size) {
        const QByteArray piece = data.mid(at, size);
        send(piece);
        // Looked for often: the message timer runs meanwhile.
        const quint64 taken = before + quint64(at + piece.size());
        QVERIFY(QTest::qWaitFor([&] { return server.bytesReceived() == taken; }));
    }
}

QByteArray messages::numbered(int device, int count)
{
    QByteArray text = "08" + QStringLiteral("D%1").arg(device).toLatin1().leftJustified(32, ' ')
        + QByteArray::number(count).rightJustified(96, '0');
    unsigned char sum = 0;
    for (const char c : text)
        sum += static_cast<unsigned char>(c);
    return '$' + text + QByteArray::number(sum % 100).rightJustified(2, '0');
}

QString messages::fileOfNumbered(int device)
{
    return QStringLiteral("D%1-log_2026-12-05.txt").arg(device);
}
