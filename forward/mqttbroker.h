#pragma once

#include <QString>

#include <optional>

// Where the broker listens, as the forwarder's command line names it: mqtt://host[:port], or
// mqtts://host[:port] for TLS.
struct MqttBroker
{
    QString host;
    quint16 port = 0;
    bool tls = false;
};

// Nothing, with a sentence for the operator, when the text is no such address. A user name or a
// password in it is refused: they belong in the credentials file, out of the process list.
std::optional<MqttBroker> parseMqttBroker(const QString& text, QString* problem);
