#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the command line asked for.
struct SimOptions
{
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 10001;
    int devices = 1;
    int messages = 10; // per device; ignored when duration is set
    double duration = 0; // seconds of sending, counted from the moment every device is connected
    double rate = 0; // messages per second per device; 0: the next one as soon as the reply is in
    QString namePrefix = QStringLiteral("SIM");

    double badChecksum = 0;
    double badLength = 0;
    double noise = 0;
    int split = 1;
    bool crlf = false;

    QByteArray expectAck = "ok";
    QByteArray expectChks;
    QByteArray expectSyntax;
    int replyTimeoutMs = 1000;

    int idle = 0;
    int connectTimeoutS = 60;
    bool reconnect = false;
    QStringList sourceAddresses; // device k connects from the k-th, round the list; empty: the system's choice
    QString ackLog;
    bool json = false;

    // Instead of devices, a hostile client (loopback only).
    enum class Attack { None, Names, Silent, Endless, Junk };
    Attack attack = Attack::None;
    int attackConnections = 1;
    double attackRate = 0; // names, or bytes, per second; 0: as fast as this machine goes
};

// Fills `options` from the arguments (argv[0] included). Returns the sentence that explains a usage
// error, or an empty text. --help prints and exits on its own.
QString parseSimOptions(const QStringList& arguments, SimOptions* options);
