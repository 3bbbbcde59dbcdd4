#include "recording/devicename.h"

#include "messages/messagelayout.h"

namespace {

bool refusedInFileName(QChar character)
{
    return isControlCharacter(character) || QStringView(u"/\\<>:\"|?*").contains(character);
}

bool onlyDots(const QString& name)
{
    return !name.isEmpty() && name.count(QLatin1Char('.')) == name.size();
}

} // namespace

QString deviceName(const QString& message)
{
    QString name = message.mid(nameFieldStart, nameFieldLength);
    while (name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    name.replace(QLatin1Char(' '), QLatin1Char('_'));

    for (QChar& character : name) {
        if (refusedInFileName(character))
            character = QLatin1Char('_');
    }
    if (onlyDots(name))
        name.fill(QLatin1Char('_'));
    // A leading "." hides the file from ls and from shell globs; a leading "-" makes shell commands
    // take its name for an option, and so would the "-log_" of an empty name.
    if (name.isEmpty())
        return QStringLiteral("_");
    if (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('-')))
        name[0] = QLatin1Char('_');
    return name;
}
