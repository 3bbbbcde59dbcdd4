#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <mutex>

// Carries message-window lines from the server's threads to whoever shows them. The server never
// waits for the reader: when the reader falls behind by more than `capacity` lines, the oldest are
// dropped and counted, so memory stays bounded however slow the reader is.
class LineQueue
{
public:
    explicit LineQueue(std::size_t capacity);

    void push(QString line);

    struct Batch
    {
        QStringList lines; // oldest first
        qsizetype dropped = 0; // older lines that made room for these
    };
    Batch take();
    bool isEmpty();

    // Called by the pushing thread whenever a line arrives in an empty queue: the reader's cue to
    // come for a batch. Set it before any line is pushed.
    void onFirstLine(std::function<void()> wake);

private:
    std::mutex mutex;
    Batch pending;
    std::size_t capacity;
    std::function<void()> wake;
};
