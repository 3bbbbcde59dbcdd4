#include "messages/showntext.h"

#include "messages/messagelayout.h"

#include <algorithm>

QString shownText(const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), isControlCharacter))
        return text;
    QString shown;
    for (const QChar character : text) {
        if (character == QLatin1Char('\n'))
            shown += QLatin1String("\\n");
        else if (isControlCharacter(character))
            shown += QStringLiteral("\\x%1").arg(character.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += character;
    }
    return shown;
}
