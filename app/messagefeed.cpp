#include "app/messagefeed.h"

#include "engine/linequeue.h"
#include "settings/settings.h"

#include <QPlainTextEdit>
#include <QTextBlock>

#include <algorithm>

namespace {

// About 28 batches a second at most: smooth to the eye, and a line is never more than this late.
constexpr int batchIntervalMs = 35;
// A quarter of a core: what one batch may take of its interval.
constexpr double batchBudgetMs = batchIntervalMs / 4.0;
// What a line costs before any has been measured: a little more than on a slow office machine.
constexpr double firstCostPerLineMs = 0.02;
// Batches this small say more about fixed costs than about lines.
constexpr int linesWorthMeasuring = 50;

} // namespace

MessageFeed::MessageFeed(QPlainTextEdit* view, LineQueue& lines)
    : QObject(view), view(view), lines(lines), millisecondsPerLine(firstCostPerLineMs)
{
    // Nobody undoes what the server reported; an undo history would only grow with every batch.
    view->setUndoRedoEnabled(false);
    // The window comes for the lines at its own pace; the server never calls into it.
    batchTimer.setInterval(batchIntervalMs);
    connect(&batchTimer, &QTimer::timeout, this, &MessageFeed::showPending);
    batchTimer.start();
}

void MessageFeed::clear()
{
    lines.take();
    view->clear();
}

bool MessageFeed::holdsUnshownText() const
{
    return !lines.isEmpty();
}

int MessageFeed::linesWithinBudget() const
{
    return std::clamp(static_cast<int>(batchBudgetMs / millisecondsPerLine), linesWorthMeasuring, 10000);
}

void MessageFeed::showPending()
{
    QElapsedTimer spent;
    spent.start();
    LineQueue::Batch batch = lines.take();
    if (batch.events.isEmpty() && batch.dropped == 0)
        return;
    QList<qsizetype> lineCounts;
    lineCounts.reserve(batch.events.size());
    qsizetype total = 0;
    for (const QString& event : std::as_const(batch.events))
        total += lineCounts.emplace_back(lineCount(event));

    const int budget = linesWithinBudget();
    QString text;
    qsizetype shown = total;
    if (batch.dropped > 0 || total > budget) {
        // The newest events that fit, whole: a message is never shown without its reply. One line of
        // the budget says how many were left out.
        qsizetype firstKept = batch.events.size();
        shown = 0;
        while (firstKept > 0 && shown + lineCounts[firstKept - 1] <= budget - 1)
            shown += lineCounts[--firstKept];
        const QString stampOfNewestSkipped
            = firstKept > 0 ? batch.events.at(firstKept - 1).left(timeStampLength) : batch.droppedStamp;
        batch.events.remove(0, firstKept);
        text = skippedLinesLine(stampOfNewestSkipped, batch.dropped + total - shown);
    }
    text += batch.events.join(QString());

    dropOldestFor(static_cast<int>(text.count(QLatin1Char('\n'))));
    // New text always goes to the end and the view follows it there, also when the operator has
    // scrolled back or selected something meanwhile.
    view->moveCursor(QTextCursor::End);
    view->textCursor().insertText(text);
    view->ensureCursorVisible();

    if (shown >= linesWorthMeasuring) {
        const double measured = static_cast<double>(spent.nsecsElapsed()) / 1e6 / static_cast<double>(shown);
        millisecondsPerLine = 0.7 * millisecondsPerLine + 0.3 * measured;
    }
}

void MessageFeed::dropOldestFor(int newLines)
{
    // The view's own block cap walks block by block to drop the oldest lines, laying out each on
    // its way; cutting them in one piece first leaves it nothing to do.
    QTextDocument* document = view->document();
    const int excess = document->blockCount() + newLines - view->maximumBlockCount();
    if (view->maximumBlockCount() <= 0 || excess <= 0)
        return;
    QTextCursor oldest(document);
    const QTextBlock firstKept = document->findBlockByNumber(excess);
    if (firstKept.isValid())
        oldest.setPosition(firstKept.position(), QTextCursor::KeepAnchor);
    else
        oldest.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    oldest.removeSelectedText();
}
