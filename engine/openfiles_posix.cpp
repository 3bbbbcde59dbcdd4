#include "engine/openfiles.h"

#include <fcntl.h>
#include <limits>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

void raiseOpenFileLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
}

bool descriptorsToSpare(int count, long long existing)
{
    std::vector<int> trial;
    trial.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int descriptor = ::fcntl(static_cast<int>(existing), F_DUPFD_CLOEXEC, 0);
        if (descriptor < 0)
            break;
        trial.push_back(descriptor);
    }
    for (const int descriptor : trial)
        ::close(descriptor);
    return static_cast<int>(trial.size()) == count;
}

long long openFileLimit()
{
    rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return static_cast<long long>(limit.rlim_cur);
    return std::numeric_limits<long long>::max();
}
