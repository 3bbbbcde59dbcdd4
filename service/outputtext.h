#pragma once

#include "engine/linequeue.h"

#include <QByteArray>

// What standard output gets for a batch of the engine's lines, in UTF-8: each line on a line of its
// own and an event's lines together, without the window's blank separator lines, and in place of
// lines dropped before the batch the window's line that says how many.
QByteArray outputText(const LineQueue::Batch& batch);
