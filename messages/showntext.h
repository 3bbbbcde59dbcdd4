#pragma once

#include <QString>

// A text as the message window and standard output show it: control characters written out as
// escapes ("\n", "\x1b"), so that what a device sent can neither break a line nor drive a terminal.
QString shownText(const QString& text);
