#include "engine/knowndevices.h"

#include "messages/messagelayout.h"
#include "recording/devicename.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>

namespace {

// A name as the operator copies it from a day file's name: anything else would never match.
bool isDayFileName(const QString& name)
{
    if (name.size() > nameFieldLength)
        return false;
    const QString message = QString(nameFieldStart, QLatin1Char('0')) + name.leftJustified(nameFieldLength);
    return deviceName(message) == name;
}

} // namespace

std::optional<QSet<QString>> parseKnownDevices(const QByteArray& text, int* faultyLine)
{
    QSet<QString> names;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype at = 0; at < lines.size(); ++at) {
        const QString name = QString::fromUtf8(lines.at(at)).trimmed();
        if (name.isEmpty() || name.startsWith(QLatin1Char('#')))
            continue;
        if (!isDayFileName(name)) {
            *faultyLine = int(at + 1);
            return std::nullopt;
        }
        names.insert(name);
    }
    return names;
}

bool KnownDevices::admits(const QString& name) const
{
    const Names current = std::atomic_load(&names);
    return !current || current->contains(name);
}

QString KnownDevices::reload(bool force)
{
    const QFileInfo file(path);
    if (!file.exists()) {
        const bool had = seenModified.has_value();
        seenModified.reset();
        std::atomic_store(&names, Names());
        return had || force
            ? QStringLiteral("Nincs ismert eszközök listája (%1): minden eszköz adatát fogadom.\n").arg(path)
            : QString();
    }
    if (!force && seenModified == file.lastModified() && seenSize == file.size())
        return QString();
    seenModified = file.lastModified();
    seenSize = file.size();
    QFile list(path);
    if (!list.open(QIODevice::ReadOnly))
        return QStringLiteral("Az ismert eszközök listája (%1) nem olvasható, a korábbi marad érvényben.\n").arg(path);
    int faultyLine = 0;
    std::optional<QSet<QString>> read = parseKnownDevices(list.readAll(), &faultyLine);
    if (!read)
        return QStringLiteral(
            "Az ismert eszközök listájának (%1) %2. sora nem eszköznév, a korábbi lista marad érvényben.\n")
            .arg(path)
            .arg(faultyLine);
    const qsizetype count = read->size();
    std::atomic_store(&names, Names(std::make_shared<const QSet<QString>>(std::move(*read))));
    return QStringLiteral("Ismert eszközök listája betöltve (%1): %2 eszköz.\n").arg(path).arg(count);
}
