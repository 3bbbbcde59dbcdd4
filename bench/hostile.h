#pragma once

#include <QTextStream>

// 20 real devices against stilwater-server, alone and while the attacks of stilwater-sim --attack run
// at an attacker's pace, once with the known-devices list and a limit per address and once without
// either; prints their rate under attack as a share of their rate alone, the files made for invented
// names and the server's peak memory. Returns false when a run could not be made.
bool measureHostile(QTextStream& out, int seconds);
