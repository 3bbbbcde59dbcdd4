#include "settings/configfile.h"

#include "settings/settings.h"

#include <QFile>
#include <QFileInfo>
#include <QStringConverter>
#include <QStringList>

namespace {

constexpr int lineCount = 13;
// The port and the socket timeout, counted from 0.
constexpr int numberLines[] {1, 2};

QString header()
{
    return QStringLiteral("*** GPRS Data Server Config File ***");
}

// Lines as a text stream reads them: a final line break does not open another line, an empty
// text still yields one (empty) line, and CR is dropped only where it ends a line.
QStringList splitLines(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > 1 && lines.last().isEmpty())
        lines.removeLast();
    for (int i = 0; i < lines.size(); ++i) {
        const bool endedByLineFeed = i < lines.size() - 1 || text.endsWith(QLatin1Char('\n'));
        if (endedByLineFeed && lines[i].endsWith(QLatin1Char('\r')))
            lines[i].chop(1);
    }
    return lines;
}

} // namespace

QByteArray configText(const settings_t& settings)
{
    const QStringList lines {
        header(),
        QString::number(settings.port),
        QString::number(settings.socket_timeout),
        settings.file.prefix,
        settings.file.ext,
        settings.file.path,
        QString::number(settings.make_backup ? 1 : 0),
        settings.backup.prefix,
        settings.backup.ext,
        settings.backup.path,
        settings.ack,
        settings.error_chks,
        settings.error_syntax,
    };
    QStringEncoder encode(QStringConverter::System);
    QByteArray text;
    for (const QString& line : lines) {
        text += encode(line);
        text += "\r\n";
    }
    return text;
}

bool applyConfigText(const QByteArray& text, settings_t& settings)
{
    QStringDecoder decode(QStringConverter::System);
    QStringList lines = splitLines(decode(text));
    if (lines.size() != lineCount)
        return false;
    for (QString& line : lines)
        line.remove(QLatin1Char(' '));

    settings.port = lines[1].toInt();
    settings.socket_timeout = lines[2].toInt();
    settings.file.prefix = lines[3];
    settings.file.ext = lines[4];
    settings.make_backup = lines[6] == QLatin1String("1");
    settings.backup.prefix = lines[7];
    settings.backup.ext = lines[8];
    settings.ack = lines[10];
    settings.error_chks = lines[11];
    settings.error_syntax = lines[12];
    return true;
}

QString configFileName()
{
    return QStringLiteral("config.cfg");
}

QString loadConfigFileStrictly(settings_t& settings)
{
    QFile file(configFileName());
    if (!file.exists())
        return QString();
    const QString path = QFileInfo(file).absoluteFilePath();
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Nem olvasható a beállítási fájl: %1 (%2).").arg(path, file.errorString());
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return QStringLiteral("Nem olvasható a beállítási fájl: %1 (%2).").arg(path, file.errorString());
    const QStringList lines = splitLines(QStringDecoder(QStringConverter::System)(text));
    if (!applyConfigText(text, settings))
        return QStringLiteral("Hibás a beállítási fájl: %1 (%2 sora van, %3 kell).")
            .arg(path)
            .arg(lines.size())
            .arg(lineCount);
    // The window reads such a line as 0, which as a socket timeout cuts every connection at once:
    // the service does not guess.
    for (const int index : numberLines) {
        bool isNumber = false;
        QString(lines[index]).remove(QLatin1Char(' ')).toInt(&isNumber);
        if (!isNumber)
            return QStringLiteral("Hibás a beállítási fájl: %1 (a %2. sor nem szám, vagy túl nagy: „%3”).")
                .arg(path)
                .arg(index + 1)
                .arg(lines[index]);
    }
    return QString();
}

void loadConfigFile(settings_t& settings)
{
    QFile file(configFileName());
    if (!file.exists())
        return;
    // A file that cannot be read counts as empty: one line, so the defaults stay.
    file.open(QIODevice::ReadOnly);
    applyConfigText(file.readAll(), settings);
}
