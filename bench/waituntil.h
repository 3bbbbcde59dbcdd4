#pragma once

#include <functional>

// Keeps this thread's event loop turning until `done` holds on three checks 50 ms apart in a row,
// or for at most `limitMs`.
void waitUntil(const std::function<bool()>& done, int limitMs);
