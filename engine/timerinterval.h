#pragma once

#include <optional>

// A QTimer interval in milliseconds for a time in seconds from the settings. A hand-edited
// config.cfg can hold values whose milliseconds overflow int; they are held to INT_MAX (about
// 24.8 days). A negative time means no timer at all.
std::optional<int> timerInterval(int seconds);
