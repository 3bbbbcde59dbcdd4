#pragma once

#include <QByteArrayView>
#include <QChar>
#include <QString>

#include <functional>

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

// Feeds one received chunk into a connection's buffer, one byte per character. `handOver` is
// called whenever the buffer holds text to be handled as a message, and must leave it empty; it
// returns false when the server cannot go on with this device for now (its file is being created,
// its replies pile up), and framing stops right there. `started` is called whenever a "$" has begun a
// message, whose time then starts to run. Returns how many bytes were framed: the caller keeps the
// rest and frames it when it goes on, so the device's next message starts its time only then.
qsizetype frameChunk(
    QString& buffer, QByteArrayView chunk, const std::function<bool()>& handOver, const std::function<void()>& started);
