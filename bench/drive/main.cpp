// stilwater-drive: devices for the load benchmark, played from one epoll thread so that the client
// stays far lighter than the server it measures. Prints one line of JSON; exit status 1 when any
// reply was wrong or missing, or the server closed a connection.

#include "bench/drive/devicedriver.h"
#include "engine/openfiles.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    raiseOpenFileLimit();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Connects the devices at once; each sends its first message as soon as it is connected, and once "
        "every device has its reply, the next ones for --seconds: lockstep, or one each --every seconds."));
    parser.addHelpOption();
    const QCommandLineOption port(
        QStringLiteral("port"), QStringLiteral("The server's port on 127.0.0.1."), QStringLiteral("port"));
    const QCommandLineOption devices(
        QStringLiteral("devices"), QStringLiteral("Sending devices."), QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption idle(QStringLiteral("idle"), QStringLiteral("Connections beside them that never send."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
        QStringLiteral("Sending after the first replies (0: the first message only)."), QStringLiteral("S"),
        QStringLiteral("0"));
    const QCommandLineOption every(QStringLiteral("every"),
        QStringLiteral("One message per device this often; without it, lockstep."), QStringLiteral("S"),
        QStringLiteral("0"));
    const QCommandLineOption prefix(QStringLiteral("name-prefix"),
        QStringLiteral("Device names: this and the device's number."), QStringLiteral("text"), QStringLiteral("DRV"));
    parser.addOptions({port, devices, idle, seconds, every, prefix});
    parser.process(application);

    DeviceDriver driver(
        {quint16(parser.value(port).toUInt()), parser.value(devices).toInt(), parser.value(idle).toInt(),
            parser.value(seconds).toDouble(), parser.value(every).toDouble(), parser.value(prefix)});
    const DriveResult result = driver.run();
    const QJsonObject summary {{QStringLiteral("sent"), result.sent},
        {QStringLiteral("acknowledged"), result.acknowledged}, {QStringLiteral("wrong"), result.wrong},
        {QStringLiteral("closed_by_server"), result.closedByServer}, {QStringLiteral("connect_ms"), result.connectMs},
        {QStringLiteral("first_replies_ms"), result.firstRepliesMs}, {QStringLiteral("seconds"), result.seconds},
        {QStringLiteral("rate"), result.rate}, {QStringLiteral("p50_ms"), result.p50Ms},
        {QStringLiteral("p99_ms"), result.p99Ms}};
    QTextStream(stdout) << QJsonDocument(summary).toJson(QJsonDocument::Compact) << '\n';
    return result.wrong == 0 && result.closedByServer == 0 ? 0 : 1;
}
