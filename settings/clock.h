#pragma once

#include <QDateTime>

#include <functional>

// The one clock behind the message window's time stamps and the daily files' dates, in local time.
QDateTime clockNow();

// Makes clockNow() read `clock` instead of the system clock, so that a test can stand at a moment
// of its choosing, such as a second before midnight. An empty function brings the system clock back.
// Set it while no server runs: the server's threads call `clock` without a lock.
void setClock(std::function<QDateTime()> clock);
