#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <limits>
#include <mutex>

// Carries message-window lines from the server's threads to whoever shows them. The server never
// waits for the reader: when the reader falls behind by more than `capacity` events, the oldest are
// dropped and their lines counted, so memory stays bounded however slow the reader is.
//
// The lines of one event (a message and its reply, say) stay together as one entry, so that no other
// device's line comes between them, and each line gets its time stamp as the entry joins the queue:
// the stamps never run backwards.
class LineQueue
{
public:
    explicit LineQueue(std::size_t capacity);

    // One line, or the lines of one event, each a body with its ending ("\n", or "\n\n" where a
    // connection or a run ends) and without the time stamp.
    void push(const QString& line) { push(QStringList {line}); }
    void push(const QStringList& lines);

    struct Batch
    {
        QStringList events; // oldest first, each its lines joined, time stamps included
        qsizetype dropped = 0; // lines of older events that made room for these
        QString droppedStamp; // the time stamp of the newest of those events
    };
    Batch take();
    bool isEmpty();

    // Called by the pushing thread whenever an event arrives in an empty queue: the reader's cue to
    // come for a batch. Set it before any line is pushed.
    void onFirstLine(std::function<void()> wake);

private:
    std::mutex mutex;
    Batch pending;
    std::size_t capacity;
    std::function<void()> wake;
    qint64 stampSecond = std::numeric_limits<qint64>::min(); // the latest stamp pushed
    QString stampText;
};

// How many lines one entry of a batch holds.
qsizetype lineCount(const QString& event);
// The line that stands in for `count` lines left out, `stamp` the time stamp of the newest of them:
// it takes its place among their stamps, so that the stamps shown never run backwards.
QString skippedLinesLine(const QString& stamp, qsizetype count);
