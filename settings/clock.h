#pragma once

#include <QDateTime>

#include <functional>

// The one clock behind the message window's time stamps and the daily files' dates, in local time.
QDateTime clockNow();
// The same moment in milliseconds since the epoch, without clockNow()'s costly turn into local time
// and back, for what happens with every message.
qint64 clockNowMSecs();
// The local date of clockNowMSecs(), worked out once per second on each thread.
QDate clockToday();

// Makes clockNow() read `clock` instead of the system clock, so that a test can stand at a moment
// of its choosing, such as a second before midnight. An empty function brings the system clock back.
// Set it while no server runs: the server's threads call `clock` without a lock.
void setClock(std::function<QDateTime()> clock);
