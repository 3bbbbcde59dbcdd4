#pragma once

#include <QString>

// What one durable acknowledgement costs the disk itself: the median time of an fdatasync after a
// message-sized append to a file in `folder`.
double diskSyncLatencyMs(const QString& folder);
