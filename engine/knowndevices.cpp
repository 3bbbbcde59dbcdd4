#include "engine/knowndevices.h"

#include "engine/listfile.h"
#include "messages/messagelayout.h"
#include "recording/devicename.h"

#include <QFileInfo>

#include <atomic>

namespace {

// Far more than a fleet's names (19,000 of them take 200 kB), and little enough to read at once.
constexpr qint64 knownDevicesMaxSize = 4 * 1024 * 1024;

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

KnownDevices::outcome_t KnownDevices::load()
{
    const QFileInfo file(path);
    seenModified = file.exists() ? std::optional(file.lastModified()) : std::nullopt;
    seenSize = file.size();
    const list_file_t read = readListFile(path, knownDevicesMaxSize);
    outcome_t outcome;
    if (read.state == list_file_t::State::Missing) {
        std::atomic_store(&names, Names());
        return outcome;
    }
    if (read.state == list_file_t::State::Unreadable) {
        outcome.kind = outcome_t::Kind::Unreadable;
        outcome.reason = read.reason;
        return outcome;
    }
    std::optional<QSet<QString>> parsed = parseKnownDevices(read.text, &outcome.faultyLine);
    if (!parsed) {
        outcome.kind = outcome_t::Kind::Faulty;
        return outcome;
    }
    outcome.kind = outcome_t::Kind::Taken;
    outcome.count = parsed->size();
    std::atomic_store(&names, Names(std::make_shared<const QSet<QString>>(std::move(*parsed))));
    return outcome;
}

QString KnownDevices::inForceText(const outcome_t& outcome) const
{
    return outcome.kind == outcome_t::Kind::Taken
        ? QStringLiteral("Ismert eszközök listája betöltve (%1): %2 eszköz.").arg(path).arg(outcome.count)
        : QStringLiteral("Nincs ismert eszközök listája (%1): minden eszköz adatát fogadom.").arg(path);
}

QString KnownDevices::take(QString* line)
{
    const outcome_t outcome = load();
    const QString shown = QFileInfo(path).absoluteFilePath();
    if (outcome.kind == outcome_t::Kind::Unreadable)
        return QStringLiteral("Nem olvasható az ismert eszközök listája: %1 (%2).").arg(shown, outcome.reason);
    if (outcome.kind == outcome_t::Kind::Faulty)
        return QStringLiteral("Hibás az ismert eszközök listája: %1 (a %2. sora nem eszköznév).")
            .arg(shown)
            .arg(outcome.faultyLine);
    *line = inForceText(outcome);
    return QString();
}

QString KnownDevices::reload(bool force)
{
    const QFileInfo file(path);
    const std::optional<QDateTime> modified = file.exists() ? std::optional(file.lastModified()) : std::nullopt;
    if (!force && modified == seenModified && (!modified || file.size() == seenSize))
        return QString();
    const bool seen = seenModified.has_value();
    const bool had = inForce();
    const outcome_t outcome = load();
    // Without a list before, none stays: saying that "the previous one" does would be untrue.
    const QString noneKept = QStringLiteral("lista nélkül továbbra is minden eszköz adatát fogadom");
    switch (outcome.kind) {
    case outcome_t::Kind::Unreadable:
        return QStringLiteral("Az ismert eszközök listája (%1) nem olvasható, %2.\n")
            .arg(path, had ? QStringLiteral("a korábbi marad érvényben") : noneKept);
    case outcome_t::Kind::Faulty:
        return QStringLiteral("Az ismert eszközök listájának (%1) %2. sora nem eszköznév, %3.\n")
            .arg(path)
            .arg(outcome.faultyLine)
            .arg(had ? QStringLiteral("a korábbi lista marad érvényben") : noneKept);
    case outcome_t::Kind::None:
        return seen || force ? inForceText(outcome) + QLatin1Char('\n') : QString();
    case outcome_t::Kind::Taken:
        break;
    }
    return inForceText(outcome) + QLatin1Char('\n');
}
