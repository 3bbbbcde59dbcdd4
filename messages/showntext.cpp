#include "messages/showntext.h"

#include <algorithm>

namespace {

bool isControl(QChar character)
{
    return character.category() == QChar::Other_Control;
}

} // namespace

QString shownText(const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString shown;
    for (const QChar character : text) {
        if (character == QLatin1Char('\n'))
            shown += QLatin1String("\\n");
        else if (isControl(character))
            shown += QStringLiteral("\\x%1").arg(character.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += character;
    }
    return shown;
}
