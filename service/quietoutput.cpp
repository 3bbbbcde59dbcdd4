#include "service/quietoutput.h"

#include <array>
#include <utility>

QuietLine quietLine(QStringView line)
{
    // The 25 characters of the time stamp, "[", the peer's address, "] ", the body.
    constexpr qsizetype stamp = 25;
    if (line.size() <= stamp || line.at(stamp) != QLatin1Char('['))
        return QuietLine::Kept;
    const qsizetype bodyEnd = line.indexOf(QLatin1String("] "), stamp);
    if (bodyEnd < 0)
        return QuietLine::Kept;
    static const std::array<QString, 4> messageBodies {QStringLiteral("Bejövő adat: "), QStringLiteral("Válasz: "),
        QStringLiteral("Chks error. "), QStringLiteral("Syntax error. ")};
    const QStringView body = line.mid(bodyEnd + 2);
    for (const QString& start : messageBodies) {
        if (body.startsWith(start))
            return QuietLine::PerMessage;
    }
    static const std::array<std::pair<QString, QuietLine>, 4> connectionBodies {
        std::pair(QStringLiteral("Új kapcsolat."), QuietLine::Opened),
        std::pair(QStringLiteral("A kapcsolatot a szerver bontotta. (Timeout)"), QuietLine::EndedByTimeout),
        std::pair(QStringLiteral("A kapcsolatot a kliens bontotta."), QuietLine::EndedByClient),
        std::pair(QStringLiteral("A kapcsolatot a szerver bontotta."), QuietLine::EndedByServer)};
    const QStringView text = body.endsWith(QLatin1Char('\n')) ? body.chopped(1) : body;
    for (const auto& [connectionBody, kind] : connectionBodies) {
        if (text == connectionBody)
            return kind;
    }
    return QuietLine::Kept;
}

QString quietEvent(const QString& event, summary_t* summary)
{
    QString kept;
    bool keptLast = false;
    for (qsizetype start = 0; start < event.size();) {
        const qsizetype end = event.indexOf(QLatin1Char('\n'), start);
        const QStringView line = QStringView(event).sliced(start, (end < 0 ? event.size() : end + 1) - start);
        start += line.size();
        if (line != u"\n") {
            const QuietLine kind = quietLine(line);
            keptLast = kind == QuietLine::Kept;
            summary->opened += kind == QuietLine::Opened ? 1 : 0;
            summary->endedByTimeout += kind == QuietLine::EndedByTimeout ? 1 : 0;
            summary->endedByClient += kind == QuietLine::EndedByClient ? 1 : 0;
            summary->endedByServer += kind == QuietLine::EndedByServer ? 1 : 0;
        }
        if (keptLast)
            kept += line;
    }
    return kept;
}

QString summaryText(const summary_t& summary)
{
    return QStringLiteral("Az elmúlt %1 másodperc: %2 elfogadott, %3 ellenőrzőösszeg-hibás, %4 szintaktikailag hibás "
                          "üzenet, %5 mentési hiba; %6 eszköz jelentkezett; %7 új kapcsolat, %8 bontott kapcsolat "
                          "(%9 Timeout, %10 a kliens, %11 a szerver bontotta).")
        .arg(summary.seconds)
        .arg(summary.accepted)
        .arg(summary.checksumErrors)
        .arg(summary.syntaxErrors)
        .arg(summary.storingFailures)
        .arg(summary.devices)
        .arg(summary.opened)
        .arg(summary.endedByTimeout + summary.endedByClient + summary.endedByServer)
        .arg(summary.endedByTimeout)
        .arg(summary.endedByClient)
        .arg(summary.endedByServer);
}
