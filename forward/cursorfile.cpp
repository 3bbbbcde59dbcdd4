#include "forward/cursorfile.h"

#include "recording/fileops.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

const QLatin1String cursorsKey("cursors");
const QLatin1String deviceKey("device");
const QLatin1String dayKey("day");
const QLatin1String offsetKey("offset");

bool refuseDamaged(const QString& path, const QString& reason, QString* problem)
{
    *problem = QStringLiteral("Sérült az MQTT-továbbítás állását őrző fájl: %1 (%2); magától nem kezdi elölről, "
                              "törlése után minden tárolt sort újra elküld.")
                   .arg(path, reason);
    return false;
}

bool syncFolderOf(const QString& path)
{
    const FileOps& ops = fileOps();
    if (!ops.syncFolder)
        return true;
    const FileHandle folder = ops.open(nativeFileName(QFileInfo(path).absolutePath()), FileOpen::Folder);
    if (folder < 0)
        return false;
    const bool synced = ops.syncFolder(folder);
    ops.close(folder);
    return synced;
}

} // namespace

bool readCursorFile(const QString& path, Cursors* cursors, QString* problem)
{
    cursors->clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = QStringLiteral("Nem olvasható az MQTT-továbbítás állása: %1 (%2).").arg(path, file.errorString());
        return false;
    }
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (document.isNull())
        return refuseDamaged(path, QStringLiteral("nem JSON: %1").arg(error.errorString()), problem);
    const QJsonValue list = document.object().value(cursorsKey);
    if (!list.isArray())
        return refuseDamaged(path, QStringLiteral("nincs benne „cursors” lista"), problem);

    int number = 0;
    for (const QJsonValue entry : list.toArray()) {
        ++number;
        const DayFileKey key {entry[deviceKey].toString(), QDate::fromString(entry[dayKey].toString(), Qt::ISODate)};
        const qint64 offset = entry[offsetKey].toInteger(-1);
        if (key.device.isEmpty() || !key.day.isValid() || offset < 0 || !cursors->emplace(key, offset).second) {
            cursors->clear();
            return refuseDamaged(path, QStringLiteral("a „cursors” lista %1. eleme hibás").arg(number), problem);
        }
    }
    return true;
}

bool writeCursorFile(const QString& path, const Cursors& cursors, QString* problem)
{
    QJsonArray list;
    for (const auto& [key, offset] : cursors)
        list.append(
            QJsonObject {{deviceKey, key.device}, {dayKey, key.day.toString(Qt::ISODate)}, {offsetKey, offset}});
    // QSaveFile syncs the new file before it takes the old one's name; the name lasts once the
    // folder's entries are synced too.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(QJsonObject {{cursorsKey, list}}).toJson()) < 0
        || !file.commit()) {
        *problem = QStringLiteral("Nem írható az MQTT-továbbítás állása: %1 (%2).").arg(path, file.errorString());
        return false;
    }
    if (!syncFolderOf(path)) {
        *problem = QStringLiteral("Nem írható lemezre az MQTT-továbbítás állásának új neve: %1.").arg(path);
        return false;
    }
    return true;
}
