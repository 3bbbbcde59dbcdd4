#include "forward/mqttmessage.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool holdsWildcard(const QString& text)
{
    return text.contains(QLatin1Char('+')) || text.contains(QLatin1Char('#'));
}

} // namespace

QString mqttTopicProblem(const QString& prefix, const QString& instance)
{
    if (prefix.isEmpty() || holdsWildcard(prefix))
        return QStringLiteral("Az MQTT-téma előtagja nem lehet üres, és nem lehet benne + vagy #: %1.").arg(prefix);
    if (instance.isEmpty() || holdsWildcard(instance) || instance.contains(QLatin1Char('/')))
        return QStringLiteral("A példány neve nem lehet üres, és nem lehet benne /, + vagy #: %1.").arg(instance);
    return QString();
}

QByteArray mqttTopic(const QString& prefix, const QString& instance, const QString& device)
{
    QString level = device;
    level.replace(QLatin1Char('+'), QLatin1Char('_')).replace(QLatin1Char('#'), QLatin1Char('_'));
    return (prefix + QLatin1Char('/') + instance + QLatin1Char('/') + level).toUtf8();
}

QByteArray mqttPayload(const ForwardedLine& line)
{
    const QJsonObject object {
        {QLatin1String("device"), line.file.device},
        {QLatin1String("day"), line.file.day.toString(Qt::ISODate)},
        {QLatin1String("offset"), line.offset},
        {QLatin1String("line"), QString::fromLatin1(line.bytes)},
        {QLatin1String("verdict"), line.checksumOk ? QLatin1String("accepted") : QLatin1String("checksum error")},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
