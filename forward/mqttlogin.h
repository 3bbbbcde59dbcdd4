#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

struct MqttLogin
{
    QByteArray user;
    QByteArray password; // may be empty: a user name alone is a login too
};

// The credentials file: the user name on its first line, the password on its second. A file that
// anyone may read is refused, for the password's sake. Its sentences never hold the password.
std::optional<MqttLogin> readMqttLogin(const QString& path, QString* problem);
