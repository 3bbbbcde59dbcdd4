#include "engine/timerinterval.h"

#include <QtGlobal>

#include <algorithm>
#include <limits>

std::optional<int> timerInterval(int seconds)
{
    if (seconds < 0)
        return std::nullopt;
    const qint64 milliseconds = qint64(seconds) * 1000;
    return static_cast<int>(std::min<qint64>(milliseconds, std::numeric_limits<int>::max()));
}
