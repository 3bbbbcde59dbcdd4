#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class LineQueue;
class QPlainTextEdit;

// Carries the server's lines into the message window in batches, about 28 a second. Laying out
// and painting every line on its own costs far more than the traffic it reports, and the window
// shares the machine's cores with the server: it takes at most about a quarter of one. Below that
// every line is shown as it came; above it each batch shows its newest lines, and one line in place
// of the others says how many were left out. The data files, not the window, are the record.
class MessageFeed : public QObject
{
    Q_OBJECT

public:
    // Becomes a child of `view`, so that it goes with it.
    MessageFeed(QPlainTextEdit* view, LineQueue& lines);

    // Empties the view, and drops what it has not shown yet.
    void clear();
    // Whether some lines still wait for their batch; lets a reader of the view wait for them.
    bool holdsUnshownText() const;
    // Shows what waits now instead of at the next batch, as the batches do.
    void showPending();

private:
    void dropOldestFor(int newLines);
    int linesWithinBudget() const;

    QPlainTextEdit* view;
    LineQueue& lines;
    QTimer batchTimer;
    double millisecondsPerLine;
};
