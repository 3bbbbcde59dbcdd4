#include "forward/completelines.h"

#include "messages/messagelayout.h"
#include "settings/settings.h"

CompleteLines completeLines(const DayFileKey& file, qint64 offset, const QByteArray& bytes, int maxLines)
{
    CompleteLines taken;
    taken.end = offset;
    qsizetype start = 0;
    while (int(taken.lines.size()) + taken.skipped < maxLines) {
        const qsizetype lineFeed = bytes.indexOf('\n', start);
        if (lineFeed < 0)
            break;
        const qsizetype length = lineFeed - start;
        const bool endsInCarriageReturn = length > 0 && bytes.at(lineFeed - 1) == '\r';
        const QByteArray line = bytes.mid(start, endsInCarriageReturn ? length - 1 : length);
        int computed = 0;
        // The server writes only these two verdicts into a day file; anything else there is not its line.
        const int verdict = endsInCarriageReturn && line.size() == messageLength
            ? settings_t::calcChks(QString::fromLatin1(line), &computed)
            : verdict::wrongLength;
        if (verdict == verdict::accepted || verdict == verdict::checksumError)
            taken.lines.push_back({file, offset + start, line, verdict == verdict::accepted});
        else
            ++taken.skipped;
        start = lineFeed + 1;
        taken.end = offset + start;
    }
    return taken;
}
