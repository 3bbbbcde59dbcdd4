#include "forward/mqttlogin.h"

#include <QFile>

namespace {

// A file saved on Windows ends its lines with CR LF.
QByteArray withoutLineEnd(QByteArray line)
{
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

std::optional<MqttLogin> readMqttLogin(const QString& path, QString* problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem
            = QStringLiteral("Nem olvasható az MQTT bejelentkezési fájlja: %1 (%2).").arg(path, file.errorString());
        return std::nullopt;
    }
    if (file.permissions() & QFileDevice::ReadOther) {
        *problem = QStringLiteral("Az MQTT bejelentkezési fájlját bárki olvashatja, ezért a program nem használja: "
                                  "%1 (chmod o-r %1).")
                       .arg(path);
        return std::nullopt;
    }
    MqttLogin login {withoutLineEnd(file.readLine()), withoutLineEnd(file.readLine())};
    if (login.user.isEmpty()) {
        *problem = QStringLiteral("Hibás az MQTT bejelentkezési fájlja: %1 (az első sorában nincs felhasználónév).")
                       .arg(path);
        return std::nullopt;
    }
    return login;
}
