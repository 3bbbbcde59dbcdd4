#include "engine/openfiles.h"

#include <limits>

// Windows numbers sockets and files as kernel handles, which a process has by the million (the
// limit is the kernel's memory, not a count to raise or to watch): the connection cap and the
// back-off near a limit step aside.

void raiseOpenFileLimit() { }

bool descriptorsToSpare(int, long long)
{
    return true;
}

long long openFileLimit()
{
    return std::numeric_limits<long long>::max();
}
