#pragma once

#include "forward/sink.h"

// What one line becomes on the broker.

// Empty when the prefix and the instance name make topics that MQTT takes for publishing, else a
// sentence for the operator: neither may hold a wildcard, nor the instance a level separator.
QString mqttTopicProblem(const QString& prefix, const QString& instance);

// <prefix>/<instance>/<device>. A device name may hold MQTT's wildcards "+" and "#", which no
// published topic may: they stand as "_" here, and the payload names the device as it is.
QByteArray mqttTopic(const QString& prefix, const QString& instance, const QString& device);

// A JSON object: {"device", "day": "YYYY-MM-DD", "offset", "line", "verdict": "accepted" or
// "checksum error"}, the line's Latin-1 bytes as text.
QByteArray mqttPayload(const ForwardedLine& line);
