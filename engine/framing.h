#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>

// Feeds one received chunk into a connection's buffer, one byte per character. A "$" begins a
// message, handing over whatever was collected before it; a carriage return or a zero byte is dropped;
// any other character joins the buffer, which is handed over once it holds a message's length. The
// result does not depend on how the bytes were split on their way in. `handOver` is
// called whenever the buffer holds text to be handled as a message, and must leave it empty; it
// returns false when the server cannot go on with this device for now (its file is being created,
// its replies pile up), and framing stops right there. `started` is called whenever a "$" has begun a
// message, whose time then starts to run. Returns how many bytes were framed: the caller keeps the
// rest and frames it when it goes on, so the device's next message starts its time only then.
qsizetype frameChunk(
    QString& buffer, QByteArrayView chunk, const std::function<bool()>& handOver, const std::function<void()>& started);
