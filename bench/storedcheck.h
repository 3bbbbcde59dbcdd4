#pragma once

#include <QString>

// Checks that every message in `ackLogPath` (one per line) stands exactly once in the daily data
// files in `folder`. Returns what differs, or an empty text.
QString checkStoredOnce(const QString& folder, const QString& ackLogPath, qint64* acknowledged);
