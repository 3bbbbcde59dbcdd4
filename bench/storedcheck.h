#pragma once

#include <QString>
#include <QStringList>

// Checks that every message in the acknowledgement logs `ackLogPaths` (one per line) stands exactly
// once in the daily data files in `folder`. Returns what differs, or an empty text.
QString checkStoredOnce(const QString& folder, const QStringList& ackLogPaths, qint64* acknowledged);

// Checks that the daily data files in `folder` hold `acknowledged` lines, for devices that send the
// same message again and again. Returns what differs, or an empty text.
QString checkStoredCount(const QString& folder, qint64 acknowledged);
