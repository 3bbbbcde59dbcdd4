#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property ends the run like a crash, which libFuzzer keeps as a finding and the corpus
// replay turns into a failed test.
inline void require(bool holds, const char* property)
{
    if (holds)
        return;
    std::fprintf(stderr, "Property broken: %s\n", property);
    std::abort();
}
