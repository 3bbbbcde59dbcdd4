#include "service/quietoutput.h"

#include <array>

bool perMessageLine(QStringView line)
{
    // The 25 characters of the time stamp, "[", the peer's address, "] ", the body.
    constexpr qsizetype stamp = 25;
    if (line.size() <= stamp || line.at(stamp) != QLatin1Char('['))
        return false;
    const qsizetype bodyEnd = line.indexOf(QLatin1String("] "), stamp);
    if (bodyEnd < 0)
        return false;
    static const std::array<QString, 4> bodies {QStringLiteral("Bejövő adat: "), QStringLiteral("Válasz: "),
        QStringLiteral("Chks error. "), QStringLiteral("Syntax error. ")};
    const QStringView body = line.mid(bodyEnd + 2);
    for (const QString& start : bodies) {
        if (body.startsWith(start))
            return true;
    }
    return false;
}

QString withoutPerMessageLines(const QString& event)
{
    QString kept;
    bool keptLast = false;
    for (qsizetype start = 0; start < event.size();) {
        const qsizetype end = event.indexOf(QLatin1Char('\n'), start);
        const QStringView line = QStringView(event).sliced(start, (end < 0 ? event.size() : end + 1) - start);
        start += line.size();
        if (line != u"\n")
            keptLast = !perMessageLine(line);
        if (keptLast)
            kept += line;
    }
    return kept;
}

QString summaryText(const summary_t& summary)
{
    return QStringLiteral("Az elmúlt %1 másodperc: %2 elfogadott, %3 ellenőrzőösszeg-hibás, %4 szintaktikailag hibás "
                          "üzenet, %5 mentési hiba; %6 eszköz jelentkezett.")
        .arg(summary.seconds)
        .arg(summary.accepted)
        .arg(summary.checksumErrors)
        .arg(summary.syntaxErrors)
        .arg(summary.storingFailures)
        .arg(summary.devices);
}
