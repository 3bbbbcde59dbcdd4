#pragma once

#include <QDateTime>

#include <functional>

// The one clock that the message window's time stamps and the daily files' dates are read from:
// the local time, unless a test sets it to stand where it needs, for instance just before midnight.
extern std::function<QDateTime()> clockNow;
