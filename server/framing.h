#pragma once

#include <QChar>
#include <QString>

// What one received character does to the message that a connection is collecting in its buffer.
// Every character is framed on its own, so the result does not depend on how the bytes were
// split on their way in.
enum class FrameStep {
    Drop, // a carriage return or a zero byte
    Append, // joins the buffer
    AppendCompletes, // joins the buffer, which then holds a whole message: hand it over
    Start, // a "$" on an empty buffer begins a message
    HandOverAndStart, // a "$" ends the collected text, which is handed over first, and begins a message
};

FrameStep frameStep(const QString& buffer, QChar character);
