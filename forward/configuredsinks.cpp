#include "forward/configuredsinks.h"

#include "forward/mqttmessage.h"
#include "forward/mqttsink.h"
#include "forward/postgressink.h"

#include <QFileInfo>

QString mqttCursorFileName()
{
    return QStringLiteral("forward-mqtt.cursors");
}

std::vector<std::unique_ptr<Sink>> configuredSinks(const ForwardOptions& options, QString* problem)
{
    std::vector<std::unique_ptr<Sink>> sinks;
    if (!options.postgres.isEmpty())
        sinks.push_back(std::make_unique<PostgresSink>(options.postgres, options.instance, options.postgresSchema));
    if (!options.mqtt.isEmpty()) {
        const std::optional<MqttBroker> broker = parseMqttBroker(options.mqtt, problem);
        const QString topicProblem = mqttTopicProblem(options.mqttTopic, options.instance);
        if (!broker || !topicProblem.isEmpty()) {
            if (broker)
                *problem = topicProblem;
            return {};
        }
        MqttSinkOptions mqtt;
        mqtt.broker = *broker;
        mqtt.caFile = options.mqttCa;
        mqtt.topicPrefix = options.mqttTopic;
        mqtt.instance = options.instance;
        mqtt.loginFile = options.mqttCredentials;
        mqtt.cursorFile = QFileInfo(mqttCursorFileName()).absoluteFilePath();
        sinks.push_back(std::make_unique<MqttSink>(mqtt));
    }
    return sinks;
}
