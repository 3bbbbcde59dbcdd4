#include "service/settingsline.h"

#include "settings/settings.h"

namespace {

QString naming(const filename_t& file)
{
    return file.prefix + QStringLiteral("<név>-log_<dátum>") + file.ext;
}

QString quoted(const QString& reply)
{
    return QLatin1Char('"') + reply + QLatin1Char('"');
}

} // namespace

QString settingsLine(const settings_t& settings, const QString& address, int port, const QString& folder)
{
    return QStringLiteral("Beállítások: cím: %1, port: %2, Socket Timeout: %3 s, mappa: %4, mentés: %5, backup: %6, "
                          "Ack: %7, CHKS Err: %8, Syntax Err: %9")
        .arg(address, QString::number(port), QString::number(settings.socket_timeout), folder, naming(settings.file),
            settings.make_backup ? naming(settings.backup) : QStringLiteral("ki"), quoted(settings.ack),
            quoted(settings.error_chks), quoted(settings.error_syntax));
}
