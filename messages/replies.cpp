#include "messages/replies.h"

#include "messages/messagelayout.h"
#include "settings/settings.h"

namespace {

// The window shows what went out on the wire: one character per byte, up to a zero byte.
QString sentText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.constData(), static_cast<qsizetype>(qstrnlen(bytes.constData(), bytes.size())));
}

QString orNone(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("<nincs>") : text;
}

} // namespace

reply_t replyFor(int verdict, int computed, bool dataStored, const settings_t& settings)
{
    if (verdict == verdict::accepted) {
        if (!dataStored)
            return {QByteArray(), QStringLiteral("Válasz: <nincs>")};
        const QByteArray bytes = settings.ack.toLatin1();
        return {bytes, QStringLiteral("Válasz: ") + sentText(bytes)};
    }
    if (verdict == verdict::checksumError) {
        const QByteArray bytes = settings.error_chks.toLatin1();
        return {bytes, QStringLiteral("Chks error. Számolt: %1. Válasz: ").arg(computed) + orNone(sentText(bytes))};
    }
    const QByteArray bytes = settings.error_syntax.toLatin1();
    return {bytes, QStringLiteral("Syntax error. Válasz: ") + orNone(sentText(bytes))};
}
