#pragma once

#include "app/mainwindow.h"
#include "tests/testsupport.h"

// The lines of config.cfg that the server tests vary; the others hold their defaults. Port and
// timeout are texts, so that a test can write what a hand-edited file may hold.
struct TestConfig
{
    QByteArray port;
    QByteArray socketTimeout = "30";
    QByteArray filePrefix;
    bool backup = false;
    QByteArray ack = "ok";
    QByteArray errorChks;
    QByteArray errorSyntax;
};

// Takes a free loopback port unless the config names one; returns the config written.
TestConfig writeConfig(TestConfig config);

// Message-window text with every time stamp shown as "<ts>".
QString withoutTimeStamps(QString text);

// The main window built on a given config.cfg and shown, with its buttons at hand.
class ServerWindow
{
public:
    // On a free loopback port unless the config names one.
    explicit ServerWindow(const TestConfig& config = TestConfig());

    MainWindow& window() { return *mainWindow; }
    quint16 port() const { return listenPort; }
    void pressStart() { button("start")->click(); }
    void pressStop() { button("stop")->click(); }
    int openConnections() const { return int(mainWindow->server().connectionCount()); }

    // The message window's text with every time stamp shown as "<ts>", once every line written so
    // far is shown. Lines that network events are still to bring need QTRY_COMPARE.
    QString flow() const;

private:
    QPushButton* button(const char* name) const { return mainWindow->findChild<QPushButton*>(QLatin1String(name)); }

    quint16 listenPort = 0;
    std::unique_ptr<MainWindow> mainWindow;
};

// The server without a window, its lines read straight from its queue: replies far larger than the
// system's buffers would take a window long to lay out. A message not completed is ended after a second.
struct BareServer
{
    explicit BareServer(unsigned threads = 0);
    quint16 port() const { return quint16(settings.port); }
    bool start() { return engine.start(settings); }
    // Every line told so far, with the time stamps shown as "<ts>".
    QString flow();

    settings_t settings;
    Engine engine;
    QString lines;
};

// A field device on loopback. It collects every byte that the server sends.
class Device
{
public:
    // A stalled device takes next to nothing off the connection, so what the server sends piles up
    // in the server's queue.
    enum class Reading { Collects, Stalls };

    // Connects from `from`, another loopback address if the test needs to tell devices apart; to the
    // server's IPv6 loopback address when `from` is an IPv6 address.
    explicit Device(quint16 port, const QHostAddress& from = QHostAddress(QHostAddress::LocalHost),
        Reading reading = Reading::Collects);

    void send(const QByteArray& bytes)
    {
        socket.write(bytes);
        socket.flush();
    }
    // Sends the bytes in pieces of `size`, each only after `server` has taken the one before.
    void sendInChunks(const QByteArray& bytes, int size, const Engine& server);
    QByteArray received() const { return bytes; }
    // A stalled device begins to take what the server sent.
    void startReading();
    bool connected() const { return socket.state() == QAbstractSocket::ConnectedState; }
    QTcpSocket& tcp() { return socket; }

private:
    QTcpSocket socket;
    QByteArray bytes;
};

// The hand-worked messages: the checksum is the sum of the codes of positions 2 to 131, modulo
// 256, modulo 100.
struct messages
{
    // 48 + 56 + 128 * 48 = 6248; 6248 % 256 = 104; 104 % 100 = 4.
    static QByteArray zeros() { return "$08" + QByteArray(128, '0') + "04"; }
    // 48 + 56 + 128 * 49 = 6376; 6376 % 256 = 232; 232 % 100 = 32.
    static QByteArray ones(const QByteArray& checksum) { return "$08" + QByteArray(128, '1') + checksum; }
    // Name field "ABC 12" and 26 spaces: 104 + 329 + 26 * 32 + 96 * 48 = 5873; % 256 = 241; % 100 = 41.
    static QByteArray abc12(const QByteArray& checksum = "41")
    {
        return "$08ABC 12" + QByteArray(26, ' ') + QByteArray(96, '0') + checksum;
    }
    // Of device "D<device>", carrying `count`, with its checksum worked out here.
    static QByteArray numbered(int device, int count);
    // Its day file on 2026-12-05.
    static QString fileOfNumbered(int device);
};
