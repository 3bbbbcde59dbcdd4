#pragma once

// A QTimer interval in milliseconds for a time in seconds from the settings. A hand-edited
// config.cfg can hold values whose milliseconds overflow int; they are held to 0 ... INT_MAX
// (about 24.8 days).
int timerInterval(int seconds);
