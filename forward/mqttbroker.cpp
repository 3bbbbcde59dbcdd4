#include "forward/mqttbroker.h"

#include <QUrl>

std::optional<MqttBroker> parseMqttBroker(const QString& text, QString* problem)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.userInfo().isEmpty()) {
        *problem = QStringLiteral("Az MQTT-bróker címében nem állhat felhasználónév vagy jelszó: azok a "
                                  "bejelentkezési fájlba valók.");
        return std::nullopt;
    }
    const QString scheme = url.scheme();
    const bool tls = scheme == QLatin1String("mqtts");
    if (!url.isValid() || (!tls && scheme != QLatin1String("mqtt")) || url.host().isEmpty() || url.port() == 0
        || !(url.path().isEmpty() || url.path() == QLatin1String("/")) || url.hasQuery() || url.hasFragment()) {
        *problem
            = QStringLiteral("Az MQTT-bróker címe nem mqtt://GÉP[:PORT] vagy mqtts://GÉP[:PORT] alakú: %1.").arg(text);
        return std::nullopt;
    }
    return MqttBroker {url.host(), quint16(url.port(tls ? 8883 : 1883)), tls};
}
