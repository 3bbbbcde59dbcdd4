#include "bench/storedcheck.h"

#include <QDir>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <vector>

namespace {

// Hashes, not the lines: a long run stores a million of them.
std::vector<size_t> sortedLineHashes(const QStringList& paths)
{
    std::vector<size_t> hashes;
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            const qsizetype end = line.endsWith("\r\n") ? line.size() - 2 : line.size() - 1;
            hashes.push_back(qHash(QByteArrayView(line).first(end)));
        }
    }
    std::sort(hashes.begin(), hashes.end());
    return hashes;
}

QStringList dataFiles(const QString& folder)
{
    const QDir dir(folder);
    QStringList paths;
    for (const QString& name : dir.entryList({QStringLiteral("*-log_*")}, QDir::Files))
        paths << dir.filePath(name);
    return paths;
}

} // namespace

QString checkStoredOnce(const QString& folder, const QStringList& ackLogPaths, qint64* acknowledged)
{
    const std::vector<size_t> stored = sortedLineHashes(dataFiles(folder));
    const std::vector<size_t> acked = sortedLineHashes(ackLogPaths);
    *acknowledged = static_cast<qint64>(acked.size());

    // A device sends the same message again when it reconnects for a later phase: each
    // acknowledgement needs a line of its own.
    qint64 missing = 0;
    qint64 repeated = 0;
    for (auto run = acked.begin(); run != acked.end();) {
        const auto runEnd = std::upper_bound(run, acked.end(), *run);
        const auto [first, last] = std::equal_range(stored.begin(), stored.end(), *run);
        const qint64 acknowledgedTimes = runEnd - run;
        const qint64 storedTimes = last - first;
        missing += std::max<qint64>(0, acknowledgedTimes - storedTimes);
        repeated += std::max<qint64>(0, storedTimes - acknowledgedTimes);
        run = runEnd;
    }
    if (missing == 0 && repeated == 0)
        return QString();
    return QStringLiteral("%1 of %2 acknowledged messages missing from the data files, %3 lines stored once too often")
        .arg(missing)
        .arg(acked.size())
        .arg(repeated);
}

QString checkStoredCount(const QString& folder, qint64 acknowledged)
{
    qint64 stored = 0;
    for (const QString& path : dataFiles(folder)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            stored += file.readAll().count('\n');
    }
    if (stored == acknowledged)
        return QString();
    return QStringLiteral("%1 lines stored for %2 acknowledged messages").arg(stored).arg(acknowledged);
}
