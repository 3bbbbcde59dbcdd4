#include "service/quietoutput.h"

#include <array>

bool perMessageLine(const QString& line)
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
    const QStringView body = QStringView(line).mid(bodyEnd + 2);
    for (const QString& start : bodies) {
        if (body.startsWith(start))
            return true;
    }
    return false;
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
