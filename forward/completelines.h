#pragma once

#include "forward/sink.h"

#include <QByteArray>

#include <vector>

// Bytes of a day file taken apart into what goes downstream.
struct CompleteLines
{
    std::vector<ForwardedLine> lines; // the messages, in file order
    qint64 end = 0; // the offset just past the last complete line taken, messages or not
    int skipped = 0; // complete lines that are no message: a torn tail the server ended, a stray line
};

// The complete lines of `bytes`, read from `file` at `offset`, at most `maxLines` of them. A line is
// complete once its line feed is there; the server ends every message with CR LF, so a tail without
// one is still being written and waits for the next call.
CompleteLines completeLines(const DayFileKey& file, qint64 offset, const QByteArray& bytes, int maxLines);
