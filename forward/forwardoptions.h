#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

// What the forwarder's command line asks of it.
struct ForwardOptions
{
    QString directory; // the working directory asked for, or empty
    QString instance; // names this server's rows and topics; the host name unless given
    std::optional<QDate> since; // days already on disk to take, from this one on
    QString postgres; // libpq's connection string, or empty for no PostgreSQL
    QString postgresSchema = QStringLiteral("stilwater");
    QString mqtt; // mqtt://HOST[:PORT] or mqtts://…, or empty for no broker
    QString mqttTopic = QStringLiteral("stilwater");
    QString mqttCredentials; // a file: the user name on its first line, the password on its second
    QString mqttCa; // the certificate authority of an mqtts:// broker; empty: the system's
    QString metricsHost; // where /metrics and /ready are served; empty: not served
    quint16 metricsPort = 0;
    int readyDownSeconds = 60; // /ready fails once a system has been unreachable this long
};

// Reads the command line (argv[0] included) into `options`. Returns the sentence that explains a
// usage error, or an empty text. --help and --version print and exit on their own.
QString parseForwardOptions(const QStringList& arguments, ForwardOptions* options);
