#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The file beside config.cfg that names the devices allowed to store data, one a line, in the form
// their day files' names use.
inline const QString knownDevicesFileName = QStringLiteral("ismert_eszkozok.txt");

// The names of a list's text; empty lines and lines starting with "#" are skipped. Nothing, with the
// number of the first faulty line in `faultyLine`, when a line is not a name that a day file can
// carry.
std::optional<QSet<QString>> parseKnownDevices(const QByteArray& text, int* faultyLine);

// The list as the message path sees it: read by every event loop without a lock, replaced as a whole
// when the file changes. Without a file every device is known.
class KnownDevices
{
public:
    explicit KnownDevices(QString path = knownDevicesFileName) : path(std::move(path)) { }

    bool admits(const QString& name) const;
    bool inForce() const { return std::atomic_load(&names) != nullptr; }

    // At a start, whatever was seen of the file before: the sentence that tells why a file at the
    // path cannot be taken, or an empty text, with `line` telling which list is in force. A server
    // that went on without the list it was given would store every invented name.
    QString take(QString* line);
    // Reads the file again when it appeared, vanished or changed since the last look, or always when
    // `force`; returns the line that tells the operator what came of it, or an empty text. A file
    // that cannot be taken leaves the list in force as it was. One thread only may call it, the one
    // that calls take().
    QString reload(bool force);

private:
    using Names = std::shared_ptr<const QSet<QString>>;
    struct outcome_t
    {
        enum class Kind { None, Taken, Unreadable, Faulty };
        Kind kind = Kind::None;
        QString reason; // why it is unreadable
        int faultyLine = 0;
        qsizetype count = 0; // of the names taken
    };
    outcome_t load();
    QString inForceText(const outcome_t& outcome) const;

    const QString path;
    Names names; // only through std::atomic_load and std::atomic_store
    std::optional<QDateTime> seenModified; // the file as last looked at; nothing while there is none
    qint64 seenSize = -1;
};
