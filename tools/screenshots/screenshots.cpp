// Takes the guides' pictures from the real program: the main window with traffic from devices on
// loopback, the devices window with a fleet of 2,000, then each dialog. Writes PNGs into the folder given as the only
// argument. scripts/screenshots runs it under Xvfb, so that the pictures show the fonts of a Linux desktop.

#include "app/formfont.h"
#include "app/mainwindow.h"
#include "app/productinfo.h"
#include "dialogs/about.h"
#include "dialogs/errormsg.h"
#include "dialogs/file.h"
#include "dialogs/port.h"
#include "messages/messagelayout.h"
#include "net/publicaddress.h"
#include "settings/settings.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <cstdio>

namespace {

// A device message with the given name and data and a right or a wrong checksum.
QByteArray deviceMessage(const QString& name, char digit, bool rightChecksum)
{
    QString message = QStringLiteral("$08") + name.leftJustified(nameFieldLength, QLatin1Char(' '))
        + QString(messageLength - 3 - nameFieldLength - 2, QLatin1Char(digit)) + QStringLiteral("00");
    int checksum = 0; // stays 0 when the "00" already is right
    settings_t::calcChks(message, &checksum);
    const int written = rightChecksum ? checksum : (checksum + 1) % 100;
    message.replace(messageLength - 2, 2, QStringLiteral("%1").arg(written, 2, 10, QLatin1Char('0')));
    return message.toLatin1();
}

// Lets the event loop run for a while, so that connections, replies and repaints happen.
void runFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget* widget, const QString& path)
{
    widget->show();
    runFor(200);
    const bool saved = widget->grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(QDir::toNativeSeparators(path)));
    return saved;
}

// Answers the public-address request as the real service would, with a documentation address.
void servePublicAddress(QTcpServer* service)
{
    QObject::connect(service, &QTcpServer::newConnection, service, [service] {
        QTcpSocket* socket = service->nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 11\r\n\r\n203.0.113.7");
            socket->disconnectFromHost();
        });
    });
    service->listen(QHostAddress::LocalHost);
    setPublicAddressServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/ip").arg(service->serverPort())));
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4);
    return probe.serverPort();
}

} // namespace

int main(int argc, char* argv[])
{
    Q_INIT_RESOURCE(stilwater);
    QApplication application(argc, argv);
    useFormFont();
    QApplication::setWindowIcon(productIcon());
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));

    // The program keeps config.cfg and its data files in its working directory: a fresh one here.
    QTemporaryDir workDir(QDir::temp().filePath(QStringLiteral("stilwater-XXXXXX")));
    QDir::setCurrent(workDir.path());
    QFile config(QStringLiteral("config.cfg"));
    config.open(QIODevice::WriteOnly);
    config.write("*** GPRS Data Server Config File ***\r\n" + QByteArray::number(freePort())
        + "\r\n30\r\nd_\r\n.txt\r\n\r\n1\r\nbak_\r\n.txt\r\n\r\nok\r\nchks_error\r\nsyntax_error\r\n");
    config.close();

    QTcpServer publicAddress;
    servePublicAddress(&publicAddress);

    // A device known only from yesterday's day file, silent since: the devices window marks it.
    QFile yesterday(QStringLiteral("d_KUT_04-log_%1.txt")
                        .arg(QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy-MM-dd"))));
    yesterday.open(QIODevice::WriteOnly);
    yesterday.setFileTime(QDateTime::currentDateTime().addSecs(-20 * 3600), QFileDevice::FileModificationTime);
    yesterday.close();
    // The rest of a fleet of 2,000 for the devices window: every twentieth device known only from
    // yesterday's day file, silent for hours, the others reporting over a few connections.
    constexpr int fleet = 1996;
    for (int number = 20; number <= fleet; number += 20) {
        QFile silent(QStringLiteral("d_SIM%1-log_%2.txt")
                         .arg(number)
                         .arg(QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy-MM-dd"))));
        silent.open(QIODevice::WriteOnly);
        silent.setFileTime(
            QDateTime::currentDateTime().addSecs(-3600 - number * 97), QFileDevice::FileModificationTime);
        silent.close();
    }

    MainWindow window;
    window.show();
    window.findChild<QPushButton*>(QStringLiteral("start"))->click();
    const quint16 port = window.currentSettings().port;

    // Three devices: one accepted message and a hang-up, one with a wrong checksum, and one whose
    // cut-off message is followed by a whole one.
    QTcpSocket first;
    QTcpSocket second;
    QTcpSocket third;
    for (QTcpSocket* device : {&first, &second, &third})
        device->connectToHost(QHostAddress::LocalHost, port);
    runFor(300);
    first.write(deviceMessage(QStringLiteral("KUT 01"), '1', true));
    runFor(300);
    first.disconnectFromHost();
    second.write(deviceMessage(QStringLiteral("KUT 02"), '2', false));
    runFor(300);
    third.write("$08KUT 03 1234" + deviceMessage(QStringLiteral("KUT 03"), '3', true));
    runFor(500);

    bool saved = save(&window, output.filePath(QStringLiteral("main-window.png")));
    std::array<QTcpSocket, 4> reporting;
    for (QTcpSocket& device : reporting)
        device.connectToHost(QHostAddress::LocalHost, port);
    runFor(300);
    for (int number = 1; number <= fleet; ++number) {
        if (number % 20 != 0)
            reporting[std::size_t(number) % reporting.size()].write(
                deviceMessage(QStringLiteral("SIM%1").arg(number), char('0' + number % 10), true));
    }
    const QDeadlineTimer deadline(30000);
    while (window.server().devices().size() < 2000 && !deadline.hasExpired())
        runFor(100);
    window.findChild<QAction*>(QStringLiteral("actionDevices"))->trigger();
    runFor(1200); // its first rows come within a second
    saved &= save(window.findChild<QWidget*>(QStringLiteral("DevicesWindow")),
        output.filePath(QStringLiteral("devices-window.png")));
    Port portDialog(&window.currentSettings(), &window);
    saved &= save(&portDialog, output.filePath(QStringLiteral("port-dialog.png")));
    ErrorMsg repliesDialog(&window.currentSettings(), &window);
    saved &= save(&repliesDialog, output.filePath(QStringLiteral("replies-dialog.png")));
    File storageDialog(&window.currentSettings(), &window);
    saved &= save(&storageDialog, output.filePath(QStringLiteral("storage-dialog.png")));
    storageDialog.findChild<QTabWidget*>()->setCurrentIndex(1);
    saved &= save(&storageDialog, output.filePath(QStringLiteral("storage-dialog-backup.png")));
    about aboutBox(&window);
    saved &= save(&aboutBox, output.filePath(QStringLiteral("about-box.png")));

    // Stopping with devices still connected would ask first; they leave before the window does.
    second.disconnectFromHost();
    third.disconnectFromHost();
    for (QTcpSocket& device : reporting)
        device.disconnectFromHost();
    runFor(300);
    window.findChild<QPushButton*>(QStringLiteral("stop"))->click();
    return saved ? 0 : 1;
}
