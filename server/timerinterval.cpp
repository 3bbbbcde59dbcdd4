#include "server/timerinterval.h"

#include <QtGlobal>

#include <algorithm>
#include <limits>

int timerInterval(int seconds)
{
    const qint64 milliseconds = qint64(seconds) * 1000;
    return static_cast<int>(std::clamp<qint64>(milliseconds, 0, std::numeric_limits<int>::max()));
}
