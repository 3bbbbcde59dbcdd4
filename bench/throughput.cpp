// Messages per second that the real main window gets through, offscreen, with N devices on
// loopback: every message framed, judged, stored in its daily file, acknowledged and shown.
//
//   stilwater_bench [--seconds S] [--in-flight W] [devices ...]     (default: 1 20)

#include "app/mainwindow.h"
#include "bench/devicefleet.h"
#include "net/publicaddress.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <QTimer>

namespace {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

void runEventLoopFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// config.cfg with the given port and a socket timeout far beyond the run.
void writeConfig(quint16 port)
{
    QFile file(QStringLiteral("config.cfg"));
    file.open(QIODevice::WriteOnly);
    file.write("*** GPRS Data Server Config File ***\r\n" + QByteArray::number(port)
        + "\r\n3600\r\n\r\n.txt\r\n\r\n0\r\nbak_\r\n.txt\r\n\r\nok\r\n\r\n\r\n");
}

double messagesPerSecond(int devices, int seconds, int inFlight)
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const quint16 port = freeLoopbackPort();
    writeConfig(port);

    double rate = 0;
    {
        MainWindow window;
        window.show();
        window.findChild<QPushButton*>(QStringLiteral("start"))->click();

        QThread thread;
        DeviceFleet fleet(port, devices, inFlight);
        fleet.moveToThread(&thread);
        thread.start();
        QMetaObject::invokeMethod(&fleet, &DeviceFleet::connectAll);

        runEventLoopFor(500); // warm-up: connections made, files created
        const qint64 before = fleet.acknowledged();
        QElapsedTimer clock;
        clock.start();
        runEventLoopFor(seconds * 1000);
        const qint64 counted = fleet.acknowledged() - before;
        rate = counted * 1e9 / clock.nsecsElapsed();

        QMetaObject::invokeMethod(&fleet, &DeviceFleet::disconnectAll, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
    QDir::setCurrent(previous);
    return rate;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // Nothing in a measurement may leave the machine: the public-address request goes to a dead port.
    setPublicAddressServiceUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/ip").arg(freeLoopbackPort())));

    QStringList arguments = application.arguments().mid(1);
    int seconds = 3;
    int inFlight = 4;
    QList<int> fleets;
    while (!arguments.isEmpty()) {
        const QString argument = arguments.takeFirst();
        if (argument == QLatin1String("--seconds") && !arguments.isEmpty())
            seconds = arguments.takeFirst().toInt();
        else if (argument == QLatin1String("--in-flight") && !arguments.isEmpty())
            inFlight = arguments.takeFirst().toInt();
        else
            fleets << argument.toInt();
    }
    if (fleets.isEmpty())
        fleets = {1, 20};

    QTextStream out(stdout);
    out << "devices  messages/s   (" << seconds << " s each, " << inFlight << " in flight per device)\n";
    for (const int devices : std::as_const(fleets)) {
        out << QStringLiteral("%1  %2\n")
                   .arg(devices, 7)
                   .arg(messagesPerSecond(devices, seconds, inFlight), 10, 'f', 0);
        out.flush();
    }
    return 0;
}
